#include "rtl/Application.h"

#include "rtl/Exceptions.h"

namespace rtl {

namespace {
const char kAppWindowClass[] = "TApplication";
}

TApplication& Application() {
    static TApplication app;
    return app;
}

TApplication::~TApplication() {
    if (handle_ && IsWindow(handle_)) DestroyWindow(handle_);
}

void TApplication::Initialize() {
    if (handle_) return;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    if (!GetClassInfoA(instance, kAppWindowClass, &wc)) {
        wc = WNDCLASSA{};
        wc.lpfnWndProc = &TApplication::WndProc;
        wc.hInstance = instance;
        wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.lpszClassName = kAppWindowClass;
        RegisterClassA(&wc);
    }
    // A window of no size: it carries the taskbar button and owns the main
    // window, and is never seen itself.
    handle_ = CreateWindowExA(0, kAppWindowClass, title_.c_str(),
                              WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                              0, 0, 0, 0, nullptr, nullptr, instance, this);
}

void TApplication::SetTitle(const std::string& title) {
    title_ = title;
    if (handle_) SetWindowTextA(handle_, title_.c_str());
}

LRESULT CALLBACK TApplication::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* app = reinterpret_cast<TApplication*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (app) {
        LRESULT result = 0;
        bool handled = false;
        Dispatch([&] {
            for (auto& hook : app->hooks_)
                if (hook && hook(msg, wp, lp, result)) {
                    handled = true;
                    break;
                }
        });
        if (handled) return result;
        switch (msg) {
        case WM_CLOSE:
            // Closing the taskbar window closes the main window.
            if (app->mainForm_) PostMessageA(app->mainForm_, WM_CLOSE, 0, 0);
            return 0;
        case WM_DESTROY:
            if (app->handle_ == hwnd) app->handle_ = nullptr;
            break;
        default:
            break;
        }
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

bool TApplication::ProcessMessage(MSG& msg) {
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (msg.message == WM_QUIT) {
        terminated_ = true;
        return true;
    }
    HWND dialogRoot = mainForm_;
    if (dialogRoot && IsDialogMessageA(dialogRoot, &msg)) return true;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return true;
}

void TApplication::ProcessMessages() {
    MSG msg;
    while (ProcessMessage(msg)) {
    }
}

void TApplication::Run() {
    while (!terminated_) {
        MSG msg;
        if (!ProcessMessage(msg)) {
            // Sleep until something arrives.
            WaitMessage();
        }
    }
}

void TApplication::Terminate() {
    // The loop ends when the quit message is taken from the queue.
    PostQuitMessage(0);
}

void TApplication::HandleException(const std::exception& e) { HandleException(std::string(e.what())); }

void TApplication::HandleException(const std::string& message) {
    const std::string text = ErrorBoxText(message);
    if (errorSink_) {
        errorSink_(title_, text);
        return;
    }
    MessageBoxA(mainForm_ ? mainForm_ : handle_, text.c_str(), title_.c_str(), MB_OK | MB_ICONERROR);
}

void PumpMessagesFor(DWORD milliseconds) {
    TApplication& app = Application();
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (;;) {
        app.ProcessMessages();
        if (app.Terminated()) return;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return;
        // Block on the queue until a message comes or the time is up;
        // MWMO_INPUTAVAILABLE also wakes for messages already seen but not read.
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
    }
}

}  // namespace rtl
