// A window timer with an interval in milliseconds, an enabled state and an
// OnTimer event. The timer restarts only when the interval or the enabled
// state really changes, so setting the same value again keeps its phase.
#pragma once

#include <windows.h>

#include <functional>

namespace rtl {

class TTimer {
public:
    using Handler = std::function<void()>;

    explicit TTimer(unsigned interval = 1000, bool enabled = true);
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;
    ~TTimer();

    unsigned Interval() const { return interval_; }
    void SetInterval(unsigned interval);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    void SetOnTimer(Handler handler);

    // Whether a system timer is running now.
    bool Running() const { return running_; }

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void UpdateTimer();

    unsigned interval_;
    bool enabled_;
    bool running_ = false;
    Handler onTimer_;
    HWND window_ = nullptr;
};

}  // namespace rtl
