// The tray icon: what it hands the shell, how it hides the window instead of
// minimizing it and brings it back on a click, its options, the hint, the
// monitor and the taskbar's re-creation, logoff, and its end.
//
// The notification area is played by the test: Shell_NotifyIconA looks for
// the taskbar window by its class "Shell_TrayWnd" and hands it the record in
// a WM_COPYDATA message whose answer is the call's result. Wine's null display
// driver has no taskbar of its own (every call fails there), so a window of
// that class in this process sees every call the component makes, with the
// real record, and can refuse one as a restarted shell would.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "LoopbackServer.h"
#include "SettingsSupport.h"
#include "Teskaprs1.h"
#include "TestSupport.h"
#include "rtl/Application.h"
#include "rtl/Clock.h"
#include "rtl/Exceptions.h"
#include "rtl/Utf.h"
#include "ui/abctray.h"
#include "upload/UploadLog.h"

namespace {

using testsupport::WindowText;
using ui::TabcTrayIcon;
using ui::TabcTrayIconOptions;
using namespace ui;  // the option and button names

// ------------------------------------------------------------ the shell

class FakeNotificationArea {
public:
    struct Call {
        DWORD op;  // NIM_ADD, NIM_MODIFY, NIM_DELETE, NIM_SETVERSION, NIM_SETFOCUS
        LONG hwnd;
        UINT id;
        UINT flags;
        UINT callback;
        std::string tip, info, infoTitle;  // info: the balloon's text
        UINT version;
        DWORD infoFlags;
    };

    FakeNotificationArea() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &FakeNotificationArea::WndProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "Shell_TrayWnd";
        RegisterClassA(&wc);
        hwnd_ = CreateWindowExA(0, "Shell_TrayWnd", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~FakeNotificationArea() {
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    FakeNotificationArea(const FakeNotificationArea&) = delete;
    FakeNotificationArea& operator=(const FakeNotificationArea&) = delete;

    // Only where the shell speaks this way (Wine) and no real taskbar is there.
    static bool Usable() {
        HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        return ntdll && GetProcAddress(ntdll, "wine_get_version") && !FindWindowA("Shell_TrayWnd", nullptr);
    }

    std::vector<Call> calls;
    std::deque<BOOL> answers;  // the next answers; TRUE once they run out

    std::vector<DWORD> Ops() const {
        std::vector<DWORD> ops;
        for (const Call& c : calls) ops.push_back(c.op);
        return ops;
    }
    // The calls about one window's icon.
    std::vector<DWORD> OpsFor(HWND hwnd, UINT id) const {
        std::vector<DWORD> ops;
        for (const Call& c : calls)
            if (c.hwnd == static_cast<LONG>(reinterpret_cast<LONG_PTR>(hwnd)) && c.id == id) ops.push_back(c.op);
        return ops;
    }

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<FakeNotificationArea*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (msg != WM_COPYDATA || !self) return DefWindowProcA(hwnd, msg, wp, lp);
        const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lp);
        // Wine's record: window (32 bits), identifier, flags, callback
        // message, the tip as 128 wide characters, then the later forms'
        // fields (the balloon's text, the version, its title and flags).
        struct Head {
            LONG hwnd;
            UINT id, flags, callback;
            WCHAR tip[128];
            DWORD state, stateMask;
            WCHAR info[256];
            UINT version;
            WCHAR infoTitle[64];
            DWORD infoFlags;
        };
        if (copy->cbData < sizeof(Head)) return FALSE;
        const auto* head = static_cast<const Head*>(copy->lpData);
        auto narrow = [](const WCHAR* wide) {
            char text[512] = {};
            WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, sizeof text - 1, nullptr, nullptr);
            return std::string(text);
        };
        self->calls.push_back(Call{static_cast<DWORD>(copy->dwData), head->hwnd, head->id, head->flags,
                                   head->callback, narrow(head->tip), narrow(head->info), narrow(head->infoTitle),
                                   head->version, head->infoFlags});
        if (self->answers.empty()) return TRUE;
        const BOOL answer = self->answers.front();
        self->answers.pop_front();
        return answer;
    }

    HWND hwnd_ = nullptr;
};

// Each icon added asks for version 4 at once.
const std::vector<DWORD> kAdd{NIM_ADD, NIM_SETVERSION}, kDelete{NIM_DELETE};
const std::vector<DWORD> kReAdd{NIM_DELETE, NIM_ADD, NIM_SETVERSION};

// A plain top-level window owned by the application window, as a form is.
class PlainForm {
public:
    explicit PlainForm(bool withClassIcon = false) {
        const char* cls = withClassIcon ? "TrayTestFormWithIcon" : "TrayTestForm";
        WNDCLASSA wc{};
        if (!GetClassInfoA(GetModuleHandleA(nullptr), cls, &wc)) {
            wc = WNDCLASSA{};
            wc.lpfnWndProc = DefWindowProcA;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = cls;
            if (withClassIcon) wc.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_QUESTION));
            RegisterClassA(&wc);
        }
        hwnd = CreateWindowExA(0, cls, "Plain form", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 10, 10,
                               200, 100, rtl::Application().Handle(), nullptr, GetModuleHandleA(nullptr), nullptr);
        rtl::Application().WatchForm(hwnd);
    }
    ~PlainForm() {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
    }
    PlainForm(const PlainForm&) = delete;
    PlainForm& operator=(const PlainForm&) = delete;
    HWND hwnd = nullptr;
};

// A window of its own, not owned by the application: "somewhere else".
HWND MakeOtherWindow() {
    HWND other = CreateWindowExA(0, "STATIC", "Other", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 300, 300, 120, 80,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(other);
    return other;
}

// What the shell sends for an event. With version 4: the event and the icon
// in lParam, the point (kAnchor) in wParam, and a left or right release
// followed by the shell's own select or menu event, as Wine and Windows do.
const POINT kAnchor{321, 45};
LRESULT Callback(TabcTrayIcon& tray, UINT event) {
    auto send = [&](UINT e) {
        if (tray.ShellVersion() != NOTIFYICON_VERSION_4)
            return SendMessageA(tray.FormHandle(), TabcTrayIcon::kCallbackMessage, tray.Identifier(), e);
        return SendMessageA(tray.FormHandle(), TabcTrayIcon::kCallbackMessage, MAKEWPARAM(kAnchor.x, kAnchor.y),
                            MAKELPARAM(e, tray.Identifier()));
    };
    const LRESULT result = send(event);
    if (tray.ShellVersion() == NOTIFYICON_VERSION_4 && (event == WM_LBUTTONUP || event == WM_RBUTTONUP))
        send(event == WM_LBUTTONUP ? NIN_SELECT : WM_CONTEXTMENU);
    return result;
}

SIZE IconSize(HICON icon) {
    ICONINFO info{};
    SIZE size{0, 0};
    if (!GetIconInfo(icon, &info)) return size;
    BITMAP bm{};
    GetObjectA(info.hbmMask, sizeof bm, &bm);
    size.cx = bm.bmWidth;
    size.cy = info.hbmColor ? bm.bmHeight : bm.bmHeight / 2;
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return size;
}

// ------------------------------------------------------------ the component

// The application window exists before any form is built (forms are owned by it).
struct ApplicationReady {
    ApplicationReady() { testsupport::InitApplication(); }
};

class TrayComponentTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::InitApplication();
        rtl::Application().SetShowMainForm(true);
        if (!FakeNotificationArea::Usable()) GTEST_SKIP() << "a real taskbar is there, or not Wine's shell";
        shell = std::make_unique<FakeNotificationArea>();
    }
    void TearDown() override {
        tray.reset();
        shell.reset();
        rtl::Application().ProcessMessages();  // nothing left for the next test
        rtl::Application().ResetTerminated();
        EXPECT_TRUE(errors.shown.empty()) << errors.shown.front().second;
    }
    // A component on the form, set up as the window does it.
    void MakeTray(TabcTrayIconOptions options, bool load = true) {
        tray = std::make_unique<TabcTrayIcon>(form.hwnd);
        tray->SetOptions(options);
        if (load) tray->Loaded();
    }

    ApplicationReady ready;
    testsupport::ErrorRecorder errors;
    std::unique_ptr<FakeNotificationArea> shell;
    PlainForm form;
    std::unique_ptr<TabcTrayIcon> tray;
};

TEST_F(TrayComponentTest, MustBeOwnedByAFormOrAControlOnOne) {
    HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, form.hwnd, nullptr, nullptr, nullptr);
    HWND grandchild = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 5, 5, child, nullptr, nullptr, nullptr);
    struct Case {
        const char* what;
        HWND owner;
        HWND form;  // nullptr: refused
    };
    const Case cases[] = {
        {"the form", form.hwnd, form.hwnd},
        {"a control on the form", child, form.hwnd},
        {"a control on a control", grandchild, nullptr},
        {"no window", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.form) {
            TabcTrayIcon component(c.owner);
            EXPECT_EQ(component.FormHandle(), c.form);
        } else {
            EXPECT_EQ(testsupport::MessageOf<rtl::Exception>([&] { TabcTrayIcon component(c.owner); }),
                      "This component must be owned by a TForm");
        }
    }
    EXPECT_TRUE(shell->calls.empty()) << "nothing is added before the set-up";
}

TEST_F(TrayComponentTest, AddIconHandsTheShellTheFirstFormOfTheRecord) {
    MakeTray({atiShowOnClick, atiTerminateOnLogoff}, false);
    tray->SetHint("Waiting");
    EXPECT_FALSE(tray->Shown());
    tray->Loaded();
    ASSERT_EQ(shell->Ops(), kAdd);
    const FakeNotificationArea::Call& add = shell->calls[0];
    EXPECT_EQ(add.hwnd, static_cast<LONG>(reinterpret_cast<LONG_PTR>(form.hwnd)));
    EXPECT_EQ(add.id, tray->Identifier());
    EXPECT_EQ(add.flags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP));
    EXPECT_EQ(add.callback, 28679u);
    EXPECT_EQ(add.tip, "Waiting");
    EXPECT_EQ(shell->calls[1].version, 4u);
    EXPECT_EQ(tray->ShellVersion(), 4u);
    const NOTIFYICONDATAW& record = tray->NotifyData();
    EXPECT_EQ(record.cbSize, static_cast<DWORD>(NOTIFYICONDATAW_V1_SIZE));
    EXPECT_EQ(record.hWnd, form.hwnd);
    EXPECT_EQ(record.uCallbackMessage, 28679u);
    EXPECT_TRUE(tray->Shown());

    // Adding again while shown does nothing; a second component has an
    // identifier of its own.
    tray->AddIcon();
    EXPECT_EQ(shell->Ops(), kAdd);
    TabcTrayIcon second(form.hwnd);
    EXPECT_NE(second.Identifier(), tray->Identifier());
}

TEST_F(TrayComponentTest, TheIconIsTheFirstThatExistsOfOwnFormApplicationSystem) {
    PlainForm withClassIcon(true);
    HICON own = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_WARNING));
    HICON setOnWindow = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_INFORMATION));
    HICON appIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_ERROR));
    HICON systemIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    // The class's small icon when the system keeps one, else its icon.
    HICON classIcon = reinterpret_cast<HICON>(GetClassLongPtrA(withClassIcon.hwnd, GCLP_HICONSM));
    if (!classIcon) classIcon = reinterpret_cast<HICON>(GetClassLongPtrA(withClassIcon.hwnd, GCLP_HICON));
    ASSERT_NE(classIcon, nullptr);
    const HICON savedAppIcon = rtl::Application().Icon();

    enum Expect { Own, OnWindow, Class, App, System };
    struct Case {
        const char* what;
        bool ownIcon;
        bool windowIcon;
        bool classIcon;
        bool appIcon;
        Expect expect;
    };
    const Case cases[] = {
        {"own icon first", true, true, true, true, Own},
        {"then the icon set on the form", false, true, true, true, OnWindow},
        {"then the form's class icon", false, false, true, true, Class},
        {"then the application's", false, false, false, true, App},
        {"then the system's", false, false, false, false, System},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PlainForm plain;
        HWND target = c.classIcon ? withClassIcon.hwnd : plain.hwnd;
        SendMessageA(target, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(c.windowIcon ? setOnWindow : nullptr));
        rtl::Application().SetIcon(c.appIcon ? appIcon : nullptr);
        TabcTrayIcon component(target);
        if (c.ownIcon) component.SetIcon(own);
        component.Loaded();
        const HICON shown = component.NotifyData().hIcon;
        switch (c.expect) {
        case Own:
            EXPECT_EQ(shown, component.Icon());
            EXPECT_NE(shown, own) << "the component keeps a copy";
            break;
        case OnWindow: EXPECT_EQ(shown, setOnWindow); break;
        case Class: EXPECT_EQ(shown, classIcon); break;
        case App: EXPECT_EQ(shown, appIcon); break;
        case System: EXPECT_EQ(shown, systemIcon); break;
        }
        SendMessageA(target, WM_SETICON, ICON_SMALL, 0);
    }
    rtl::Application().SetIcon(savedAppIcon);
}

TEST_F(TrayComponentTest, OwnIconIsHeldAtTheSmallIconSizeAndChangesTheShownIcon) {
    MakeTray({atiTerminateOnLogoff});
    HICON big = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_WARNING));
    shell->calls.clear();
    tray->SetIcon(big);
    const SIZE size = IconSize(tray->Icon());
    EXPECT_EQ(size.cx, GetSystemMetrics(SM_CXSMICON));
    EXPECT_EQ(size.cy, GetSystemMetrics(SM_CYSMICON));
    EXPECT_EQ(shell->Ops(), std::vector<DWORD>{NIM_MODIFY}) << "the shown icon changes at once";
    EXPECT_EQ(tray->NotifyData().hIcon, tray->Icon());
}

TEST_F(TrayComponentTest, OptionRules) {
    using O = TabcTrayIconOptions;
    struct Case {
        const char* what;
        O before, set, after;
    };
    const O logoff{atiTerminateOnLogoff};
    const Case cases[] = {
        {"click replaces double click", {atiShowOnDblClick, atiTerminateOnLogoff},
         {atiShowOnClick, atiShowOnDblClick, atiTerminateOnLogoff}, {atiShowOnClick, atiTerminateOnLogoff}},
        {"double click replaces click", {atiShowOnClick, atiTerminateOnLogoff},
         {atiShowOnClick, atiShowOnDblClick, atiTerminateOnLogoff}, {atiShowOnDblClick, atiTerminateOnLogoff}},
        {"menu default replaces double click", {atiShowOnDblClick, atiTerminateOnLogoff},
         {atiShowOnDblClick, atiMenuDefaultOnDblClick, atiTerminateOnLogoff},
         {atiMenuDefaultOnDblClick, atiTerminateOnLogoff}},
        {"double click replaces menu default", {atiMenuDefaultOnDblClick, atiTerminateOnLogoff},
         {atiShowOnDblClick, atiMenuDefaultOnDblClick, atiTerminateOnLogoff},
         {atiShowOnDblClick, atiTerminateOnLogoff}},
        {"all three after double click", {atiShowOnDblClick, atiTerminateOnLogoff},
         {atiShowOnClick, atiShowOnDblClick, atiMenuDefaultOnDblClick, atiTerminateOnLogoff},
         {atiShowOnClick, atiMenuDefaultOnDblClick, atiTerminateOnLogoff}},
        {"all three after none", logoff,
         {atiShowOnClick, atiShowOnDblClick, atiMenuDefaultOnDblClick, atiTerminateOnLogoff},
         {atiShowOnDblClick, atiTerminateOnLogoff}},
        {"no logoff option: the service takes its place", logoff, {atiHideApp}, {atiHideApp, atiWin95Service}},
        {"dropping the service brings logoff back", {atiWin95Service}, {atiHideApp},
         {atiHideApp, atiTerminateOnLogoff}},
        {"both may be set", logoff, {atiWin95Service, atiTerminateOnLogoff}, {atiWin95Service, atiTerminateOnLogoff}},
        {"the empty set", logoff, {}, {atiWin95Service}},
        {"the window's set stands", {atiShowOnDblClick, atiHideApp, atiHideOnClose, atiTerminateOnLogoff},
         {atiShowOnClick, atiHideApp, atiHideOnMinimize, atiTerminateOnLogoff, atiMonitorTray},
         {atiShowOnClick, atiHideApp, atiHideOnMinimize, atiTerminateOnLogoff, atiMonitorTray}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TabcTrayIcon component(form.hwnd);
        component.SetOptions(c.before);
        ASSERT_EQ(component.Options().Bits(), c.before.Bits()) << "a starting set the rules keep";
        component.SetOptions(c.set);
        EXPECT_EQ(component.Options().Bits(), c.after.Bits());
    }
    // The default set, as a component starts out.
    TabcTrayIcon fresh(form.hwnd);
    EXPECT_EQ(fresh.Options(), (O{atiShowOnDblClick, atiHideApp, atiHideOnClose, atiTerminateOnLogoff}));
    // The bit field: bit n for the n-th option.
    EXPECT_EQ((O{atiShowOnClick, atiMonitorTray}).Bits(), 1u | 1u << 8);
}

TEST_F(TrayComponentTest, MonitorFollowsTheOptionWhileTheIconIsShown) {
    MakeTray({atiTerminateOnLogoff, atiMonitorTray}, false);
    EXPECT_FALSE(tray->MonitorRunning()) << "off until the icon is there";
    tray->Loaded();
    EXPECT_TRUE(tray->MonitorRunning());
    tray->SetOptions({atiTerminateOnLogoff});
    EXPECT_FALSE(tray->MonitorRunning());
    tray->SetOptions({atiTerminateOnLogoff, atiMonitorTray});
    EXPECT_TRUE(tray->MonitorRunning());
}

TEST_F(TrayComponentTest, MouseMessagesCallTheirEvents) {
    MakeTray({atiTerminateOnLogoff});  // no click options: nothing is restored
    std::vector<std::string> seen;
    const char* names[] = {"left", "right", "middle"};
    tray->OnMouseDown = [&](TabcTrayIcon* s, TMouseButton b, TShiftState shift, int x, int y) {
        EXPECT_EQ(s, tray.get());
        EXPECT_EQ(shift, 0u);
        EXPECT_EQ(x, tray->CursorPos().x);
        EXPECT_EQ(y, tray->CursorPos().y);
        seen.push_back(std::string("down ") + names[b]);
    };
    tray->OnMouseUp = [&](TabcTrayIcon*, TMouseButton b, TShiftState, int, int) {
        seen.push_back(std::string("up ") + names[b]);
    };
    tray->OnMouseMove = [&](TabcTrayIcon*, TShiftState, int, int) { seen.push_back("move"); };
    tray->OnClick = [&](TabcTrayIcon*) { seen.push_back("click"); };
    tray->OnDblClick = [&](TabcTrayIcon*) { seen.push_back("double"); };
    POINT popupAt{};
    tray->OnContextPopup = [&](TabcTrayIcon*, POINT at, bool& handled) {
        seen.push_back("context");
        popupAt = at;
        handled = true;
    };
    struct Case {
        UINT message;
        std::vector<std::string> events;
        std::optional<std::vector<std::string>> version4 = {};  // where version 4 differs
    };
    const Case cases[] = {
        {WM_MOUSEMOVE, {"move"}},
        {WM_LBUTTONDOWN, {"down left"}},
        {WM_LBUTTONUP, {"up left", "click"}},
        {WM_LBUTTONDBLCLK, {"double"}},
        {WM_RBUTTONDOWN, {"down right"}},
        {WM_RBUTTONUP, {"up right", "context", "click"}},
        {WM_RBUTTONDBLCLK, {"double"}},
        {WM_MBUTTONDOWN, {"down middle"}},
        {WM_MBUTTONUP, {"up middle", "click"}},
        {WM_MBUTTONDBLCLK, {"double"}},
        {WM_KEYDOWN, {}},
        {WM_CONTEXTMENU, {}, {{"context", "click"}}},  // the menu key, Shift+F10
        {NIN_SELECT, {}, {{"click"}}},
        {NIN_KEYSELECT, {}, {{"click"}}},  // Enter, Space
    };
    for (UINT version : {4u, 0u}) {
        // Then a shell that refuses version 4: the old callbacks.
        if (!version) {
            shell->answers = {TRUE, FALSE};
            tray->SetVisible(false);
            tray->SetVisible(true);
        }
        ASSERT_EQ(tray->ShellVersion(), version);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(c.message) + " version " + std::to_string(version));
            seen.clear();
            EXPECT_EQ(Callback(*tray, c.message), 0);
            EXPECT_EQ(seen, version && c.version4 ? *c.version4 : c.events);
        }
        // The menu opens at the point the shell gave (for the keyboard, the icon's).
        EXPECT_TRUE(!version || (popupAt.x == kAnchor.x && popupAt.y == kAnchor.y));
    }
    // The cursor position is read at each callback.
    POINT now{};
    GetCursorPos(&now);
    Callback(*tray, WM_MOUSEMOVE);
    EXPECT_EQ(tray->CursorPos().x, now.x);
    EXPECT_EQ(tray->CursorPos().y, now.y);
    // A callback for another icon is not this component's.
    seen.clear();
    SendMessageA(form.hwnd, TabcTrayIcon::kCallbackMessage, tray->Identifier() + 1000, WM_LBUTTONUP);
    EXPECT_TRUE(seen.empty());
}

TEST_F(TrayComponentTest, ClickOptionsDecideWhichClickRestores) {
    struct Case {
        const char* what;
        TabcTrayIconOptions options;
        UINT message;
        bool restores;
    };
    const Case cases[] = {
        {"click option, click", {atiShowOnClick, atiTerminateOnLogoff}, WM_LBUTTONUP, true},
        {"click option, double click", {atiShowOnClick, atiTerminateOnLogoff}, WM_LBUTTONDBLCLK, false},
        {"double-click option, click", {atiShowOnDblClick, atiTerminateOnLogoff}, WM_LBUTTONUP, false},
        {"double-click option, double click", {atiShowOnDblClick, atiTerminateOnLogoff}, WM_LBUTTONDBLCLK, true},
        {"click option, right click", {atiShowOnClick, atiTerminateOnLogoff}, WM_RBUTTONUP, false},
        {"click option, middle click", {atiShowOnClick, atiTerminateOnLogoff}, WM_MBUTTONUP, false},
        {"click option, left down only", {atiShowOnClick, atiTerminateOnLogoff}, WM_LBUTTONDOWN, false},
        {"click option, key select", {atiShowOnClick, atiTerminateOnLogoff}, NIN_KEYSELECT, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tray.reset();
        ShowWindow(form.hwnd, SW_HIDE);
        MakeTray(c.options);
        Callback(*tray, c.message);
        EXPECT_EQ(IsWindowVisible(form.hwnd) != FALSE, c.restores);
    }
}

TEST_F(TrayComponentTest, DoubleClickRunsTheMenusDefaultItem) {
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, 41, "Open");
    AppendMenuA(menu, MF_STRING, 42, "Exit");
    SetMenuDefaultItem(menu, 41, FALSE);
    MakeTray({atiMenuDefaultOnDblClick, atiTerminateOnLogoff});
    tray->SetPopupMenu(menu);
    Callback(*tray, WM_LBUTTONDBLCLK);
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, form.hwnd, WM_COMMAND, WM_COMMAND, PM_REMOVE)) << "the default item is clicked";
    EXPECT_EQ(LOWORD(msg.wParam), 41);
    EXPECT_FALSE(IsWindowVisible(form.hwnd));
    // With an item event, the item goes there instead.
    std::vector<UINT> chosen;
    tray->OnMenuItemClick = [&](TabcTrayIcon*, UINT item) { chosen.push_back(item); };
    Callback(*tray, WM_LBUTTONDBLCLK);
    EXPECT_EQ(chosen, std::vector<UINT>{41});
    EXPECT_FALSE(PeekMessageA(&msg, form.hwnd, WM_COMMAND, WM_COMMAND, PM_REMOVE));
    // The right click's menu stays away when the context event handles it.
    bool asked = false;
    tray->OnContextPopup = [&](TabcTrayIcon*, POINT at, bool& handled) {
        asked = true;
        EXPECT_EQ(at.x, tray->CursorPos().x);
        handled = true;
    };
    Callback(*tray, WM_RBUTTONUP);
    EXPECT_TRUE(asked);
    tray.reset();
    DestroyMenu(menu);
}

TEST_F(TrayComponentTest, ABalloonIsHandedToTheShellAndRecordedWhereItIsShown) {
    MakeTray({atiTerminateOnLogoff});
    std::vector<std::string> shown;
    tray->OnBalloonShown = [&](const std::string& text) { shown.push_back(text); };
    const std::string warning = "No upload since 12:34: no server answered", longText(300, 'x');
    // The text, the shell's answer, whether the icon is there, what is recorded ("": none).
    const std::tuple<std::string, BOOL, bool, std::string> cases[] = {
        {warning, TRUE, true, warning}, {longText, TRUE, true, longText.substr(0, 255)},
        {"refused", FALSE, true, ""},   {"", TRUE, true, ""},
        {"icon not shown", TRUE, false, ""}};
    for (const auto& [text, answer, iconShown, recorded] : cases) {
        SCOPED_TRACE(text);
        tray->SetVisible(iconShown);
        shell->calls.clear();
        shown.clear();
        shell->answers = {answer};
        EXPECT_EQ(tray->ShowBalloon(text), !recorded.empty());
        EXPECT_EQ(shown, recorded.empty() ? std::vector<std::string>{} : std::vector<std::string>{recorded});
        if (text.empty() || !iconShown) {
            EXPECT_TRUE(shell->calls.empty());
            continue;
        }
        ASSERT_EQ(shell->Ops(), std::vector<DWORD>{NIM_MODIFY});
        const FakeNotificationArea::Call& call = shell->calls[0];
        EXPECT_EQ(call.flags, tray->NotifyData().uFlags | NIF_INFO) << "the icon's record, and the balloon";
        EXPECT_EQ(call.info + "|" + call.infoTitle, text.substr(0, 255) + "|Teskaprs");
        EXPECT_EQ(call.infoFlags, static_cast<DWORD>(NIIF_WARNING | NIIF_RESPECT_QUIET_TIME));
    }
}

TEST_F(TrayComponentTest, VisibleAddsAndDeletesButOnlyStoresWhileLoading) {
    MakeTray({atiTerminateOnLogoff}, false);
    tray->SetVisible(false);
    tray->SetVisible(true);
    tray->SetVisible(false);
    EXPECT_TRUE(shell->calls.empty()) << "while loading only the value is kept";
    tray->Loaded();
    EXPECT_TRUE(shell->calls.empty()) << "not visible: no icon";
    EXPECT_FALSE(tray->Shown());
    tray->SetVisible(true);
    EXPECT_EQ(shell->Ops(), kAdd);
    EXPECT_TRUE(tray->Shown());
    shell->calls.clear();
    tray->SetVisible(false);
    EXPECT_EQ(shell->Ops(), kDelete);
    EXPECT_FALSE(tray->Shown());
    shell->calls.clear();
    tray->DeleteIcon();
    EXPECT_TRUE(shell->calls.empty()) << "nothing to delete";
}

TEST_F(TrayComponentTest, MonitorPutsBackAnIconTheShellLostOrRefused) {
    MakeTray({atiTerminateOnLogoff, atiMonitorTray}, false);
    tray->SetMonitorInterval(50);
    shell->answers = {FALSE};  // the add is refused
    tray->Loaded();
    EXPECT_TRUE(tray->Shown()) << "a refused add still counts as shown";
    // The next check finds the icon missing and adds it again; then the
    // shell loses it (a modify fails) and it comes back once more.
    shell->answers = {FALSE, TRUE, TRUE, TRUE, TRUE, FALSE};
    const ULONGLONG until = GetTickCount64() + 3000;
    while (shell->calls.size() < 11 && GetTickCount64() < until) rtl::PumpMessagesFor(20);
    const std::vector<DWORD> expected{NIM_ADD,    NIM_MODIFY, NIM_DELETE, NIM_ADD,        NIM_SETVERSION, NIM_MODIFY,
                                      NIM_MODIFY, NIM_DELETE, NIM_ADD,    NIM_SETVERSION, NIM_MODIFY};
    std::vector<DWORD> ops = shell->Ops();
    ASSERT_GE(ops.size(), expected.size());
    ops.resize(expected.size());
    EXPECT_EQ(ops, expected);
    EXPECT_TRUE(tray->Shown());
    EXPECT_TRUE(tray->MonitorRunning());
}

TEST_F(TrayComponentTest, ARecreatedTaskbarGetsTheIconBack) {
    const UINT taskbarCreated = TabcTrayIcon::TaskbarCreatedMessage();
    // The shell's browser left its version behind under Wine, so the
    // message is listened for.
    ASSERT_NE(taskbarCreated, 0u);
    EXPECT_EQ(taskbarCreated, RegisterWindowMessageA("TaskbarCreated"));
    MakeTray({atiTerminateOnLogoff});
    shell->calls.clear();
    SendMessageA(rtl::Application().Handle(), taskbarCreated, 0, 0);
    EXPECT_EQ(shell->Ops(), kReAdd);
    EXPECT_TRUE(tray->Shown());

    // An icon that is not to be visible stays away.
    tray->SetVisible(false);
    shell->calls.clear();
    SendMessageA(rtl::Application().Handle(), taskbarCreated, 0, 0);
    EXPECT_TRUE(shell->calls.empty());

    // Every component gets its icon back, not only the first.
    tray->SetVisible(true);
    PlainForm otherForm;
    TabcTrayIcon second(otherForm.hwnd);
    second.Loaded();
    shell->calls.clear();
    SendMessageA(rtl::Application().Handle(), taskbarCreated, 0, 0);
    EXPECT_EQ(shell->OpsFor(form.hwnd, tray->Identifier()), kReAdd);
    EXPECT_EQ(shell->OpsFor(otherForm.hwnd, second.Identifier()), kReAdd);
}

TEST_F(TrayComponentTest, LogoffEndsTheApplicationOnlyWithTheOption) {
    const HWND app = rtl::Application().Handle();
    const LPARAM logoff = static_cast<LPARAM>(ENDSESSION_LOGOFF);
    struct Case {
        bool terminateOnLogoff;
        bool ends;
    };
    for (const Case& c : {Case{true, true}, Case{false, false}}) {
        SCOPED_TRACE(c.terminateOnLogoff ? "with atiTerminateOnLogoff" : "without it");
        tray.reset();
        rtl::Application().ResetTerminated();
        MakeTray(c.terminateOnLogoff ? TabcTrayIconOptions{atiTerminateOnLogoff}
                                     : TabcTrayIconOptions{atiWin95Service});
        EXPECT_EQ(tray->Options().Contains(atiTerminateOnLogoff), c.terminateOnLogoff);
        EXPECT_NE(SendMessageA(app, WM_QUERYENDSESSION, 0, logoff), 0) << "the logoff may go on";
        SendMessageA(app, WM_ENDSESSION, TRUE, logoff);
        EXPECT_EQ(rtl::Application().Terminating(), c.ends);
        rtl::Application().ProcessMessages();
        EXPECT_EQ(rtl::Application().Terminated(), c.ends);
        // A shutdown (not a logoff) ends the application either way.
        rtl::Application().ResetTerminated();
        SendMessageA(app, WM_ENDSESSION, TRUE, 0);
        rtl::Application().ProcessMessages();
        EXPECT_TRUE(rtl::Application().Terminated());
        EXPECT_FALSE(tray->Shown()) << "the icon leaves with the quit";
        rtl::Application().ResetTerminated();
    }
}

TEST_F(TrayComponentTest, AnotherUserBringsTheIconBackAfterASecondUnlessTheApplicationEnds) {
    for (bool terminateOnLogoff : {false, true}) {
        SCOPED_TRACE(terminateOnLogoff ? "with atiTerminateOnLogoff" : "without it");
        tray.reset();
        MakeTray(terminateOnLogoff ? TabcTrayIconOptions{atiTerminateOnLogoff} : TabcTrayIconOptions{});
        shell->calls.clear();
        SendMessageA(rtl::Application().Handle(), WM_USERCHANGED, 0, 0);
        const ULONGLONG start = GetTickCount64();
        rtl::PumpMessagesFor(300);
        if (terminateOnLogoff) {
            EXPECT_TRUE(shell->calls.empty());
            continue;
        }
        EXPECT_EQ(shell->Ops(), kDelete) << "deleted at once";
        EXPECT_FALSE(tray->Shown());
        while (shell->calls.size() < 3 && GetTickCount64() - start < 3000) rtl::PumpMessagesFor(50);
        EXPECT_EQ(shell->Ops(), kReAdd);
        EXPECT_GE(GetTickCount64() - start, 950u) << "added again after a second";
        EXPECT_TRUE(tray->Shown());
    }
    // While the application ends, the icon is not put back.
    tray.reset();
    MakeTray({});
    shell->calls.clear();
    SendMessageA(rtl::Application().Handle(), WM_USERCHANGED, 0, 0);
    rtl::Application().Terminate();
    rtl::PumpMessagesFor(1500);
    EXPECT_EQ(shell->Ops(), kDelete) << "only the quit's delete";
    rtl::Application().ResetTerminated();
}

TEST_F(TrayComponentTest, HideOnCloseKeepsTheWindowOtherwiseTheFormCloses) {
    MakeTray({atiHideOnClose, atiTerminateOnLogoff});
    ShowWindow(form.hwnd, SW_SHOW);
    SendMessageA(form.hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(form.hwnd));
    EXPECT_FALSE(IsWindowVisible(form.hwnd));

    tray->SetOptions({atiTerminateOnLogoff});
    SendMessageA(form.hwnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(form.hwnd)) << "the form's own handling ran (the plain form is destroyed)";
    EXPECT_FALSE(tray->Hooked());
}

TEST_F(TrayComponentTest, HooksFollowTheFormOntoItsNewWindow) {
    auto current = std::make_unique<PlainForm>();
    HWND now = current->hwnd;
    tray = std::make_unique<TabcTrayIcon>(now, [&] { return now; });
    tray->SetOptions({atiHideOnMinimize, atiTerminateOnLogoff});
    tray->Loaded();
    ASSERT_TRUE(tray->Hooked());

    // The form re-creates its window: the old one goes, a new one comes.
    auto next = std::make_unique<PlainForm>();
    current.reset();
    EXPECT_FALSE(tray->Hooked());
    now = next->hwnd;
    rtl::Application().ProcessMessages();  // the request to hook again
    EXPECT_TRUE(tray->Hooked());
    EXPECT_EQ(tray->FormHandle(), next->hwnd);
    ShowWindow(next->hwnd, SW_SHOW);
    SendMessageA(next->hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_FALSE(IsWindowVisible(next->hwnd)) << "the new window hides to the tray";
    EXPECT_FALSE(IsIconic(next->hwnd));

    // A request left over from a component that is gone reaches nobody.
    auto third = std::make_unique<PlainForm>();
    now = third->hwnd;
    next.reset();
    tray.reset();
    rtl::Application().ProcessMessages();
    EXPECT_TRUE(errors.shown.empty());
}

TEST_F(TrayComponentTest, DestructionRemovesTheIconAndBothHooks) {
    MakeTray({atiHideOnMinimize, atiTerminateOnLogoff});
    const UINT id = tray->Identifier();
    shell->calls.clear();
    tray.reset();
    EXPECT_EQ(shell->Ops(), kDelete);
    EXPECT_EQ(shell->calls[0].id, id);
    // The form's messages reach the form itself again.
    ShowWindow(form.hwnd, SW_SHOW);
    SendMessageA(form.hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(IsIconic(form.hwnd)) << "minimized as any window";
    ShowWindow(form.hwnd, SW_RESTORE);
    // And the application's: the re-created taskbar finds no icon to re-add.
    shell->calls.clear();
    SendMessageA(rtl::Application().Handle(), TabcTrayIcon::TaskbarCreatedMessage(), 0, 0);
    EXPECT_TRUE(shell->calls.empty());
}

TEST_F(TrayComponentTest, AnimationStepsThroughTheImages) {
    HIMAGELIST images = ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                         ILC_COLOR32 | ILC_MASK, 3, 0);
    for (LPCSTR id : {IDI_WARNING, IDI_ERROR, IDI_INFORMATION})
        ImageList_AddIcon(images, LoadIconA(nullptr, reinterpret_cast<LPCSTR>(id)));
    ASSERT_EQ(ImageList_GetImageCount(images), 3);
    MakeTray({atiTerminateOnLogoff});

    // Outside the list the icon stays; inside, the image becomes the icon.
    HICON before = tray->Icon();
    tray->SetImages(images);
    tray->SetImageIndex(7);
    EXPECT_EQ(tray->Icon(), before);
    tray->SetImageIndex(1);
    EXPECT_NE(tray->Icon(), before);
    EXPECT_EQ(IconSize(tray->Icon()).cx, GetSystemMetrics(SM_CXSMICON));

    // A list with no more images than the index resets it.
    HIMAGELIST one = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 0);
    ImageList_AddIcon(one, LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_ERROR)));
    tray->SetImageIndex(2);
    tray->SetImages(one);
    EXPECT_EQ(tray->ImageIndex(), -1);

    // Animated: every interval the next image, wrapping to the first.
    tray->SetImages(images);
    tray->SetImageIndex(1);
    tray->SetAnimateInterval(40);
    std::vector<int> indexes;
    int last = tray->ImageIndex();
    shell->calls.clear();
    tray->SetAnimated(true);
    const ULONGLONG until = GetTickCount64() + 3000;
    while (indexes.size() < 4 && GetTickCount64() < until) {
        rtl::PumpMessagesFor(10);
        if (tray->ImageIndex() != last) indexes.push_back(last = tray->ImageIndex());
    }
    tray->SetAnimated(false);
    EXPECT_EQ(indexes, (std::vector<int>{2, 0, 1, 2}));
    EXPECT_GE(shell->calls.size(), 4u);
    for (const auto& call : shell->calls) EXPECT_EQ(call.op, static_cast<DWORD>(NIM_MODIFY));
    tray.reset();
    ImageList_Destroy(one);
    ImageList_Destroy(images);
}

// ------------------------------------------------------------ the window

class TrayWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::InitApplication();
        testsupport::ForgetSavedSettings();
        if (!FakeNotificationArea::Usable()) GTEST_SKIP() << "a real taskbar is there, or not Wine's shell";
        shell = std::make_unique<FakeNotificationArea>();
    }
    void Build() {
        form = std::make_unique<TForm1>();
        rtl::Application().SetMainForm(form->Handle());
    }
    void TearDown() override {
        rtl::Application().SetMainForm(nullptr);
        form.reset();
        shell.reset();
        if (other) DestroyWindow(other);
        rtl::Application().ProcessMessages();
        rtl::Application().ResetTerminated();
        testsupport::ForgetSavedSettings();
        EXPECT_TRUE(errors.shown.empty()) << errors.shown.front().second;
    }
    TabcTrayIcon& Tray() { return *form->abcTrayIcon1; }
    HWND App() const { return rtl::Application().Handle(); }

    testsupport::ErrorRecorder errors;
    std::unique_ptr<FakeNotificationArea> shell;
    std::unique_ptr<TForm1> form;
    HWND other = nullptr;
};

TEST_F(TrayWindowTest, TheWindowsTrayIconAsItIsSetUp) {
    Build();
    EXPECT_TRUE(errors.shown.empty());
    TabcTrayIcon& tray = Tray();
    const TabcTrayIconOptions windowOptions{atiShowOnClick, atiHideApp, atiHideOnMinimize, atiTerminateOnLogoff,
                                            atiMonitorTray};
    EXPECT_EQ(tray.Options(), windowOptions);
    EXPECT_EQ(tray.MonitorInterval(), 5000u);
    EXPECT_EQ(tray.AnimateInterval(), 700u);
    EXPECT_FALSE(tray.Animated());
    EXPECT_TRUE(tray.Visible());
    EXPECT_TRUE(tray.Shown());
    EXPECT_TRUE(tray.MonitorRunning());
    EXPECT_EQ(tray.Hint(), "Waiting");
    EXPECT_EQ(tray.FormHandle(), form->Handle());
    // The program's own icon, at the small-icon size.
    ASSERT_NE(tray.Icon(), nullptr);
    EXPECT_EQ(IconSize(tray.Icon()).cx, GetSystemMetrics(SM_CXSMICON));
    EXPECT_EQ(tray.NotifyData().hIcon, tray.Icon());
    // The icon was added for the window; then "Waiting" became its tip.
    const std::vector<DWORD> ops = shell->OpsFor(form->Handle(), tray.Identifier());
    ASSERT_FALSE(ops.empty());
    EXPECT_EQ(ops.front(), static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(shell->calls.back().tip, "Waiting");
    // The loop is not to show the window by itself; FormCreate showed it
    // (Minimized is not checked), and with it the taskbar button.
    EXPECT_FALSE(rtl::Application().ShowMainForm());
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    EXPECT_TRUE(IsWindowVisible(App()));
    // The window's balloon is the icon's.
    std::vector<std::string> balloons;
    tray.OnBalloonShown = [&](const std::string& text) { balloons.push_back(text); };
    form->ShowTrayBalloon("No upload since start: report missing");
    EXPECT_EQ(balloons, std::vector<std::string>{"No upload since start: report missing"});
}

TEST_F(TrayWindowTest, TheHintKeeps63CharactersAndBecomesTheTip) {
    Build();
    const std::string seventy(70, 'x');
    const std::string sixtyThree = std::string(62, 'y') + "z";
    struct Case {
        std::string hint, kept;
    };
    for (const Case& c : {Case{seventy, seventy.substr(0, 63)}, Case{sixtyThree, sixtyThree},
                          Case{"Trying server : cwop.aprs.net", "Trying server : cwop.aprs.net"}, Case{"", ""}}) {
        SCOPED_TRACE(c.hint);
        shell->calls.clear();
        form->SetTrayHint(c.hint);
        EXPECT_EQ(Tray().Hint(), c.kept);
        EXPECT_EQ(rtl::Narrow(Tray().NotifyData().szTip), c.kept);
        ASSERT_EQ(shell->Ops(), std::vector<DWORD>{NIM_MODIFY});
        EXPECT_EQ(shell->calls[0].tip, c.kept);
    }
    // Not shown: the hint is kept and goes out with the next add.
    Tray().SetVisible(false);
    form->SetTrayHint(seventy);
    shell->calls.clear();
    Tray().SetVisible(true);
    ASSERT_EQ(shell->Ops(), kAdd);
    EXPECT_EQ(shell->calls[0].tip, seventy.substr(0, 63));
}

TEST_F(TrayWindowTest, MinimizeHidesWindowAndTaskbarButtonAndALeftClickBringsThemBack) {
    Build();
    HWND hwnd = form->Handle();
    ASSERT_TRUE(IsWindowVisible(hwnd));
    ASSERT_TRUE(IsWindowVisible(App()));

    // The minimize button (or the system menu) sends this.
    EXPECT_EQ(SendMessageA(hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0), 0);
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_FALSE(IsIconic(hwnd)) << "never minimized";
    EXPECT_FALSE(IsWindowVisible(App())) << "the taskbar button went with it";
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_TRUE(Tray().Shown());

    // Right clicks, double clicks, the middle button, moves and another
    // icon's clicks change nothing.
    // (The right button's release opens the menu: its own test below.)
    const UINT quiet[] = {WM_RBUTTONDOWN, WM_RBUTTONDBLCLK, WM_LBUTTONDBLCLK, WM_LBUTTONDOWN,
                          WM_MBUTTONDOWN, WM_MBUTTONUP,     WM_MBUTTONDBLCLK, WM_MOUSEMOVE};
    for (UINT message : quiet) {
        Callback(Tray(), message);
        EXPECT_FALSE(IsWindowVisible(hwnd)) << message;
    }
    SendMessageA(hwnd, TabcTrayIcon::kCallbackMessage, Tray().Identifier() + 1, WM_LBUTTONUP);
    EXPECT_FALSE(IsWindowVisible(hwnd));

    // Something else is in front; a left click (on release) brings the
    // window back, restored, in the foreground, with its taskbar button.
    other = MakeOtherWindow();
    rtl::Application().ProcessMessages();
    ASSERT_EQ(GetForegroundWindow(), other);
    Callback(Tray(), WM_LBUTTONUP);
    rtl::Application().ProcessMessages();
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_FALSE(IsIconic(hwnd));
    EXPECT_TRUE(IsWindowVisible(App()));
    EXPECT_EQ(GetForegroundWindow(), hwnd);

    // Minimized from the taskbar button: the same.
    SendMessageA(App(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_FALSE(IsIconic(hwnd));
    EXPECT_FALSE(IsIconic(App()));
    EXPECT_FALSE(IsWindowVisible(App()));
    // Enter or Space on the icon (Win+B, the arrows) brings them back too.
    Callback(Tray(), NIN_KEYSELECT);
    EXPECT_TRUE(IsWindowVisible(hwnd) && IsWindowVisible(App()));
}

TEST_F(TrayWindowTest, ClosingTheWindowRemovesTheIcon) {
    Build();
    const UINT id = Tray().Identifier();
    shell->calls.clear();
    PostMessageA(form->Handle(), WM_CLOSE, 0, 0);
    rtl::Application().Run();  // ends when the close has ended the loop
    EXPECT_EQ(shell->OpsFor(form->Handle(), id), kDelete) << "gone as the loop ends";
    EXPECT_FALSE(Tray().Shown());
    EXPECT_FALSE(IsWindowVisible(App()));
    rtl::Application().SetMainForm(nullptr);
    form.reset();
    EXPECT_EQ(shell->Ops(), kDelete) << "deleted once";
}

TEST_F(TrayWindowTest, AFailedRestoreLeavesOnlyTheIconWithAnEmptyHint) {
    testsupport::SetText(HKEY_LOCAL_MACHINE, testsupport::kSettingsKey, "CallSign", "CW1234");
    Build();
    ASSERT_EQ(errors.shown.size(), 1u) << "the restore failed and was shown";
    errors.shown.clear();
    HWND hwnd = form->Handle();
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_FALSE(IsWindowVisible(App()));
    EXPECT_TRUE(Tray().Shown());
    EXPECT_EQ(Tray().Hint(), "");
    EXPECT_EQ(rtl::Narrow(Tray().NotifyData().szTip), "");
    ASSERT_FALSE(shell->calls.empty());
    EXPECT_EQ(shell->calls.back().tip, "");

    Callback(Tray(), WM_LBUTTONUP);
    rtl::Application().ProcessMessages();
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_TRUE(IsWindowVisible(App()));
    EXPECT_EQ(GetForegroundWindow(), hwnd);
}

TEST_F(TrayWindowTest, TheMonitorOfTheWindowsIconPutsItBack) {
    Build();
    TabcTrayIcon& tray = Tray();
    tray.SetMonitorInterval(50);
    shell->calls.clear();
    shell->answers = {FALSE};  // the shell lost it
    const ULONGLONG until = GetTickCount64() + 3000;
    while (shell->calls.size() < 3 && GetTickCount64() < until) rtl::PumpMessagesFor(20);
    std::vector<DWORD> ops = shell->Ops();
    ASSERT_GE(ops.size(), 3u);
    ops.resize(3);
    EXPECT_EQ(ops, (std::vector<DWORD>{NIM_MODIFY, NIM_DELETE, NIM_ADD}));
    EXPECT_EQ(shell->calls[2].tip, "Waiting");
    EXPECT_TRUE(tray.Shown());
}

// ------------------------------------------------------------ the menu

// The menu window (class "#32768") a thread has on screen, if any.
HWND OpenMenuOf(DWORD thread) {
    HWND found = nullptr;
    EnumThreadWindows(
        thread,
        [](HWND hwnd, LPARAM lp) -> BOOL {
            char cls[16] = {};
            GetClassNameA(hwnd, cls, sizeof cls);
            if (std::string(cls) != "#32768" || !IsWindowVisible(hwnd)) return TRUE;
            *reinterpret_cast<HWND*>(lp) = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// What a right click on the icon showed, seen from another thread while the
// menu was open (the menu holds this thread until it closes).
struct MenuSeen {
    bool opened = false;
    HMENU menu = nullptr;       // the menu on screen
    HWND foreground = nullptr;  // the foreground window while it was open
    bool nullPosted = false;    // WM_NULL waited for the form after it closed
};

// Right-clicks the icon (or sends another event); once its menu is on
// screen, presses the keys (the arrows move through the items, Enter
// chooses, Escape closes).
MenuSeen RightClickAndPress(TabcTrayIcon& tray, std::vector<WPARAM> keys, UINT event = WM_RBUTTONUP) {
    MenuSeen seen;
    const DWORD ui = GetCurrentThreadId();
    std::thread user([&] {
        HWND menu = nullptr;
        for (int i = 0; i < 300 && !(menu = OpenMenuOf(ui)); ++i) Sleep(10);
        if (!menu) return;
        seen.opened = true;
        seen.foreground = GetForegroundWindow();
        seen.menu = reinterpret_cast<HMENU>(SendMessageA(menu, MN_GETHMENU, 0, 0));
        for (WPARAM key : keys) {
            PostMessageA(menu, WM_KEYDOWN, key, 0);
            PostMessageA(menu, WM_KEYUP, key, 0);
        }
        // Never left open, whatever the keys did.
        for (int i = 0; i < 300 && IsWindow(menu) && IsWindowVisible(menu); ++i) Sleep(10);
        for (int i = 0; i < 10 && IsWindow(menu) && IsWindowVisible(menu); ++i) {
            PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
            Sleep(50);
        }
    });
    Callback(tray, event);
    user.join();
    MSG msg{};
    while (PeekMessageA(&msg, tray.FormHandle(), 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop, not for this test
            break;
        }
        if (msg.message == WM_NULL) seen.nullPosted = true;
        DispatchMessageA(&msg);
    }
    return seen;
}

const std::vector<WPARAM> kChooseShow{VK_DOWN, VK_RETURN};
const std::vector<WPARAM> kChooseUpdateNow{VK_DOWN, VK_DOWN, VK_RETURN};
const std::vector<WPARAM> kChooseOpenLog{VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN};
const std::vector<WPARAM> kChooseExit{VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN};

std::string MenuText(HMENU menu, UINT position) {
    char text[64] = {};
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

TEST_F(TrayWindowTest, ARightClickOpensTheMenuInFrontAndEscapeClosesIt) {
    Build();
    HMENU menu = form->TrayMenu();
    ASSERT_NE(menu, nullptr);
    // The items, the separator, and the default (bold) item: a left click's.
    ASSERT_EQ(GetMenuItemCount(menu), 6);
    const char* texts[] = {"&Show Teskaprs", "&Update Now", "Open &log", "&Receive from the station", "", "E&xit"};
    for (UINT i = 0; i < 6; ++i) EXPECT_EQ(MenuText(menu, i).substr(0, std::strlen(texts[i])), texts[i]) << i;
    EXPECT_TRUE(GetMenuState(menu, 4, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(GetMenuDefaultItem(menu, FALSE, 0), static_cast<UINT>(TForm1::kTrayShow));
    EXPECT_EQ(Tray().PopupMenu(), menu);

    // Something else is in front: the menu brings the window forward first,
    // so that it closes when the user clicks elsewhere.
    other = MakeOtherWindow();
    rtl::Application().ProcessMessages();
    ASSERT_EQ(GetForegroundWindow(), other);
    const std::string hint = Tray().Hint();
    shell->calls.clear();
    const MenuSeen seen = RightClickAndPress(Tray(), {VK_ESCAPE});
    const std::vector<DWORD> ops = shell->OpsFor(form->Handle(), Tray().Identifier());
    EXPECT_EQ(std::count(ops.begin(), ops.end(), NIM_SETFOCUS), 1) << "the keyboard goes back to the icons";
    EXPECT_TRUE(seen.opened) << "no menu on screen";
    EXPECT_EQ(seen.menu, menu);
    EXPECT_EQ(seen.foreground, form->Handle());
    EXPECT_TRUE(seen.nullPosted);
    // Closed without a choice: nothing happened.
    EXPECT_FALSE(rtl::Application().Terminated());
    EXPECT_EQ(Tray().Hint(), hint);
    EXPECT_TRUE(IsWindow(form->Handle()));
}

TEST_F(TrayWindowTest, ShowTeskaprsBringsTheHiddenWindowBack) {
    Build();
    HWND hwnd = form->Handle();
    SendMessageA(hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_FALSE(IsWindowVisible(hwnd));
    shell->calls.clear();
    // The menu key on the icon opens the menu as the right button does.
    EXPECT_TRUE(RightClickAndPress(Tray(), kChooseShow, WM_CONTEXTMENU).opened);
    const std::vector<DWORD> ops = shell->Ops();
    EXPECT_EQ(std::count(ops.begin(), ops.end(), NIM_SETFOCUS), 0) << "a choice was made";
    rtl::Application().ProcessMessages();
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_TRUE(IsWindowVisible(App())) << "with its taskbar button";
    EXPECT_FALSE(IsIconic(hwnd));
}

TEST_F(TrayWindowTest, UpdateNowFromTheMenuUploadsAsTheButtonDoes) {
    Build();
    testsupport::TempFolder folder;
    form->FileLocationDisplay->SetText(folder.Write("wxreport.txt", "Dec 07 2026 12:34\r\n070/005g010t045h55b10150\r\n"));
    // Only ever to a closed port on this machine.
    form->AutoServer->SetChecked(false);
    form->serverNameEdit->SetText("127.0.0.1");
    form->ServerPortEdit->SetText(std::to_string(testsupport::LoopbackServer::UnusedPort()));
    ASSERT_EQ(WindowText(form->Label1->Handle()), "");
    EXPECT_TRUE(RightClickAndPress(Tray(), kChooseUpdateNow).opened);
    EXPECT_EQ(WindowText(form->Label1->Handle()), "Dec 07 2026 12:34") << "the report was read";
    EXPECT_NE(WindowText(form->Label20->Handle()), "") << "and a packet made";
    // The refused connection ends the attempt.
    for (int i = 0; i < 200 && form->Upload.UploadBusy; ++i) rtl::PumpMessagesFor(20);
    EXPECT_FALSE(form->Upload.UploadBusy);
    form->Timer1.SetEnabled(false);
}

TEST_F(TrayWindowTest, ExitEndsTheProgramAsClosingTheWindowDoes) {
    Build();
    const UINT id = Tray().Identifier();
    shell->calls.clear();
    EXPECT_TRUE(RightClickAndPress(Tray(), kChooseExit).opened);
    rtl::Application().Run();  // ends when the close has ended the loop
    EXPECT_TRUE(rtl::Application().Terminated());
    EXPECT_EQ(shell->OpsFor(form->Handle(), id), kDelete) << "the icon is gone";
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
}

// Points the ".log" files and the folders at recordargs.exe for as long as
// it lives, and puts the machine's own commands back exactly as they were
// (the folders' DDE command is set aside meanwhile: recordargs.exe answers
// no DDE). Changes the machine's file associations: only under Wine.
class OpenCommandsRecorded {
public:
    OpenCommandsRecorded() {
        char self[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string path = self;
        program_ = path.substr(0, path.find_last_of('\\') + 1) + "recordargs.exe";
        SetEnvironmentVariableA("TESKAPRS_RECORDARGS_FILE", file_.c_str());
        const std::string command = "\"" + program_ + "\" \"%1\"";
        Replace(".log", "TeskaprsTest.LogFile");
        Replace(".txt", "TeskaprsTest.LogFile");
        Replace("TeskaprsTest.LogFile\\shell\\open\\command", command);
        Replace("Folder\\shell\\open\\command", command);
        testsupport::DeleteKeyTree(HKEY_CLASSES_ROOT, kDdeBackup);
        if (testsupport::KeyExists(HKEY_CLASSES_ROOT, kDde) && CopyTree(kDde, kDdeBackup))
            testsupport::DeleteKeyTree(HKEY_CLASSES_ROOT, kDde);
    }
    ~OpenCommandsRecorded() {
        if (testsupport::KeyExists(HKEY_CLASSES_ROOT, kDdeBackup) && CopyTree(kDdeBackup, kDde))
            testsupport::DeleteKeyTree(HKEY_CLASSES_ROOT, kDdeBackup);
        for (auto s = saved_.rbegin(); s != saved_.rend(); ++s) {
            if (s->valueExisted) {
                testsupport::SetText(HKEY_CLASSES_ROOT, s->key, "", s->value);
            } else if (s->created.empty()) {
                HKEY key = nullptr;
                if (RegOpenKeyExA(HKEY_CLASSES_ROOT, s->key.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
                    RegDeleteValueA(key, "");
                    RegCloseKey(key);
                }
            } else {
                testsupport::DeleteKeyTree(HKEY_CLASSES_ROOT, s->created);
            }
        }
        SetEnvironmentVariableA("TESKAPRS_RECORDARGS_FILE", nullptr);
    }
    OpenCommandsRecorded(const OpenCommandsRecorded&) = delete;
    OpenCommandsRecorded& operator=(const OpenCommandsRecorded&) = delete;

    const std::string& Program() const { return program_; }
    // The command lines recordargs.exe was started with, waiting for count of them.
    std::vector<std::string> WaitFor(size_t count) const {
        std::vector<std::string> lines;
        for (int i = 0; i < 400; ++i) {
            lines.clear();
            const std::string text = testsupport::TempFolder::Read(file_);
            for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
                if (text.compare(at, 5, "show=") != 0) lines.push_back(text.substr(at, end - at));
            if (lines.size() >= count) break;
            rtl::PumpMessagesFor(25);
        }
        return lines;
    }

private:
    static constexpr char kDde[] = "Folder\\shell\\open\\ddeexec";
    static constexpr char kDdeBackup[] = "TeskaprsTest.FolderDdeBackup";
    struct Saved {
        std::string key;
        bool valueExisted = false;
        std::string value;
        std::string created;  // the outermost key this helper made ("" when the key was there)
    };
    static bool CopyTree(const char* from, const char* to) {
        HKEY source = nullptr, target = nullptr;
        bool done = false;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, from, 0, KEY_READ, &source) == ERROR_SUCCESS) {
            if (RegCreateKeyExA(HKEY_CLASSES_ROOT, to, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target, nullptr) ==
                ERROR_SUCCESS) {
                done = RegCopyTreeA(source, nullptr, target) == ERROR_SUCCESS;
                RegCloseKey(target);
            }
            RegCloseKey(source);
        }
        return done;
    }
    // Sets the key's default value, remembering what was there.
    void Replace(const std::string& key, const std::string& value) {
        Saved s;
        s.key = key;
        s.valueExisted = testsupport::GetRawValue(HKEY_CLASSES_ROOT, key, "", nullptr, &s.value);
        if (!s.value.empty() && s.value.back() == '\0') s.value.pop_back();
        for (size_t at = 0; at != std::string::npos;) {
            at = key.find('\\', at + 1);
            const std::string part = key.substr(0, at);
            if (!testsupport::KeyExists(HKEY_CLASSES_ROOT, part)) {
                s.created = part;
                break;
            }
        }
        saved_.push_back(s);
        testsupport::SetText(HKEY_CLASSES_ROOT, key, "", value);
    }
    testsupport::TempFolder folder_;
    std::string file_ = folder_.File("starts.txt");
    std::string program_;
    std::vector<Saved> saved_;
};

TEST_F(TrayWindowTest, OpenLogOpensTheLogOrItsFolderWhileThereIsNone) {
    // Changes the machine's file associations: never anywhere but Wine (the
    // fixture already skips elsewhere; said again where it matters).
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (!ntdll || !GetProcAddress(ntdll, "wine_get_version")) GTEST_SKIP() << "changes file associations";
    Build();
    OpenCommandsRecorded opened;
    ASSERT_NE(GetFileAttributesA(opened.Program().c_str()), INVALID_FILE_ATTRIBUTES) << "build recordargs first";
    testsupport::TempFolder folder;
    form->UploadLog = upload::TUploadLog(folder.File("Teskaprs"));

    // No log yet: its folder is made and opened.
    EXPECT_TRUE(RightClickAndPress(Tray(), kChooseOpenLog).opened);
    std::vector<std::string> lines = opened.WaitFor(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(folder.File("Teskaprs")), std::string::npos) << lines[0];
    EXPECT_EQ(lines[0].find("teskaprs.log"), std::string::npos) << lines[0];

    // A log: the log itself, in the editor the ".log" files open with.
    form->UploadLog.Write("connecting to 127.0.0.1:14580");
    EXPECT_TRUE(RightClickAndPress(Tray(), kChooseOpenLog).opened);
    lines = opened.WaitFor(2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find(form->UploadLog.FilePath()), std::string::npos) << lines[1];

    // No program for ".log" files: the one for text files.
    testsupport::DeleteKeyTree(HKEY_CLASSES_ROOT, ".log");
    EXPECT_TRUE(RightClickAndPress(Tray(), kChooseOpenLog).opened);
    lines = opened.WaitFor(3);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[2].find(form->UploadLog.FilePath()), std::string::npos) << lines[2];
    EXPECT_TRUE(errors.shown.empty());
}

// ------------------------------------------------------------ the login status

TEST_F(TrayWindowTest, TheLoginVerdictIsShownOnlyWhenTheOwnerMustAct) {
    Build();
    HWND status = form->LoginStatus->Handle();
    EXPECT_FALSE(IsWindowVisible(status)) << "empty by default";
    EXPECT_EQ(WindowText(status), "");
    using upload::LoginVerdictKind;
    const upload::LoginVerdict verified{LoginVerdictKind::Verified, "G4ABC", "T2TEST", ""};
    const upload::LoginVerdict unverified{LoginVerdictKind::Unverified, "G4ABC", "T2TEST", ""};
    const upload::LoginVerdict invalid{LoginVerdictKind::Invalid, "", "", "# Invalid login"};
    struct Case {
        const char* validation;
        upload::LoginVerdict verdict;
        const char* shown;  // part of the status line; nullptr: none
    };
    const Case cases[] = {
        {"12345", unverified, "Server T2TEST did not verify the login: check the validation number."},
        {"12345", verified, nullptr},  // a good login clears the warning
        {"-1", unverified, nullptr},
        {"-1", invalid, "check the callsign and the validation number"},
        {"-1", upload::LoginVerdict{}, "check the callsign"},  // no reply: what was shown stays
        {"12345", upload::LoginVerdict{LoginVerdictKind::Unverified, "G4ABC", std::string(300, 'S'), ""},
         "did not verify"},
    };
    RECT lamp{};
    GetWindowRect(form->LED->Handle(), &lamp);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.validation) + " " + c.verdict.line + c.verdict.server.substr(0, 10));
        form->SetTrayHint("Waiting");
        form->ShowLoginVerdict(c.validation, c.verdict);
        if (!c.shown) {
            EXPECT_FALSE(IsWindowVisible(status));
            EXPECT_EQ(WindowText(status), "");
            EXPECT_EQ(Tray().Hint(), "Waiting");
            continue;
        }
        EXPECT_TRUE(IsWindowVisible(status));
        EXPECT_NE(WindowText(status).find(c.shown), std::string::npos) << WindowText(status);
        if (c.verdict.kind != LoginVerdictKind::None) {
            EXPECT_NE(Tray().Hint(), "Waiting");
            EXPECT_NE(Tray().Hint().find("check"), std::string::npos);
            EXPECT_EQ(rtl::Narrow(Tray().NotifyData().szTip), Tray().Hint());
        }
        RECT r{};
        GetWindowRect(status, &r);
        EXPECT_LT(r.right, lamp.left) << "clear of the lamp";
    }
    EXPECT_TRUE(errors.shown.empty()) << "never a message box";
}

// ------------------------------------------------------------ a long silence

// Three intervals without a delivery: the warning icon, and the tip and the
// status line say since when and why, and come back to it whatever else is
// shown meanwhile; the next delivery brings back the rest. The clock stands
// still but where a step moves it; each icon switch is recorded.
TEST_F(TrayWindowTest, ThreeIntervalsWithoutADeliveryShowTheWarningUntilTheNextDelivery) {
    using upload::AttemptOutcome;
    // Midday of a fixed day: no step crosses midnight, which would date the texts.
    const auto now = std::make_shared<rtl::TimePoint>(std::chrono::system_clock::from_time_t(1796646896));
    const rtl::TimePoint start = *now;
    rtl::SetTimeSource([now] { return *now; });
    Build();
    testsupport::TempFolder folder;
    form->UploadLog = upload::TUploadLog(folder.File("log"));
    form->StartDigit = -1;  // the minute's checks only, no alignment
    std::vector<int> looks;
    form->OnTrayIconChanged = [&](int resource) { looks.push_back(resource); };
    std::vector<std::string> balloons;
    Tray().OnBalloonShown = [&](const std::string& text) { balloons.push_back(text); };
    const rtl::LocalTime delivered = rtl::ToLocal(start + std::chrono::minutes(32));
    char since[8];
    wsprintfA(since, "%02d:%02d", delivered.hour, delivered.minute);
    const std::string unchanged = "No upload since start: report unchanged";
    const std::string refused = "No upload since start: no server answered";
    const std::tuple<int, std::optional<AttemptOutcome>, std::string> steps[] = {
        {10, AttemptOutcome::ReportUnchanged, "Waiting"}, {29, {}, "Waiting"}, {30, {}, unchanged},
        {31, AttemptOutcome::NoServerAnswered, refused},  {31, {}, refused},   {32, AttemptOutcome::Delivered, "Waiting"},
        {61, {}, "Waiting"}, {62, {}, std::string("No upload since ") + since + ": no attempt made"},
    };
    for (const auto& [minute, outcome, tip] : steps) {
        SCOPED_TRACE(minute);
        *now = start + std::chrono::minutes(minute);
        if (form->Silence.Warning() && outcome != AttemptOutcome::Delivered) {
            form->SetTrayHint("Report incomplete: nothing sent");  // shown meanwhile
            form->ShowStatusLine("Report incomplete: nothing sent");
        }
        outcome ? form->NoteOutcome(*outcome) : form->SilenceTimerTimer(&form->SilenceTimer);
        for (int again = 0; again < 2; ++again) {  // and after the texts at rest
            EXPECT_EQ(shell->calls.back().tip, tip);
            EXPECT_EQ(WindowText(form->LoginStatus->Handle()), tip != "Waiting" ? " " + tip + " " : "");
            form->SetTrayHint("Waiting");
            form->ShowStatusLine("");
        }
    }
    EXPECT_EQ(looks, (std::vector<int>{2, 1, 2}));
    EXPECT_EQ(balloons, (std::vector<std::string>{unchanged, std::string("No upload since ") + since + ": no attempt made"}))
        << "one at each warning's start";
    const std::string log = testsupport::TempFolder::Read(form->UploadLog.FilePath());
    EXPECT_LT(log.find("three intervals, since the start: report unchanged"), log.find("warning ended")) << log;
    EXPECT_NE(log.find(upload::IsoUtc(start + std::chrono::minutes(32)) + ": no attempt made"), std::string::npos);

    // A temperature unchanged for 12 hours: announced at once, named in the
    // tip and the status line once the silence, which goes first, has ended.
    for (int hour = 0; hour <= 12; ++hour) {
        *now = start + std::chrono::minutes(63 + 60 * hour);
        upload::WeatherReading weather = upload::ReadWeather("t072h55");
        form->WatchSensors({std::to_string(hour), "t072h55"}, weather);
        form->SilenceTimerTimer(&form->SilenceTimer);
        form->SetTrayHint("Waiting");  // an attempt ends
        EXPECT_EQ(shell->calls.back().tip.rfind("No upload since ", 0), 0u);
    }
    const std::string sensor = form->SensorWarning();
    EXPECT_EQ(sensor.rfind("Check the temperature sensor: ", 0), 0u) << sensor;
    EXPECT_EQ(balloons.back(), sensor);
    form->NoteOutcome(AttemptOutcome::Delivered);
    EXPECT_EQ(shell->calls.back().tip, sensor);
    EXPECT_EQ(WindowText(form->LoginStatus->Handle()), " " + sensor + " ");
    EXPECT_NE(testsupport::TempFolder::Read(form->UploadLog.FilePath()).find("warning: temperature unchanged at 72 F"),
              std::string::npos);
    rtl::SetTimeSource(nullptr);
}

}  // namespace
