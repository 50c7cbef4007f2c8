// The tray icon component (being built): keeps an icon in the notification
// area, hides the window to it and brings it back.
#pragma once

#include <windows.h>

#include <string>

namespace ui {

class TabcTrayIcon {
public:
    explicit TabcTrayIcon(HWND form) : form_(form) {}

    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hint) { hint_ = hint.substr(0, 63); }
    // Shows the window, brings it to the front and restores it.
    void RestoreForm();

private:
    HWND form_;
    std::string hint_;
};

}  // namespace ui
