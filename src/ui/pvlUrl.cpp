#include "ui/pvlUrl.h"

#include <windows.h>

#include <shellapi.h>

#include "rtl/Exceptions.h"
#include "rtl/Files.h"
#include "rtl/Text.h"
#include "rtl/Utf.h"
#include "ui/Associations.h"
#include "ui/LinkAddress.h"

namespace ui {

namespace {

// The browser command line template of the ".htm" association (the
// machine's in an elevated run): false when there is none (no ".htm", no
// document type, no open command, or a blank one).
bool FindBrowserCommand(std::string& commandTemplate) {
    std::string documentType;
    if (!ReadClassesDefault(".htm", documentType)) return false;
    // An association without a type name leads nowhere.
    if (documentType.empty()) return false;
    if (!ReadClassesDefault(documentType + "\\shell\\open\\command", commandTemplate)) return false;
    // Started as it stands, a blank command would take the address for the program.
    return !rtl::Trimmed(commandTemplate).empty();
}

// The full path of the browser's program. A path is taken as it stands; a
// bare name is looked for in the system folder, then in the Windows folder
// (associations name "rundll32.exe" or "explorer.exe" so), never in the
// current folder or along the search path, where anybody's file of that
// name could be found first. Empty when there is no such file.
std::string BrowserProgramPath(const std::string& program) {
    const bool fullPath = (program.size() > 2 && program[1] == ':' && (program[2] == '\\' || program[2] == '/')) ||
                          program.rfind("\\\\", 0) == 0;
    if (fullPath) return rtl::FileExists(program) ? program : "";
    // Relative to a folder (the current one, which changes): not taken.
    if (program.empty() || program.find_first_of("\\/:") != std::string::npos) return "";
    wchar_t folder[MAX_PATH] = {};
    for (const auto get : {GetSystemDirectoryW, GetWindowsDirectoryW}) {
        const UINT n = get(folder, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) continue;
        const std::string path = rtl::Narrow(std::wstring_view(folder, n)) + "\\" + program;
        if (rtl::FileExists(path)) return path;
    }
    return "";
}

// Starts the program named in full with the command line, in the show
// state; false when it cannot be started.
bool StartProgram(const std::string& program, const std::string& commandLine, int show) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show);
    PROCESS_INFORMATION process{};
    // The command line is writable, as the system wants it.
    std::wstring line = rtl::Wide(commandLine);
    if (!CreateProcessW(rtl::Wide(program).c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// Only web addresses go to the shell: it would start a program or open a
// file named by anything else.
bool IsWebAddress(const std::string& url) {
    const std::wstring wide = rtl::Wide(url);
    for (const wchar_t* scheme : {L"http://", L"https://"}) {
        const size_t length = std::char_traits<wchar_t>::length(scheme);
        if (wide.size() > length && CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, wide.c_str(),
                                                   static_cast<int>(length), scheme, static_cast<int>(length)) ==
                                        CSTR_EQUAL)
            return true;
    }
    return false;
}

}  // namespace

int ShowStateOf(TUrlShowCmd command) {
    switch (command) {
    case TUrlShowCmd::ssHide: return SW_HIDE;
    case TUrlShowCmd::ssMaximize: return SW_MAXIMIZE;
    case TUrlShowCmd::ssMinimize: return SW_MINIMIZE;
    case TUrlShowCmd::ssRestore: return SW_RESTORE;
    case TUrlShowCmd::ssShow: return SW_SHOW;
    case TUrlShowCmd::ssShowDefault: return SW_SHOWDEFAULT;
    case TUrlShowCmd::ssShowMaximized: return SW_SHOWMAXIMIZED;
    case TUrlShowCmd::ssShowMinimized: return SW_SHOWMINIMIZED;
    case TUrlShowCmd::ssShowMinNoActivate: return SW_SHOWMINNOACTIVE;
    case TUrlShowCmd::ssShowNA: return SW_SHOWNA;
    case TUrlShowCmd::ssShowNoActivate: return SW_SHOWNOACTIVATE;
    case TUrlShowCmd::ssShowNormal: return SW_SHOWNORMAL;
    }
    return SW_SHOWDEFAULT;
}

void TpvlUrl::OpenUrl() {
    const int show = ShowStateOf(UrlShowCommand);

    // The browser that the document type of web pages names.
    std::string commandTemplate;
    if (FindBrowserCommand(commandTemplate)) {
        // The program named in full: a command line is never searched for
        // its program, which an unquoted path with blanks or a bare name
        // would leave to whatever file comes first.
        BrowserTemplate browser = SplitBrowserCommand(commandTemplate, rtl::FileExists);
        browser.program = BrowserProgramPath(browser.program);
        if (browser.program.empty() || !StartProgram(browser.program, BrowserCommandLine(browser, Url), show))
            throw rtl::Exception("Couldn't launch default browser");
        return;
    }

    // Where that finds none (a fresh or stripped-down system), the shell's
    // "open" of the address itself, which uses the user's default browser;
    // in an elevated run, the machine's association of its protocol.
    if (!IsWebAddress(Url)) return;
    if (MachineAssociationsOnly()) {
        if (!OpenWithMachineClass(nullptr, Url, {Url.substr(0, Url.find(':'))}, show))
            throw rtl::Exception("Couldn't launch default browser");
        return;
    }
    const auto result =
        reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", rtl::Wide(Url).c_str(), nullptr, nullptr, show));
    if (result <= 32) throw rtl::Exception("Couldn't launch default browser");
}

}  // namespace ui
