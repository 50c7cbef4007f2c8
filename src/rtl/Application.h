// The application object: its title, the application window that owns the
// main window and carries the taskbar button, the message loop, and the
// handling of failures that escape an event handler.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace rtl {

class TApplication {
public:
    // Shows an escaped failure: (caption, text). The default is a message box
    // with the error icon; tests install a recorder so nothing blocks.
    using ErrorSink = std::function<void(const std::string& caption, const std::string& text)>;
    // Takes a failure that comes while the box of an earlier one is still
    // open (the box's own message loop runs the timers and sockets on): the
    // text as the box would show it. The main window sets it to its log and
    // status line; without one such a failure is dropped.
    using FailureNote = std::function<void(const std::string& text)>;
    // Sees every message of the application window first; returns true when
    // it handled the message (result in the last argument). A quit request
    // taken from the queue is shown to the hooks too (WM_QUIT), but always
    // ends the loop.
    using MessageHook = std::function<bool(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result)>;
    using HookId = int;

    TApplication() = default;
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;
    ~TApplication();

    // Creates the application window (once). It stays hidden until one of
    // the windows it owns is on screen.
    void Initialize();
    // Starts COM on this thread, apartment threaded, for as long as the
    // application object lives (once; a thread where COM already runs keeps
    // it as it is). Left until something needs it: under Wine the first
    // start takes tens of milliseconds.
    void StartCom();

    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title);

    HWND Handle() const { return handle_; }
    HWND MainForm() const { return mainForm_; }
    void SetMainForm(HWND form) { mainForm_ = form; }
    // Other top-level windows whose controls the keyboard moves between as
    // in a dialog (Tab, Enter, Escape), as it does in the main form's.
    void AddKeyboardWindow(HWND window) { keyboardWindows_.push_back(window); }
    void RemoveKeyboardWindow(HWND window) { std::erase(keyboardWindows_, window); }

    // Whether Run shows the main form as the loop starts (default true; the
    // tray icon switches it off, and so does a second copy that ends itself).
    bool ShowMainForm() const { return showMainForm_; }
    void SetShowMainForm(bool show) { showMainForm_ = show; }

    // The application's icon: the program's icon resource 1 when it has one.
    // The handle is shared, never destroyed by its users.
    HICON Icon() const { return icon_; }
    void SetIcon(HICON icon);

    // The taskbar button: the application window is shown exactly while one
    // of the windows it owns (its forms) is visible. Runs by itself whenever
    // a watched form is shown or hidden; callable to re-check.
    void UpdateVisible();
    // Watches a form this window owns: from now on its being shown, hidden
    // or destroyed updates the taskbar button. Forms are shown and hidden by
    // many hands (the form itself, the tray icon), so the form's own
    // messages are watched rather than every caller. (A hook on the
    // thread's messages would do it for every window at once, but makes
    // each message sent cost a round trip to the window system.)
    void WatchForm(HWND form);

    // Runs the message loop until Terminate is called or WM_QUIT arrives.
    // Shows the main form first when ShowMainForm is set.
    void Run();
    // Dispatches the messages waiting in the queue, then returns. A round
    // never goes on for longer than kProcessMessagesLimitMs: messages that
    // keep arriving (a peer that never stops sending) cannot hold its caller.
    void ProcessMessages();
    static constexpr DWORD kProcessMessagesLimitMs = 500;
    // The same, but ends at the tick count deadline (GetTickCount64) even
    // while messages keep arriving; the deadline is looked at between
    // messages.
    void ProcessMessagesUntil(ULONGLONG deadline);
    // Asks the loop to end; Terminated turns true when the request is taken
    // from the queue.
    void Terminate();
    bool Terminated() const { return terminated_; }
    // True from the moment the end was asked for (Terminate, a quit request
    // taken from the queue, the end of the session).
    bool Terminating() const { return quitRequested_ || terminated_; }
    // Clears the terminated state (tests run several loops in one process).
    void ResetTerminated() {
        terminated_ = false;
        quitRequested_ = false;
    }

    // Shows a failure in a message box (the error sink), at most one at a
    // time: while one is open, later failures go to the failure note.
    void HandleException(const std::exception& e);
    void HandleException(const std::string& message);
    void SetErrorSink(ErrorSink sink) { errorSink_ = std::move(sink); }
    void SetFailureNote(FailureNote note) { failureNote_ = std::move(note); }

    // Hooks run in the order they were added. A hook may remove itself or
    // others while it runs.
    HookId AddMessageHook(MessageHook hook);
    void RemoveMessageHook(HookId id);

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK FormWatchProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data);
    bool RunHooks(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    bool ProcessMessage(MSG& msg);

    std::string title_;
    HWND handle_ = nullptr;
    bool comStarted_ = false;
    HWND mainForm_ = nullptr;
    std::vector<HWND> keyboardWindows_;
    HICON icon_ = nullptr;
    bool showMainForm_ = true;
    bool terminated_ = false;
    bool quitRequested_ = false;
    ErrorSink errorSink_;
    FailureNote failureNote_;
    bool boxOpen_ = false;
    std::vector<std::pair<HookId, MessageHook>> hooks_;
    HookId nextHookId_ = 1;
    int hooksRunning_ = 0;  // removals wait until no hook runs
};

// The one application object of the process.
TApplication& Application();

// Runs an event handler. A failure escaping it goes to
// Application().HandleException and never unwinds into the window system.
template <class F>
void Dispatch(F&& handler) noexcept {
    try {
        handler();
    } catch (const std::exception& e) {
        Application().HandleException(e);
    } catch (...) {
        Application().HandleException(std::string("Unknown exception"));
    }
}

// Keeps the window alive for the given wall-clock time: dispatches messages
// as they come and otherwise sleeps on the queue. Returns at its deadline
// even while messages keep arriving, and early only when the application is
// terminated.
void PumpMessagesFor(DWORD milliseconds);

// The same until the event is signalled: true when it was, false at the
// deadline or when the application is terminated.
bool PumpMessagesUntilSignalled(HANDLE event, DWORD milliseconds);

}  // namespace rtl
