#include "ui/more_settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/message_box.h"
#include "app/preference_keys.h"
#include "engine/capture_engine.h"
#include "stream/stream_settings.h"

namespace vidora {
namespace {

// Alarm recordings: how much of the time before the alarm they keep.
class AlarmRecordingPage final : public MoreSettingsPage {
  public:
    QString title() const override { return "Alarm recording"; }

    QWidget* build(const Preferences& prefs) override {
        auto* page = new QWidget;
        auto* form = new QFormLayout(page);
        seconds_ = new QSpinBox(page);
        seconds_->setObjectName("preAlarmSeconds");
        seconds_->setRange(kPreAlarmSeconds.min, kPreAlarmSeconds.max);
        seconds_->setSuffix(" s");
        seconds_->setValue(prefs.get(kPreAlarmSeconds));
        form->addRow("Seconds before the alarm:", seconds_);
        auto* note = new QLabel(
            "An alarm recording begins this many seconds before the alarm, with its sound. "
            "0 starts it at the alarm.",
            page);
        note->setWordWrap(true);
        form->addRow(note);
        return page;
    }

    void store(Preferences& prefs) const override {
        prefs.set(kPreAlarmSeconds, seconds_->value());
    }

  private:
    QSpinBox* seconds_ = nullptr;
};

// The network stream: whether the live picture is served over RTSP, on which port, to whom.
class NetworkStreamPage final : public MoreSettingsPage {
  public:
    QString title() const override { return "Network stream"; }

    QWidget* build(const Preferences& prefs) override {
        const StreamSettings s = readStreamSettings(prefs);
        auto* page = new QWidget;
        auto* form = new QFormLayout(page);
        enabled_ = new QCheckBox("Share the live picture on the network", page);
        enabled_->setObjectName("streamEnabled");
        enabled_->setChecked(s.enabled);
        form->addRow(enabled_);
        port_ = new QSpinBox(page);
        port_->setObjectName("streamPort");
        port_->setRange(kStreamPort.min, kStreamPort.max);
        port_->setValue(s.port);
        form->addRow("Port:", port_);
        allowOthers_ = new QCheckBox("Allow other computers", page);
        allowOthers_->setObjectName("streamAllowOthers");
        allowOthers_->setChecked(s.allowOthers);
        form->addRow(allowOthers_);
        user_ = new QLineEdit(QString::fromStdString(s.user), page);
        user_->setObjectName("streamUser");
        form->addRow("User name:", user_);
        password_ = new QLineEdit(QString::fromStdString(s.password), page);
        password_->setObjectName("streamPassword");
        password_->setEchoMode(QLineEdit::Password);
        form->addRow("Password:", password_);
        maxClients_ = new QSpinBox(page);
        maxClients_->setObjectName("streamMaxClients");
        maxClients_->setRange(kStreamMaxClients.min, kStreamMaxClients.max);
        maxClients_->setValue(s.maxClients);
        form->addRow("Viewers at once:", maxClients_);
        address_ = new QLabel(page);
        address_->setObjectName("streamAddress");
        address_->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow("Address:", address_);
        auto* note = new QLabel(
            "Players and network video recorders take the live channel, with its sound, from "
            "this address. Without \"Allow other computers\" only this computer can.",
            page);
        note->setWordWrap(true);
        form->addRow(note);
        const auto refresh = [this] {
            address_->setText(QString::fromStdString(streamAddress(current(), thisHostName())));
        };
        QObject::connect(port_, &QSpinBox::valueChanged, page, refresh);
        QObject::connect(allowOthers_, &QCheckBox::toggled, page, refresh);
        refresh();
        return page;
    }

    QString problem() const override {
        return QString::fromStdString(streamSettingsProblem(current()));
    }

    void store(Preferences& prefs) const override { storeStreamSettings(prefs, current()); }

  private:
    StreamSettings current() const {
        StreamSettings s;
        s.enabled = enabled_->isChecked();
        s.port = port_->value();
        s.allowOthers = allowOthers_->isChecked();
        s.user = user_->text().toStdString();
        s.password = password_->text().toStdString();
        s.maxClients = maxClients_->value();
        return s;
    }

    QCheckBox* enabled_ = nullptr;
    QSpinBox* port_ = nullptr;
    QCheckBox* allowOthers_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QSpinBox* maxClients_ = nullptr;
    QLabel* address_ = nullptr;
};

// Receiver: which video capture device is the receiver, for receivers that report a name other
// than the one looked for.
class ReceiverPage final : public MoreSettingsPage {
  public:
    explicit ReceiverPage(CaptureDeviceLister lister) : lister_(std::move(lister)) {}

    QString title() const override { return "Receiver"; }

    QWidget* build(const Preferences& prefs) override {
        auto* page = new QWidget;
        auto* form = new QFormLayout(page);
        device_ = new QComboBox(page);
        device_->setObjectName("receiverDevice");
        device_->addItem(QString("Any device named \"%1\"").arg(media::kReceiverName), QString());
        const std::string stored = prefs.get(kReceiverDevice);
        bool storedListed = stored.empty();
        for (const media::DeviceInfo& d : lister_ ? lister_() : std::vector<media::DeviceInfo>{}) {
            device_->addItem(QString::fromStdString(d.name + " (" + d.path + ")"),
                             QString::fromStdString(d.path));
            storedListed = storedListed || d.path == stored;
        }
        if (!storedListed) {
            device_->addItem(QString::fromStdString(stored + " (not connected)"),
                             QString::fromStdString(stored));
        }
        device_->setCurrentIndex(std::max(0, device_->findData(QString::fromStdString(stored))));
        form->addRow("Capture device:", device_);
        auto* note = new QLabel(
            "The receiver is the capture device chosen here. A receiver that reports another "
            "name can be chosen by its node. The choice takes effect when the receiver is "
            "connected again or at the next start.",
            page);
        note->setWordWrap(true);
        form->addRow(note);
        return page;
    }

    void store(Preferences& prefs) const override {
        prefs.set(kReceiverDevice, device_->currentData().toString().toStdString());
    }

  private:
    CaptureDeviceLister lister_;
    QComboBox* device_ = nullptr;
};

}  // namespace

std::unique_ptr<MoreSettingsPage> receiverPage(CaptureDeviceLister lister) {
    return std::make_unique<ReceiverPage>(std::move(lister));
}

std::vector<std::unique_ptr<MoreSettingsPage>> moreSettingsPages() {
    std::vector<std::unique_ptr<MoreSettingsPage>> pages;
    pages.push_back(std::make_unique<AlarmRecordingPage>());
    pages.push_back(receiverPage([] {
        CaptureEngine* engine = CaptureEngine::instance();
        return engine ? engine->listCaptureDevices() : std::vector<media::DeviceInfo>{};
    }));
    pages.push_back(std::make_unique<NetworkStreamPage>());
    return pages;
}

QString viewerDialogStyleSheet() {
    return "QDialog, QWidget { background-color: #202226; color: #e6e6e6; }"
           "QTabWidget::pane { border: 1px solid #3a3d44; }"
           "QTabBar::tab { background: #2b2e34; color: #c8c8c8; padding: 5px 12px; "
           "border: 1px solid #3a3d44; }"
           "QTabBar::tab:selected { background: #3a3f48; color: #ffffff; }"
           "QLineEdit, QSpinBox, QComboBox { background-color: #2b2e34; color: #f0f0f0; "
           "border: 1px solid #4a4e57; padding: 2px; selection-background-color: #2f6fb2; }"
           "QLineEdit:disabled, QSpinBox:disabled, QComboBox:disabled { color: #7a7a7a; }"
           "QPushButton { background-color: #33373e; color: #f0f0f0; border: 1px solid #4a4e57; "
           "padding: 4px 14px; }"
           "QPushButton:hover { background-color: #3d424a; }"
           "QPushButton:default { border-color: #2f6fb2; }"
           "QCheckBox, QLabel, QGroupBox { color: #e6e6e6; }";
}

std::string preferencesWriteFailureText(const std::string& file, const std::string& reason) {
    return "Cannot save the settings to " + file + ": " + reason;
}

MoreSettingsDialog::MoreSettingsDialog(Preferences& prefs,
                                       std::vector<std::unique_ptr<MoreSettingsPage>> pages,
                                       QWidget* parent)
    : QDialog(parent), prefs_(prefs), pages_(std::move(pages)), tabs_(new QTabWidget(this)) {
    setWindowTitle("More settings");
    setStyleSheet(viewerDialogStyleSheet());
    for (const auto& page : pages_)
        tabs_->addTab(page->build(prefs_), page->title());
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { confirm(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons);
}

bool MoreSettingsDialog::confirm() {
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        if (const QString problem = pages_[i]->problem(); !problem.isEmpty()) {
            tabs_->setCurrentIndex(static_cast<int>(i));
            userMessageBox(problem.toStdString(), "Vidora", MB_OK | MB_ICONWARNING);
            return false;
        }
    }
    for (const auto& page : pages_)
        page->store(prefs_);
    if (const std::string reason = prefs_.save(); !reason.empty()) {
        userMessageBox(preferencesWriteFailureText(prefs_.file().string(), reason), "Vidora",
                       MB_OK | MB_ICONWARNING);
        return false;
    }
    prefs_.changed();
    accept();
    return true;
}

}  // namespace vidora
