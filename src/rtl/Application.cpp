#include "rtl/Application.h"

#include <commctrl.h>
#include <objbase.h>

#include <algorithm>

#include "rtl/Exceptions.h"
#include "rtl/Subclass.h"
#include "rtl/Utf.h"

namespace rtl {

namespace {
const wchar_t kAppWindowClass[] = L"TApplication";
// Posted to itself when the application window got the focus: the focus
// goes on to the main form once the activation has settled.
const UINT kFocusMainForm = WM_APP + 0x3F00;
}  // namespace

TApplication& Application() {
    static TApplication app;
    return app;
}

TApplication::~TApplication() {
    if (handle_ && IsWindow(handle_)) DestroyWindow(handle_);
    if (comStarted_) CoUninitialize();
}

void TApplication::Initialize() {
    if (handle_) return;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    if (!GetClassInfoW(instance, kAppWindowClass, &wc)) {
        wc = WNDCLASSW{};
        wc.lpfnWndProc = &TApplication::WndProc;
        wc.hInstance = instance;
        wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.lpszClassName = kAppWindowClass;
        RegisterClassW(&wc);
    }
    if (!icon_) icon_ = wc.hIcon;
    // A window of no size in the middle of the screen: it owns the main
    // window and carries the taskbar button while a form is on screen, and
    // is never seen itself (its forms lie above it).
    handle_ = CreateWindowExW(0, kAppWindowClass, Wide(title_).c_str(),
                              WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                              GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
                              nullptr, instance, this);
}

void TApplication::StartCom() {
    if (!comStarted_)
        comStarted_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
}

void TApplication::SetTitle(const std::string& title) {
    title_ = title;
    if (handle_) SetWindowTextW(handle_, Wide(title_).c_str());
}

void TApplication::SetIcon(HICON icon) {
    icon_ = icon;
    if (handle_) {
        SendMessageW(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessageW(handle_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
}

void TApplication::UpdateVisible() {
    if (!handle_) return;
    struct Search {
        HWND app;
        bool anyVisible;
    } search{handle_, false};
    EnumThreadWindows(
        GetWindowThreadProcessId(handle_, nullptr),
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            if (hwnd != s->app && GetWindow(hwnd, GW_OWNER) == s->app && IsWindowVisible(hwnd)) {
                s->anyVisible = true;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if ((IsWindowVisible(handle_) != FALSE) == search.anyVisible) return;
    SetWindowPos(handle_, nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE |
                     (search.anyVisible ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

void TApplication::WatchForm(HWND form) {
    if (form) SetSubclass(form, &TApplication::FormWatchProc, 0, 0);
}

LRESULT CALLBACK TApplication::FormWatchProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    if (msg == WM_NCDESTROY) {
        RemoveSubclass(hwnd, &TApplication::FormWatchProc, 0);
        const LRESULT result = DefSubclass(hwnd, msg, wp, lp);
        // A form that goes away while on screen takes the button with it.
        Application().UpdateVisible();
        return result;
    }
    const LRESULT result = DefSubclass(hwnd, msg, wp, lp);
    if (msg == WM_WINDOWPOSCHANGED) {
        const auto* pos = reinterpret_cast<const WINDOWPOS*>(lp);
        if (pos && (pos->flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW))) Application().UpdateVisible();
    }
    return result;
}

TApplication::HookId TApplication::AddMessageHook(MessageHook hook) {
    const HookId id = nextHookId_++;
    hooks_.emplace_back(id, std::move(hook));
    return id;
}

void TApplication::RemoveMessageHook(HookId id) {
    for (auto& entry : hooks_)
        if (entry.first == id) {
            // While hooks run, the entry is only emptied, so the running
            // loop keeps its place; it is dropped afterwards.
            entry.second = nullptr;
            entry.first = 0;
        }
    if (hooksRunning_ == 0)
        hooks_.erase(std::remove_if(hooks_.begin(), hooks_.end(), [](const auto& e) { return e.first == 0; }),
                     hooks_.end());
}

bool TApplication::RunHooks(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    bool handled = false;
    ++hooksRunning_;
    Dispatch([&] {
        // By index: a hook may add or remove hooks while it runs.
        for (size_t i = 0; i < hooks_.size() && !handled; ++i) {
            if (!hooks_[i].second) continue;
            MessageHook hook = hooks_[i].second;
            handled = hook(msg, wp, lp, result);
        }
    });
    if (--hooksRunning_ == 0)
        hooks_.erase(std::remove_if(hooks_.begin(), hooks_.end(), [](const auto& e) { return e.first == 0; }),
                     hooks_.end());
    return handled;
}

LRESULT CALLBACK TApplication::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* app = reinterpret_cast<TApplication*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (app) {
        LRESULT result = 0;
        if (app->RunHooks(msg, wp, lp, result)) return result;
        switch (msg) {
        case WM_CLOSE:
            // Closing the taskbar window closes the main window.
            if (app->mainForm_) PostMessageW(app->mainForm_, WM_CLOSE, 0, 0);
            return 0;
        case WM_SYSCOMMAND:
            // Minimizing from the taskbar button minimizes the main window,
            // which decides what that means (the tray icon hides it).
            if ((wp & 0xFFF0) == SC_MINIMIZE && app->mainForm_ && IsWindowVisible(app->mainForm_)) {
                SendMessageW(app->mainForm_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
                return 0;
            }
            break;
        case WM_SETFOCUS:
            PostMessageW(hwnd, kFocusMainForm, 0, 0);
            break;
        case kFocusMainForm:
            // Activated through its taskbar button: the main form takes over.
            if (GetFocus() == hwnd && app->mainForm_ && IsWindowVisible(app->mainForm_) &&
                IsWindowEnabled(app->mainForm_))
                SetFocus(app->mainForm_);
            return 0;
        case WM_QUERYENDSESSION:
            // The main window never objects to the end of the session.
            return TRUE;
        case WM_ENDSESSION:
            // The session really ends: the loop stops as after a close.
            if (wp) app->Terminate();
            return 0;
        case WM_DESTROY:
            if (app->handle_ == hwnd) app->handle_ = nullptr;
            break;
        default:
            break;
        }
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

bool TApplication::ProcessMessage(MSG& msg) {
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (msg.message == WM_QUIT) {
        terminated_ = true;
        // The hooks learn of it (the tray icon leaves the notification
        // area), but the loop ends whatever they answer.
        LRESULT ignored = 0;
        RunHooks(WM_QUIT, msg.wParam, msg.lParam, ignored);
        return true;
    }
    HWND dialogRoot = mainForm_;
    if (msg.hwnd && !keyboardWindows_.empty()) {
        HWND root = GetAncestor(msg.hwnd, GA_ROOT);
        if (std::find(keyboardWindows_.begin(), keyboardWindows_.end(), root) != keyboardWindows_.end())
            dialogRoot = root;
    }
    if (dialogRoot && IsDialogMessageW(dialogRoot, &msg)) return true;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}

void TApplication::ProcessMessages() { ProcessMessagesUntil(GetTickCount64() + kProcessMessagesLimitMs); }

void TApplication::ProcessMessagesUntil(ULONGLONG deadline) {
    MSG msg;
    while (GetTickCount64() < deadline && ProcessMessage(msg)) {
    }
}

void TApplication::Run() {
    if (showMainForm_ && mainForm_ && !Terminating()) {
        ShowWindow(mainForm_, SW_SHOWNORMAL);
        SetForegroundWindow(mainForm_);
    }
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
    quitRequested_ = true;
    PostQuitMessage(0);
}

void TApplication::HandleException(const std::exception& e) { HandleException(std::string(e.what())); }

void TApplication::HandleException(const std::string& message) {
    const std::string text = ErrorBoxText(message);
    if (boxOpen_) {
        // A fault that recurs while nobody is there must not pile up boxes.
        try {
            if (failureNote_) failureNote_(text);
        } catch (...) {
        }
        return;
    }
    boxOpen_ = true;
    struct Closed {
        bool& open;
        ~Closed() { open = false; }
    } closed{boxOpen_};
    if (errorSink_) {
        errorSink_(title_, text);
        return;
    }
    MessageBoxW(mainForm_ ? mainForm_ : handle_, Wide(text).c_str(), Wide(title_).c_str(), MB_OK | MB_ICONERROR);
}

void PumpMessagesFor(DWORD milliseconds) {
    TApplication& app = Application();
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (;;) {
        app.ProcessMessagesUntil(deadline);
        if (app.Terminated()) return;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return;
        // Block on the queue until a message comes or the time is up;
        // MWMO_INPUTAVAILABLE also wakes for messages already seen but not read.
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
    }
}

bool PumpMessagesUntilSignalled(HANDLE event, DWORD milliseconds) {
    TApplication& app = Application();
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (;;) {
        if (WaitForSingleObject(event, 0) == WAIT_OBJECT_0) return true;
        app.ProcessMessagesUntil(deadline);
        if (app.Terminated()) return false;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
        MsgWaitForMultipleObjectsEx(1, &event, static_cast<DWORD>(deadline - now), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

}  // namespace rtl
