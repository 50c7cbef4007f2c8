// The URL launcher: opens a web address in the user's default browser, the
// one the ".htm" association of the classes root names, or, where that names
// none, through the shell. An elevated run takes the machine's associations
// only (ui/Associations).
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

    // Opens Url in the default browser: the program of the ".htm"
    // association's open command, named in full (a bare name from the system
    // folder), started with the command's arguments and the address; where there is no such command, the shell's
    // "open" of the address (web addresses only; anything else is left
    // alone). Raises rtl::Exception "Couldn't launch default browser" when
    // the browser cannot be started.
    void OpenUrl();
};

}  // namespace ui
