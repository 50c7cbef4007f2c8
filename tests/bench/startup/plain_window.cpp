// The yardstick of the start-up benchmark: a plain Win32 window with as many
// standard controls as the command line asks for (labels, edits, buttons,
// check boxes, combo boxes, up-down controls in turn), the same manifest and
// font as the program, and nothing else. Closing the window ends it.
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>

namespace {

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    const int count = std::atoi(commandLine);
    INITCOMMONCONTROLSEX init{sizeof init, ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&init);

    WNDCLASSA wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "PlainWindow";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, "PlainWindow", "Plain window", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU |
                                  WS_MINIMIZEBOX | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT, 567, 382,
                                  nullptr, nullptr, instance, nullptr);
    HFONT font = CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
    struct Kind {
        const char* className;
        DWORD style;
    };
    const Kind kinds[] = {
        {"STATIC", SS_LEFT},
        {"EDIT", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP},
        {"BUTTON", BS_PUSHBUTTON | WS_TABSTOP},
        {"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP},
        {"COMBOBOX", CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP},
        {UPDOWN_CLASSA, 0},
    };
    for (int i = 0; i < count; ++i) {
        const Kind& kind = kinds[i % (sizeof kinds / sizeof kinds[0])];
        HWND control = CreateWindowExA(0, kind.className, "Control", WS_CHILD | WS_VISIBLE | kind.style,
                                       8 + (i % 6) * 90, 8 + (i / 6) * 28, 84, 22, window,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(1000 + i)), instance, nullptr);
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    ShowWindow(window, SW_SHOWDEFAULT);
    UpdateWindow(window);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    DeleteObject(font);
    return 0;
}
