#pragma once
// Message boxes that any thread can show. The user-interface thread shows them; a worker that
// asks waits for the user's answer. While the UI thread itself waits for a worker (stopping live
// view), it keeps pumping the requests, so a worker blocked in a message box never deadlocks it.
#include <cstdint>
#include <functional>
#include <string>

namespace vidora {

// MessageBox type flags and results used by the program.
enum : uint32_t {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,  // also "stop"
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

struct MessageBoxRequest {
    std::string text;
    std::string caption;
    uint32_t type = MB_OK;
};

// Shows the box on the UI thread and returns the pressed button.
using MessageBoxPresenter = std::function<int(const MessageBoxRequest&)>;

// Installs the presenter and names the calling thread as the UI thread. `wakeUi` is called from
// other threads when a request is queued; it must make the UI thread call pumpMessageBoxes()
// soon (for example a queued call into the Qt event loop). Passing an empty presenter removes it.
void setMessageBoxPresenter(MessageBoxPresenter presenter, std::function<void()> wakeUi = {});

// Any thread: shows a message box owned by the main window and blocks until it is closed.
// Without a presenter the text goes to standard error and IDOK is returned.
int userMessageBox(const std::string& text, const std::string& caption, uint32_t type);

// UI thread: shows every queued request from other threads and releases their callers.
void pumpMessageBoxes();

// True on the thread that installed the presenter.
bool onUiThread();

}  // namespace vidora
