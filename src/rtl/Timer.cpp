#include "rtl/Timer.h"

#include "rtl/Application.h"
#include "rtl/Exceptions.h"

namespace rtl {

namespace {
const wchar_t kTimerWindowClass[] = L"TeskaprsTimerWindow";
const UINT_PTR kTimerId = 1;
}  // namespace

TTimer::TTimer(unsigned interval, bool enabled) : interval_(interval), enabled_(enabled) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    if (!GetClassInfoW(instance, kTimerWindowClass, &wc)) {
        wc = WNDCLASSW{};
        wc.lpfnWndProc = &TTimer::WndProc;
        wc.hInstance = instance;
        wc.lpszClassName = kTimerWindowClass;
        RegisterClassW(&wc);
    }
    window_ = CreateWindowExW(0, kTimerWindowClass, L"", WS_POPUP, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              instance, nullptr);
    if (!window_) throw Exception("Cannot create a window for the timer");
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TTimer::~TTimer() {
    if (running_) KillTimer(window_, kTimerId);
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
}

void TTimer::SetInterval(unsigned interval) {
    if (interval == interval_) return;
    interval_ = interval;
    UpdateTimer();
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    UpdateTimer();
}

void TTimer::SetOnTimer(Handler handler) {
    onTimer_ = std::move(handler);
    UpdateTimer();
}

void TTimer::UpdateTimer() {
    if (running_) {
        KillTimer(window_, kTimerId);
        running_ = false;
    }
    if (enabled_ && interval_ != 0 && onTimer_) {
        if (!SetTimer(window_, kTimerId, interval_, nullptr)) throw Exception("Not enough timers available");
        running_ = true;
    }
}

LRESULT CALLBACK TTimer::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER) {
        auto* timer = reinterpret_cast<TTimer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (timer && timer->onTimer_) {
            // Keep a copy: the handler may replace itself or free the timer.
            Handler handler = timer->onTimer_;
            Dispatch(handler);
        }
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace rtl
