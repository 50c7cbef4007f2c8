// limited.exe "COMMAND LINE": runs it without administrator rights (the token linked to this elevated one).
#include <windows.h>

int main(int, char** argv) {
    HANDLE token;
    TOKEN_LINKED_TOKEN link;
    DWORD size, code = 100;
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    GetStartupInfoA(&si);
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) ||
        !GetTokenInformation(token, TokenLinkedToken, &link, sizeof link, &size) ||
        !CreateProcessAsUserA(link.LinkedToken, nullptr, argv[1], nullptr, nullptr, 0, 0, nullptr, nullptr, &si, &pi))
        return 100;
    WaitForSingleObject(pi.hProcess, INFINITE);
    GetExitCodeProcess(pi.hProcess, &code);
    return static_cast<int>(code);
}
