#pragma once
// Fakes and helpers shared by the settings dialog tests: message boxes and the folder browser
// that answer at once, a disk with a chosen free space, a viewer with a task list behind the
// settings callback, and a harness that opens one page on its own.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "settingsui/disk_space.h"
#include "settingsui/page_context.h"
#include "settingsui/settings_page.h"
#include "settingsui/user_dialogs.h"

namespace vidora::settingsui::test {

struct ShownMessage {
    QString text;
    QString caption;
};

class FakeDialogs final : public UserDialogs {
  public:
    void message(QWidget* owner, const QString& text, const QString& caption) override;
    QString chooseFolder(QWidget* owner, const QString& title) override;

    std::vector<ShownMessage> messages;
    QString folderToChoose;  // empty: the browser is cancelled
    std::vector<QString> browserTitles;
};

class FakeDiskSpace final : public DiskSpaceSource {
  public:
    std::optional<std::uint64_t> freeBytes(const QString& folder) const override;
    std::vector<Volume> volumes() const override { return volumeList; }

    std::optional<std::uint64_t> free;  // nothing: the folder cannot be queried
    std::vector<Volume> volumeList;
    mutable std::vector<QString> queriedFolders;
};

// The viewer's side of the settings callback: a task list and a log of every call that changes
// something (codes 1 to 8). Only one exists at a time, because the callback is a plain function.
class FakeViewer {
  public:
    FakeViewer();
    ~FakeViewer();
    FakeViewer(const FakeViewer&) = delete;
    FakeViewer& operator=(const FakeViewer&) = delete;

    static std::intptr_t callback(int code, std::intptr_t value);

    TaskRecord* addTask(const TaskRecord& task);  // as if loaded from the settings file
    std::vector<TaskRecord> tasks() const;

    // Codes 1..8 in order with their value; for code 5 the address it answered.
    std::vector<std::pair<int, std::intptr_t>> calls;
    std::intptr_t failNewTask = false;  // code 5 answers 0

  private:
    std::intptr_t handle(int code, std::intptr_t value);

    std::vector<TaskRecord*> list_;
    std::vector<TaskRecord*> allocated_;  // every record not yet freed
    static FakeViewer* current_;
};

// The settings record as a fresh settings file holds it.
VidoraConfig defaultConfig();

template <typename T>
T* control(const QWidget* root, int id) {
    return root->findChild<T*>(idName(id));
}

// Makes the window active so that focus moves and focus-out checks behave as on a desktop.
void activate(QWidget* window);
// Puts the focus into from, then moves it to to, and lets the resulting check run.
void leaveField(QWidget* from, QWidget* to);
// Types text into the widget with the focus, character by character.
void typeText(QWidget* widget, const QString& text);
// Replaces an edit's text as typing would (select all, then type).
void typeInto(QLineEdit* edit, const QString& text);

// One page of the sheet opened on its own over a working copy.
template <typename Page>
class PageHarness {
  public:
    PageHarness() : config(defaultConfig()) {}

    Page& open() {
        page = std::make_unique<Page>(PageContext{&config, &FakeViewer::callback, &dialogs, &disk});
        page->ensureCreated();
        page->resize(640, 480);
        page->show();
        activate(page.get());
        return *page;
    }
    template <typename T>
    T* get(int id) const {
        T* found = control<T>(page.get(), id);
        EXPECT_NE(found, nullptr) << "no control " << id;
        return found;
    }

    VidoraConfig config;
    FakeDialogs dialogs;
    FakeDiskSpace disk;
    FakeViewer viewer;
    std::unique_ptr<Page> page;
};

}  // namespace vidora::settingsui::test
