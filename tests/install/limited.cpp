// limited.exe "COMMAND LINE": runs it with the limited token linked to this
// process's elevated one (as Windows runs programs) and exits with its code.
#include <windows.h>

int main(int argc, char** argv) {
    HANDLE token;
    TOKEN_LINKED_TOKEN linked;
    DWORD size, code = 100;
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    GetStartupInfoA(&startup);
    if (argc != 2 || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) ||
        !GetTokenInformation(token, TokenLinkedToken, &linked, sizeof linked, &size) ||
        !CreateProcessAsUserA(linked.LinkedToken, nullptr, argv[1], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process))
        return 100;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
}
