// The application object: its title, the hidden application window that
// owns the main window and carries the taskbar button, the message loop, and
// the handling of failures that escape an event handler.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace rtl {

class TApplication {
public:
    // Shows an escaped failure: (caption, text). The default is a message box
    // with the error icon; tests install a recorder so nothing blocks.
    using ErrorSink = std::function<void(const std::string& caption, const std::string& text)>;
    // Sees every message of the application window first; returns true when
    // it handled the message (result in the last argument).
    using MessageHook = std::function<bool(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result)>;

    TApplication() = default;
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;
    ~TApplication();

    // Creates the hidden application window (once).
    void Initialize();

    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title);

    HWND Handle() const { return handle_; }
    HWND MainForm() const { return mainForm_; }
    void SetMainForm(HWND form) { mainForm_ = form; }

    // Runs the message loop until Terminate is called or WM_QUIT arrives.
    void Run();
    // Dispatches every message waiting in the queue, then returns.
    void ProcessMessages();
    // Asks the loop to end; Terminated turns true when the request is taken
    // from the queue.
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Clears the terminated state (tests run several loops in one process).
    void ResetTerminated() { terminated_ = false; }

    void HandleException(const std::exception& e);
    void HandleException(const std::string& message);
    void SetErrorSink(ErrorSink sink) { errorSink_ = std::move(sink); }

    void AddMessageHook(MessageHook hook) { hooks_.push_back(std::move(hook)); }

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    bool ProcessMessage(MSG& msg);

    std::string title_;
    HWND handle_ = nullptr;
    HWND mainForm_ = nullptr;
    bool terminated_ = false;
    ErrorSink errorSink_;
    std::vector<MessageHook> hooks_;
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
// as they come and otherwise sleeps on the queue. Returns early only when the
// application is terminated.
void PumpMessagesFor(DWORD milliseconds);

}  // namespace rtl
