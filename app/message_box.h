#pragma once
// Message boxes that any thread can show. The user-interface thread shows them; a worker that
// asks waits for the user's answer. While the UI thread itself waits for a worker (stopping live
// view), it keeps pumping the requests, so a worker blocked in a message box never deadlocks it.
// Once the program quits, nobody answers the boxes of other threads any more: they are answered
// with quitAnswer() at once, so that the workers the quit waits for can end.
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
// Either way boxes are shown again after a quit closed them.
void setMessageBoxPresenter(MessageBoxPresenter presenter, std::function<void()> wakeUi = {});

// Any thread: shows a message box owned by the main window and blocks until it is closed.
// Without a presenter the text goes to standard error and IDOK is returned. Once boxes were
// closed for the caller (closeMessageBoxes), the text goes to standard error and the call
// returns quitAnswer() at once.
int userMessageBox(const std::string& text, const std::string& caption, uint32_t type);

// UI thread: shows every queued request from other threads and releases their callers.
void pumpMessageBoxes();

// True on the thread that installed the presenter.
bool onUiThread();

// The answer of a box that nobody answers because the program quits: the one that starts
// nothing new. OK for a box with OK alone, Cancel where it is offered, and No for a yes/no
// question (a question asked while the program ends must not lead to new work or deletions).
int quitAnswer(uint32_t type);

// How the program quits.
enum class Quitting {
    Attended,    // the user closed the main window: the UI thread's own boxes (a settings file
                 // that cannot be written) are still shown; other threads' are not
    Unattended,  // a termination signal or the end of the session: nobody is there to answer
};

// UI thread, when the program quits: requests of other threads that wait for the UI thread or
// whose box is open are answered with quitAnswer() and their callers released at once; their
// open boxes are closed (OpenMessageBox). Later requests of other threads are answered at once
// without a box. Quitting::Unattended does the same for the UI thread's own boxes.
void closeMessageBoxes(Quitting how);

// Boxes are shown again (a new run of the application).
void reopenMessageBoxes();

// Kept by a presenter on the UI thread while its box is open: tells how to take the box down
// when closeMessageBoxes() ends it early. The presenter then returns quitAnswer() of the box.
class OpenMessageBox {
  public:
    explicit OpenMessageBox(std::function<void()> close);
    ~OpenMessageBox();
    OpenMessageBox(const OpenMessageBox&) = delete;
    OpenMessageBox& operator=(const OpenMessageBox&) = delete;

    // True once the box was closed (or was closed for before it could open): its answer is
    // quitAnswer(), whatever the box itself returned.
    bool closed() const;

  private:
    friend void closeMessageBoxes(Quitting how);
    std::function<void()> close_;
    bool forOtherThread_ = false;
    bool closed_ = false;
};

}  // namespace vidora
