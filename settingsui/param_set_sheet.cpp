#include "settingsui/param_set_sheet.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

#include "settingsui/dark_theme.h"

namespace vidora::settingsui {

CParamSetSheet::CParamSetSheet(const PageContext& context, int startPage, QWidget* parent)
    : QDialog(parent),
      tabs_(new QTabBar(this)),
      stack_(new QStackedWidget(this)),
      ok_(new QPushButton(QStringLiteral("Ok"), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)),
      security_(context),
      display_(context),
      alarm_(context),
      record_(context),
      capture_(context),
      planTask_(context),
      about_(context),
      pages_{&security_, &display_, &alarm_, &record_, &capture_, &planTask_, &about_} {
    setWindowTitle(QStringLiteral("Vidora Setup"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    tabs_->setDrawBase(false);
    tabs_->setExpanding(false);
    stack_->setFrameShape(QFrame::StyledPanel);
    // Room for the largest page, so that the sheet keeps its size from tab to tab.
    stack_->setMinimumSize(660, 460);
    for (SettingsPage* page : pages_) {
        tabs_->addTab(page->caption());
        stack_->addWidget(page);
    }

    ok_->setObjectName(QStringLiteral("ok"));
    cancel_->setObjectName(QStringLiteral("cancel"));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(ok_, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancel_, QDialogButtonBox::RejectRole);
    ok_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CParamSetSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CParamSetSheet::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->addWidget(tabs_);
    layout->addWidget(stack_, 1);
    layout->addSpacing(8);
    layout->addWidget(buttons);

    const int first = startPage >= 0 && startPage < kPageCount ? startPage : kSecurity;
    pages_[first]->ensureCreated();
    stack_->setCurrentIndex(first);
    tabs_->setCurrentIndex(first);
    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) { onTabChanged(index); });
    // The main window's dark colours, whichever host opens the sheet.
    applyDarkTheme(*this);
}

CParamSetSheet::~CParamSetSheet() {
    // The pages are members and go before the tab bar and the stack; nothing may react to
    // their removal.
    tabs_->disconnect(this);
    stack_->disconnect(this);
}

int CParamSetSheet::activePage() const {
    return stack_->currentIndex();
}

SettingsPage* CParamSetSheet::page(int index) const {
    return index >= 0 && index < kPageCount ? pages_[index] : nullptr;
}

bool CParamSetSheet::setActivePage(int index) {
    if (index < 0 || index >= kPageCount) {
        return false;
    }
    const int current = activePage();
    if (index != current) {
        if (!pages_[current]->onKillActive()) {
            return false;
        }
        pages_[index]->ensureCreated();
        stack_->setCurrentIndex(index);
    }
    if (tabs_->currentIndex() != index) {
        revertingTab_ = true;
        tabs_->setCurrentIndex(index);
        revertingTab_ = false;
    }
    return true;
}

void CParamSetSheet::onTabChanged(int index) {
    if (revertingTab_) {
        return;
    }
    // The tab bar has already moved; put it back until the page being left agrees, so that a
    // refusal never shows the other page.
    revertingTab_ = true;
    tabs_->setCurrentIndex(activePage());
    revertingTab_ = false;
    setActivePage(index);
}

void CParamSetSheet::accept() {
    if (!pages_[activePage()]->onKillActive()) {
        return;
    }
    QDialog::accept();
}

void CParamSetSheet::done(int result) {
    QDialog::done(result);
    if (closed_) {
        return;
    }
    closed_ = true;
    // The Display page writes back last: its cap of the record frame rate for PAL must see the
    // frame rate that the Record page stores, which was chosen from the standard's old list.
    for (SettingsPage* page : pages_) {
        if (page != &display_ && page->isCreated()) {
            page->writeBack();
        }
    }
    if (display_.isCreated()) {
        display_.writeBack();
    }
}

}  // namespace vidora::settingsui
