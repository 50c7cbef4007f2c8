// The URL launcher: opens a web address in the user's default browser, the
// one the ".htm" association of the classes root names.
#pragma once

#include <string>

namespace ui {

// How the started browser shows its window.
enum class TUrlShowCmd {
    ssHide,
    ssMaximize,
    ssMinimize,
    ssRestore,
    ssShow,
    ssShowDefault,
    ssShowMaximized,
    ssShowMinimized,
    ssShowMinNoActivate,
    ssShowNA,
    ssShowNoActivate,
    ssShowNormal,
};

// The window show state (SW_...) passed to the browser for each value.
int ShowStateOf(TUrlShowCmd command);

class TpvlUrl {
public:
    std::string Url;
    TUrlShowCmd UrlShowCommand = TUrlShowCmd::ssShowDefault;

    // Opens Url in the default browser. Returns quietly when there is no
    // ".htm" association or no open command for it; raises rtl::Exception
    // "Couldn't launch default browser" when the browser cannot be started.
    void OpenUrl();
};

}  // namespace ui
