// The yardstick of the start-up benchmark: a plain Win32 window with the
// same standard controls as the program (the command line gives how many of
// each window class, "Static=24 Edit=12 ..."; a class it does not know stands
// as a label), the same manifest and font, and nothing else. Closing the
// window ends it.
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <cstring>

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
        {"Static", SS_LEFT},
        {"Edit", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP},
        {"Button", BS_PUSHBUTTON | WS_TABSTOP},
        {"ComboBox", CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP},
        {UPDOWN_CLASSA, 0},
    };
    int made = 0;
    for (char* item = std::strtok(commandLine, " "); item; item = std::strtok(nullptr, " ")) {
        char* equals = std::strchr(item, '=');
        if (!equals) continue;
        *equals = '\0';
        const Kind* kind = &kinds[0];
        for (const Kind& k : kinds)
            if (lstrcmpiA(k.className, item) == 0) kind = &k;
        for (int n = std::atoi(equals + 1); n > 0; --n, ++made) {
            HWND control =
                CreateWindowExA(0, kind->className, "Control", WS_CHILD | WS_VISIBLE | kind->style, 8 + (made % 6) * 90,
                                8 + (made / 6) * 28, 84, 22, window,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(1000 + made)), instance, nullptr);
            SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        }
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
