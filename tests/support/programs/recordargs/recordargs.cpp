// Stands in for a browser: appends a record of how it was started to a file,
// then exits. A record is two lines, each ended by CR LF: the command line
// exactly as it was given, then "show=" and the window show state asked for
// (or "show=none"). The file is the one the environment variable
// TESKAPRS_RECORDARGS_FILE names, or "recordargs.txt" beside the program.
#include <windows.h>

#include <string>

int main() {
    std::string path(MAX_PATH * 4, '\0');
    DWORD length = GetEnvironmentVariableA("TESKAPRS_RECORDARGS_FILE", path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) {
        length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0 || length >= path.size()) return 2;
        path.resize(length);
        path = path.substr(0, path.find_last_of('\\') + 1) + "recordargs.txt";
    } else {
        path.resize(length);
    }

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    const std::string show =
        (startup.dwFlags & STARTF_USESHOWWINDOW) ? std::to_string(startup.wShowWindow) : std::string("none");
    // One write, so that a reader never sees half a record.
    const std::string line = std::string(GetCommandLineA()) + "\r\nshow=" + show + "\r\n";
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == line.size() ? 0 : 4;
}
