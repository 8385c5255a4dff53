#include "test_support.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <algorithm>
#include <cstring>

namespace vidora::settingsui::test {

void FakeDialogs::message(QWidget*, const QString& text, const QString& caption) {
    messages.push_back({text, caption});
}

QString FakeDialogs::chooseFolder(QWidget*, const QString& title) {
    browserTitles.push_back(title);
    return folderToChoose;
}

std::optional<std::uint64_t> FakeDiskSpace::freeBytes(const QString& folder) const {
    queriedFolders.push_back(folder);
    return free;
}

FakeViewer* FakeViewer::current_ = nullptr;

FakeViewer::FakeViewer() {
    current_ = this;
}

FakeViewer::~FakeViewer() {
    for (TaskRecord* record : allocated_) {
        delete record;
    }
    if (current_ == this) {
        current_ = nullptr;
    }
}

std::intptr_t FakeViewer::callback(int code, std::intptr_t value) {
    return current_ ? current_->handle(code, value) : 0;
}

TaskRecord* FakeViewer::addTask(const TaskRecord& task) {
    auto* record = new TaskRecord(task);
    allocated_.push_back(record);
    list_.push_back(record);
    return record;
}

std::vector<TaskRecord> FakeViewer::tasks() const {
    std::vector<TaskRecord> copies;
    for (const TaskRecord* record : list_) {
        copies.push_back(*record);
    }
    return copies;
}

std::intptr_t FakeViewer::handle(int code, std::intptr_t value) {
    if (code != CFG_CB_TASK_COUNT && code != CFG_CB_TASK_AT && code != CFG_CB_NEW_TASK) {
        calls.emplace_back(code, value);
    }
    auto* record = reinterpret_cast<TaskRecord*>(value);
    switch (code) {
        case CFG_CB_NEW_TASK: {
            TaskRecord* fresh = nullptr;
            if (!failNewTask) {
                fresh = new TaskRecord{};
                std::memset(static_cast<void*>(fresh), 0, sizeof *fresh);
                allocated_.push_back(fresh);
            }
            calls.emplace_back(code, reinterpret_cast<std::intptr_t>(fresh));
            return reinterpret_cast<std::intptr_t>(fresh);
        }
        case CFG_CB_FREE_TASK: {
            // Really freed, so that a later read of it shows up under the address sanitizer.
            const auto it = std::find(allocated_.begin(), allocated_.end(), record);
            if (it != allocated_.end()) {
                allocated_.erase(it);
                delete record;
            }
            return 0;
        }
        case CFG_CB_ADD_TASK:
            list_.push_back(record);
            return 0;
        case CFG_CB_REMOVE_TASK:
            list_.erase(std::remove(list_.begin(), list_.end(), record), list_.end());
            return 0;
        case CFG_CB_TASK_COUNT:
            return static_cast<std::intptr_t>(list_.size());
        case CFG_CB_TASK_AT:
            return value >= 0 && static_cast<std::size_t>(value) < list_.size()
                       ? reinterpret_cast<std::intptr_t>(list_[static_cast<std::size_t>(value)])
                       : 0;
        default:
            return 0;
    }
}

VidoraConfig defaultConfig() {
    VidoraConfig c;
    std::memset(&c, 0, sizeof c);
    c.alarmSound = 1;
    c.alarmRecordSeconds = 10;
    c.alarmCaptureSeconds = 10;
    c.alarmCaptureFps = 1;
    std::strcpy(c.recordFolder, "./RECORD");
    c.reservedA = 1;
    c.videoStandard = 1;
    c.reservedB = 1;
    c.recordImageSize = 3;
    c.recordFps = 10;
    c.recordLimitMB = 5120;
    c.recordFileMB = 64;
    c.recordLimitPolicy = 1;
    std::strcpy(c.pictureFolder, "./SNAPSHOT");
    c.pictureFormat = 1;
    c.pictureSize = 1;
    c.pictureLimitMB = 1024;
    c.pictureLimitPolicy = 1;
    c.logSystem = c.logLogin = c.logAlarm = c.logParameters = 1;
    for (int ch = 0; ch < 4; ++ch) {
        std::snprintf(c.channelName[ch], sizeof c.channelName[ch], "CH%d", ch + 1);
    }
    c.showDate = c.showTime = c.showChannelName = 1;
    c.brightness = 2119;
    c.sharpness = 0;
    c.contrast = 4667;
    c.saturation = 3765;
    c.cycleSeconds = 5;
    return c;
}

void activate(QWidget* window) {
    window->activateWindow();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
}

void leaveField(QWidget* from, QWidget* to) {
    from->setFocus(Qt::OtherFocusReason);
    QCoreApplication::processEvents();
    to->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
}

void typeText(QWidget* widget, const QString& text) {
    // One key event per character, carrying the character as typed text, which also covers
    // characters that have no key of their own (QTest::keyClicks takes Latin-1 only).
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(widget, &release);
    }
}

void typeInto(QLineEdit* edit, const QString& text) {
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
    if (text.isEmpty()) {
        QTest::keyClick(edit, Qt::Key_Backspace);
    }
    typeText(edit, text);
}

}  // namespace vidora::settingsui::test
