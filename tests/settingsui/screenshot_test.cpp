// Offscreen pictures of the seven pages in the dark style, saved for a person to look at, with
// checks that every control is on the page, inside its group and clear of its neighbours, and
// that every text stands out from its background.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <cmath>

#include "settingsui/param_set_sheet.h"
#include "settingsui/up_down.h"
#include "test_support.h"

namespace vidora::settingsui::test {
namespace {

const char* const kFileNames[] = {"security", "display",  "alarm", "record",
                                  "capture",  "plantask", "about"};

// The widgets that a page lays out itself: children of the page or of one of its groups.
std::vector<QWidget*> laidOutWidgets(QWidget* page) {
    std::vector<QWidget*> result;
    for (QWidget* w : page->findChildren<QWidget*>()) {
        QWidget* parent = w->parentWidget();
        const bool ownLevel = parent == page || qobject_cast<QGroupBox*>(parent) != nullptr;
        if (ownLevel && w->isVisible()) {
            result.push_back(w);
        }
    }
    return result;
}

QRect rectOnPage(QWidget* w, QWidget* page) {
    return QRect(w->mapTo(page, QPoint(0, 0)), w->size());
}

bool isAncestor(QWidget* a, QWidget* b) {
    for (QWidget* p = b->parentWidget(); p; p = p->parentWidget()) {
        if (p == a) {
            return true;
        }
    }
    return false;
}

// WCAG's relative luminance and contrast ratio.
double luminance(const QColor& c) {
    const auto channel = [](double v) {
        v /= 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor commonestColour(const QImage& image, const QRect& area) {
    QHash<QRgb, int> counts;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            ++counts[image.pixel(x, y)];
        }
    }
    QRgb best = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            best = it.key();
        }
    }
    return QColor(best);
}

class Screenshots : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        config.adjustMax[0] = config.adjustMax[2] = config.adjustMax[3] = 10000;
        config.adjustMax[1] = 10;
        config.askPassword = 1;
        std::strcpy(config.password, "pw");
        disk.volumeList = {{"/", 120034 * 1048576ull}, {"/home", 5321 * 1048576ull}};
        TaskRecord weekly{};
        weekly.operation = 1;
        weekly.frequency = 2;
        weekly.weekday = 3;  // the longest weekday name, and the widest time
        weekly.startTime = SystemTime{2024, 5, 3, 8, 23, 59, 58, 0};
        weekly.durationSeconds = 5400;
        weekly.channel = 1;
        viewer.addTask(weekly);
        TaskRecord once = weekly;
        once.operation = 2;
        once.frequency = 4;
        once.durationSeconds = 999;
        once.captureFps = 25;
        once.channel = 4;
        viewer.addTask(once);
    }

    VidoraConfig config = defaultConfig();
    FakeDialogs dialogs;
    FakeDiskSpace disk;
    FakeViewer viewer;
};

TEST_P(Screenshots, PageIsLaidOutAndSaved) {
    const int index = GetParam();
    CParamSetSheet sheet(PageContext{&config, &FakeViewer::callback, &dialogs, &disk}, index);
    sheet.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
    QCoreApplication::processEvents();

    SettingsPage* page = sheet.page(index);
    ASSERT_TRUE(page->isVisible());
    const QRect pageRect = page->rect();
    const std::vector<QWidget*> widgets = laidOutWidgets(page);
    EXPECT_GE(widgets.size(), 1u);
    for (QWidget* w : widgets) {
        const QRect r = rectOnPage(w, page);
        EXPECT_FALSE(r.isEmpty()) << w->metaObject()->className() << " "
                                  << qPrintable(w->objectName());
        EXPECT_TRUE(pageRect.contains(r))
            << qPrintable(w->objectName()) << " lies outside the page";
        if (auto* group = qobject_cast<QGroupBox*>(w->parentWidget())) {
            EXPECT_TRUE(group->rect().contains(w->geometry()))
                << qPrintable(w->objectName()) << " lies outside its group";
        }
        if (auto* label = qobject_cast<QLabel*>(w)) {
            // A label wide enough for its text: nothing is cut off.
            EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()) - 1)
                << qPrintable(label->text());
        }
    }
    for (std::size_t i = 0; i < widgets.size(); ++i) {
        for (std::size_t j = i + 1; j < widgets.size(); ++j) {
            QWidget* a = widgets[i];
            QWidget* b = widgets[j];
            if (isAncestor(a, b) || isAncestor(b, a)) {
                continue;
            }
            EXPECT_FALSE(rectOnPage(a, page).intersects(rectOnPage(b, page)))
                << a->metaObject()->className() << " '" << qPrintable(a->objectName()) << "' and "
                << b->metaObject()->className() << " '" << qPrintable(b->objectName())
                << "' overlap on page " << index;
        }
    }

    // List cells show their whole text, not an elided one.
    for (QTableWidget* table : page->findChildren<QTableWidget*>()) {
        for (int row = 0; row < table->rowCount(); ++row) {
            for (int column = 0; column < table->columnCount(); ++column) {
                const QTableWidgetItem* item = table->item(row, column);
                if (!item) {
                    continue;
                }
                const QFontMetrics metrics(item->font());
                EXPECT_LE(metrics.horizontalAdvance(item->text()) + 8, table->columnWidth(column))
                    << qPrintable(item->text()) << " is cut off on page " << index;
            }
        }
    }

    const QImage image = sheet.grab().toImage();
    ASSERT_FALSE(image.isNull());
    QDir().mkpath(VIDORA_SCREENSHOT_DIR);
    const QString file =
        QStringLiteral(VIDORA_SCREENSHOT_DIR "/settings-%1.png").arg(kFileNames[index]);
    ASSERT_TRUE(image.save(file)) << qPrintable(file);

    // The picture shows text and controls, not an empty page: the dark page holds light
    // (text) pixels and several colours, and mostly dark ones.
    const QRect area(page->mapTo(&sheet, QPoint(0, 0)), page->size());
    int light = 0;
    int dark = 0;
    QSet<QRgb> colours;
    for (int y = area.top(); y <= area.bottom(); y += 2) {
        for (int x = area.left(); x <= area.right(); x += 2) {
            const QRgb px = image.pixel(x, y);
            colours.insert(px);
            light += qGray(px) > 160;
            dark += qGray(px) < 64;
        }
    }
    EXPECT_GT(light, 20);
    EXPECT_GT(dark, (area.width() / 2) * (area.height() / 2) / 2) << "the page is dark";
    EXPECT_GT(colours.size(), 4);

    // Every text reads against what is behind it: the text colour of each label, button, box
    // and field against the commonest colour of its own area in the picture (its background),
    // at a contrast ratio of at least 4.5 : 1.
    int checked = 0;
    for (QWidget* w : page->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->width() < 4 || w->height() < 4) {
            continue;
        }
        QPalette::ColorRole role = QPalette::NoRole;
        if (qobject_cast<QLabel*>(w) && !qobject_cast<QLabel*>(w)->text().isEmpty()) {
            role = w->foregroundRole();
        } else if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w)) {
            role = QPalette::Text;
            if (qobject_cast<QComboBox*>(w) && !qobject_cast<QComboBox*>(w)->isEditable()) {
                role = QPalette::ButtonText;
            }
        } else if (auto* b = qobject_cast<QAbstractButton*>(w); b && !b->text().isEmpty()) {
            role = w->foregroundRole();
        }
        if (role == QPalette::NoRole) {
            continue;
        }
        const QColor ink =
            w->palette().color(w->isEnabled() ? QPalette::Active : QPalette::Disabled, role);
        const QRect r(w->mapTo(&sheet, QPoint(0, 0)), w->size());
        const QColor background = commonestColour(image, r.adjusted(2, 2, -2, -2));
        const double ratio = contrastRatio(ink, background);
        EXPECT_GE(ratio, 4.5) << w->metaObject()->className() << " '" << qPrintable(w->objectName())
                              << "' on page " << index << ": " << qPrintable(ink.name()) << " on "
                              << qPrintable(background.name());
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

TEST(AboutScreenshot, VersionTextSitsInTheMiddle) {
    VidoraConfig config = defaultConfig();
    FakeDialogs dialogs;
    FakeDiskSpace disk;
    CParamSetSheet sheet(PageContext{&config, nullptr, &dialogs, &disk}, CParamSetSheet::kAbout);
    sheet.resize(600, 500);
    sheet.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
    SettingsPage* page = sheet.page(CParamSetSheet::kAbout);
    const QImage image = page->grab().toImage();
    // Text (light on the dark page) only in a band around the centre, none in the top and
    // bottom quarters.
    int centreDark = 0;
    int edgeDark = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) <= 160) {
                continue;
            }
            const bool nearCentre = std::abs(y - image.height() / 2) < image.height() / 8 &&
                                    std::abs(x - image.width() / 2) < image.width() / 4;
            (nearCentre ? centreDark : edgeDark) += 1;
        }
    }
    EXPECT_GT(centreDark, 30);
    EXPECT_LT(edgeDark, 10);  // at most a frame line's corner
}

INSTANTIATE_TEST_SUITE_P(AllPages, Screenshots, ::testing::Range(0, 7),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(kFileNames[info.param]);
                         });

}  // namespace
}  // namespace vidora::settingsui::test
