// The main window as built: its frame, the controls' layout and tab order,
// fonts and colours, the creation values, and the check-box rule.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Teskaprs1.h"
#include "upload/Weather.h"
#include "ui/abctray.h"
#include "SettingsSupport.h"
#include "TestSupport.h"
#include "rtl/Application.h"
#include "rtl/Utf.h"
#include "rtl/Controls.h"

namespace {

const COLORREF kWindowColor = RGB(212, 208, 200);
const COLORREF kYellow = RGB(253, 254, 199);
const COLORREF kSilver = RGB(192, 192, 192);
const COLORREF kGrey = RGB(128, 128, 128);
const COLORREF kBlue = RGB(0, 0, 255);
const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kBlack = RGB(0, 0, 0);

using testsupport::WindowText;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::InitApplication();
        testsupport::ForgetSavedSettings();
        form = std::make_unique<TForm1>();
    }
    void TearDown() override {
        form.reset();
        EXPECT_TRUE(errors.shown.empty()) << errors.shown.front().second;
    }

    HWND Handle(const std::string& name) const {
        rtl::TControl* control = form->FindControl(name);
        return control ? control->Handle() : nullptr;
    }
    HWND Parent(const std::string& name) const { return name.empty() ? form->Handle() : Handle(name); }

    // What the control's parent answers when asked how to draw it.
    struct Look {
        COLORREF text, background, brush;
    };
    Look LookOf(HWND control, UINT message) const {
        HDC dc = CreateCompatibleDC(nullptr);
        SetTextColor(dc, RGB(1, 2, 3));
        SetBkColor(dc, RGB(4, 5, 6));
        auto brush = reinterpret_cast<HBRUSH>(
            SendMessageA(GetParent(control), message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)));
        LOGBRUSH lb{};
        if (brush) GetObjectA(brush, sizeof lb, &lb);
        Look look{GetTextColor(dc), GetBkColor(dc), brush ? lb.lbColor : CLR_INVALID};
        DeleteDC(dc);
        return look;
    }

    testsupport::ErrorRecorder errors;
    std::unique_ptr<TForm1> form;
};

TEST_F(MainWindowTest, FrameIsFixedWithCloseAndMinimizeOnlyAndCentred) {
    HWND hwnd = form->Handle();
    EXPECT_EQ(WindowText(hwnd), "Teskaprs");
    EXPECT_TRUE(IsWindowVisible(hwnd));
    const LONG_PTR style = GetWindowLongPtrA(hwnd, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME) << "the window must not be resizable";
    EXPECT_EQ(GetWindow(hwnd, GW_OWNER), rtl::Application().Handle());

    RECT client{};
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 551);
    EXPECT_EQ(client.bottom, 359);

    RECT frame{};
    GetWindowRect(hwnd, &frame);
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_NEAR(frame.left + (frame.right - frame.left) / 2, screenWidth / 2, 1);
    EXPECT_NEAR(frame.top + (frame.bottom - frame.top) / 2, screenHeight / 2, 1);
}

// The layout as the window's design gives it: parent, position and size
// relative to the parent, tab order within the parent (-1: no tab stop) and
// the design caption (nullptr: a field, checked elsewhere). Labels sized to
// their text take the size of the text they show at creation (the status
// labels are emptied, the station page link has an address of its own).
struct Placement {
    const char* name;
    const char* parent;
    int left, top, width, height;
    int tab;
    const char* caption;
    bool sizedToText;
};

const Placement kPlacements[] = {
    {"GroupBox2", "", 6, 4, 539, 161, 0, " Configuration ", false},
    {"GroupBox1", "", 6, 168, 539, 69, 1, " Tesk data ", false},
    {"GroupBox3", "", 6, 240, 539, 101, 2, " APRS ", false},
    {"Label8", "GroupBox2", 8, 16, 97, 13, -1, "wxreport.txt location:", false},
    {"FileLocationDisplay", "GroupBox2", 108, 12, 201, 21, 0, nullptr, false},
    {"BrowseButton", "GroupBox2", 316, 12, 75, 21, 1, "Browse", false},
    {"Label5", "GroupBox2", 400, 16, 130, 13, -1, "Send every                 Mins.", false},
    {"Interval", "GroupBox2", 456, 12, 45, 22, 2, nullptr, false},
    {"Label3", "GroupBox2", 8, 44, 39, 13, -1, "Callsign:", false},
    {"Callsign", "GroupBox2", 52, 40, 73, 21, 3, nullptr, false},
    {"Label4", "GroupBox2", 132, 44, 49, 13, -1, "Validation:", false},
    {"Validation", "GroupBox2", 188, 40, 45, 21, 4, nullptr, false},
    {"Label21", "GroupBox2", 244, 44, 80, 13, -1, "Weather Station:", false},
    {"ComboBox1", "GroupBox2", 328, 40, 201, 21, 5, nullptr, false},
    {"Label10", "GroupBox2", 60, 68, 229, 13, -1, "Degrees   Minutes    Seconds           Hemisphere", false},
    {"Label9", "GroupBox2", 8, 88, 41, 13, -1, "Latitude:", false},
    {"LatDeg", "GroupBox2", 60, 84, 45, 22, 6, nullptr, false},
    {"LatMin", "GroupBox2", 108, 84, 45, 22, 7, nullptr, false},
    {"LatSec", "GroupBox2", 156, 84, 69, 21, 8, nullptr, false},
    {"LatHem", "GroupBox2", 232, 84, 69, 21, 9, nullptr, false},
    {"Label6", "GroupBox2", 8, 112, 50, 13, -1, "Longitude:", false},
    {"LonDeg", "GroupBox2", 60, 108, 45, 22, 10, nullptr, false},
    {"LonMin", "GroupBox2", 108, 108, 45, 22, 11, nullptr, false},
    {"LonSec", "GroupBox2", 156, 108, 69, 21, 12, nullptr, false},
    {"LonHem", "GroupBox2", 232, 108, 69, 21, 13, nullptr, false},
    {"Minimized", "GroupBox2", 376, 64, 125, 17, 15, "Minimize on startup?", false},
    {"AutoStart", "GroupBox2", 376, 80, 125, 17, 16, "Autostart at PC logon?", false},
    {"Button1", "GroupBox2", 372, 100, 133, 29, 14, "Save Configuration", false},
    {"Label17", "GroupBox2", 2, 133, 535, 26, -1,
     "It is essential that you set the positional data accurately as\r\n"
     "the data is worthless to the APRS network if it is incorrect.",
     false},
    {"Label1", "GroupBox1", 8, 16, 32, 13, -1, nullptr, true},
    {"Label2", "GroupBox1", 8, 32, 32, 13, -1, nullptr, true},
    {"ReadingWords", "GroupBox1", 8, 48, 521, 13, -1, nullptr, true},  // a line of its own: the box grew by one
    {"abcButton1", "GroupBox1", 436, 16, 93, 29, 0, "Update Now", false},
    {"Label22", "GroupBox3", 8, 16, 66, 13, -1, nullptr, true},
    {"serverNameEdit", "GroupBox3", 88, 12, 177, 21, 1, nullptr, false},
    {"Label18", "GroupBox3", 280, 16, 25, 13, -1, "Port :", false},
    {"ServerPortEdit", "GroupBox3", 312, 12, 37, 21, 2, nullptr, false},
    {"AutoServer", "GroupBox3", 360, 16, 73, 17, 0, "Automatic?", false},
    {"Label11", "GroupBox3", 448, 16, 45, 13, -1, "Sending :", false},
    {"LED", "GroupBox3", 498, 11, 25, 25, -1, "", false},  // takes no focus
    {"Label20", "GroupBox3", 8, 36, 118, 13, -1, nullptr, true},
    {"Label12", "GroupBox3", 8, 56, 118, 13, -1, "You can get a Callsign at", false},
    {"Label13", "GroupBox3", 132, 56, 235, 13, -1, "http://www.findu.com/citizenweather/signup.html", false},
    {"Label14", "GroupBox3", 8, 76, 132, 13, -1, "You can check your data at", false},
    {"Label15", "GroupBox3", 148, 76, 144, 13, -1, "http://weather.gladstonefamily.net/site/CWXXXX", true},
    // Not one of the specified controls: the login status, on the APRS
    // box's frame line beside its caption, clear of every control there.
    {"LoginStatus", "GroupBox3", 56, 0, 440, 13, -1, "", true},
    {"Label19", "", 148, 76, 3, 13, -1, "", false},
    {"Label7", "", 0, 344, 277, 16, -1, "Teskaprs \xE2\x80\x94 weather to APRS-IS", false},
    {"Label23", "", 308, 344, 154, 13, -1, "http://www.wxqa.com/", false},
    {"Label16", "", 495, 345, 7, 13, -1, "V", false},
    {"abcVersionLabel1", "", 504, 332, 45, 29, -1, nullptr, false},
};

// Every control where the layout puts it, scaled to the dpi as MulDiv does
// (at 96 dpi exactly the table, elsewhere within a pixel), with the font of
// that dpi, and no caption wider than its control.
void ExpectLayoutAt(TForm1& form, UINT dpi) {
    const int slack = dpi == 96 ? 0 : 1;
    auto scaled = [&](int v) { return MulDiv(v, static_cast<int>(dpi), 96); };
    // A long reading in plain words, read whole.
    const upload::WeatherReading reading = upload::ReadWeather("338/287g287t150r999h100b10150");
    form.ReadingWords->SetText(upload::DescribeWeather(reading, upload::Units::Metric));
    for (const Placement& p : kPlacements) {
        SCOPED_TRACE(std::string(p.name) + " at " + std::to_string(dpi) + " dpi");
        rtl::TControl* control = form.FindControl(p.name);
        ASSERT_NE(control, nullptr);
        HWND hwnd = control->Handle();
        HWND parent = *p.parent ? form.FindControl(p.parent)->Handle() : form.Handle();
        EXPECT_EQ(GetParent(hwnd), parent);
        RECT r{};
        GetWindowRect(hwnd, &r);
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
        const int width = r.right - r.left, height = r.bottom - r.top;
        EXPECT_NEAR(r.left, scaled(p.left), slack);
        EXPECT_NEAR(r.top, scaled(p.top), slack);
        auto font = reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0));
        LOGFONTA lf{};
        ASSERT_TRUE(GetObjectA(font, sizeof lf, &lf));
        EXPECT_EQ(lf.lfHeight, -scaled(11));
        // The caption measured with the control's font.
        auto measure = [&](const std::string& part) {
            RECT extent{};
            HDC dc = GetDC(hwnd);
            HGDIOBJ old = SelectObject(dc, font);
            DrawTextW(dc, part.empty() ? L" " : rtl::Wide(part).c_str(), -1, &extent, DT_CALCRECT | DT_NOPREFIX);
            SelectObject(dc, old);
            ReleaseDC(hwnd, dc);
            return extent;
        };
        const std::string text = WindowText(hwnd);
        const RECT extent = measure(text);
        if (p.sizedToText) {
            EXPECT_EQ(width, std::string(p.name) == "LoginStatus" ? std::min<int>(extent.right, scaled(440))
                                                                   : extent.right);
            if (std::string(p.name) == "ReadingWords") {
                EXPECT_LE(r.left + width, scaled(p.left + p.width) + slack) << "beyond its box";
            }
            EXPECT_EQ(height, extent.bottom);
            if (dpi == 96) {
                EXPECT_EQ(height, 13);
            }
            continue;
        }
        char windowClass[32] = {};
        GetClassNameA(hwnd, windowClass, sizeof windowClass);
        // A label whose text grew more than the layout did grows with it.
        const bool label = lstrcmpiA(windowClass, "Static") == 0 && p.caption && !text.empty();
        EXPECT_NEAR(width, label ? std::max<int>(scaled(p.width), extent.right) : scaled(p.width), slack);
        EXPECT_NEAR(height, label ? std::max<int>(scaled(p.height), extent.bottom) : scaled(p.height), slack);
        if (!p.caption || text.empty()) continue;
        if (std::string(p.name) == "Label5" && dpi != 96) {
            // Interval sits in the blanks, which are counted for the font:
            // it covers no letter.
            const size_t head = text.find("  "), tail = text.find_last_of(' ') + 1;
            EXPECT_EQ(text.substr(0, head) + text.substr(tail - 1), "Send every Mins.");
            const rtl::TBounds field = form.Interval->Bounds();
            EXPECT_LE(r.left + measure(text.substr(0, head)).right, field.left);
            EXPECT_GE(r.left + measure(text.substr(0, tail)).right, field.left + field.width);
        } else {
            EXPECT_EQ(text, p.caption);
        }
        // No field lies over a label's text (but the one in Label5's gap).
        for (HWND sibling = GetWindow(parent, GW_CHILD); label && sibling; sibling = GetWindow(sibling, GW_HWNDNEXT)) {
            RECT other{}, overlap{};
            GetWindowRect(sibling, &other);
            MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&other), 2);
            const bool field = (GetWindowLongPtrA(sibling, GWL_STYLE) & WS_TABSTOP) != 0;
            EXPECT_FALSE(field && std::string(p.name) != "Label5" && IntersectRect(&overlap, &r, &other))
                << WindowText(hwnd) << " lies under " << GetDlgCtrlID(sibling);
        }
        // What the control needs beside its caption: the box of a check box,
        // the frame of a button, the indent of a group box's caption.
        const LONG_PTR style = GetWindowLongPtrA(hwnd, GWL_STYLE);
        int beside = 0;
        if (lstrcmpiA(windowClass, "Button") == 0) {
            const LONG_PTR type = style & BS_TYPEMASK;
            beside = type == BS_AUTOCHECKBOX ? rtl::SystemMetricForDpi(SM_CXMENUCHECK, dpi) + scaled(2)
                     : type == BS_GROUPBOX   ? scaled(8)
                                             : scaled(4);
        }
        EXPECT_LE(extent.right + beside, width) << "\"" << text << "\" is cut";
        EXPECT_LE(extent.bottom, height) << "\"" << text << "\" is cut";
    }
}

TEST_F(MainWindowTest, ControlsSitWhereTheLayoutPutsThemInTabOrder) {
    ExpectLayoutAt(*form, 96);
    std::map<HWND, std::vector<std::pair<int, const char*>>> tabStopsByParent;
    for (const Placement& p : kPlacements) {
        HWND hwnd = Handle(p.name);
        const bool tabStop = (GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_TABSTOP) != 0;
        EXPECT_EQ(tabStop, p.tab >= 0 && !std::string(p.name).starts_with("GroupBox")) << p.name;
        if (p.tab >= 0) tabStopsByParent[Parent(p.parent)].emplace_back(p.tab, p.name);
    }
    EXPECT_EQ(form->Controls().size(), std::size(kPlacements)) << "a control the layout does not have";

    // Within each parent, the windows' order is the tab order.
    for (auto& [parent, expected] : tabStopsByParent) {
        std::sort(expected.begin(), expected.end());
        std::vector<HWND> actual;
        for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            const bool isGroup = (GetWindowLongPtrA(child, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) != 0;
            if ((GetWindowLongPtrA(child, GWL_STYLE) & WS_TABSTOP) || isGroup) actual.push_back(child);
        }
        ASSERT_EQ(actual.size(), expected.size());
        for (size_t i = 0; i < actual.size(); ++i) EXPECT_EQ(actual[i], Handle(expected[i].second)) << i;
    }

    // The keyboard walks through the whole window in that order (with the
    // server fields enabled).
    form->AutoServer->Click();
    const char* walk[] = {"FileLocationDisplay", "BrowseButton", "Interval", "Callsign", "Validation",
                          "ComboBox1", "LatDeg", "LatMin", "LatSec", "LatHem", "LonDeg", "LonMin", "LonSec",
                          "LonHem", "Button1", "Minimized", "AutoStart", "abcButton1", "AutoServer",
                          "serverNameEdit", "ServerPortEdit", "FileLocationDisplay"};
    HWND at = GetNextDlgTabItem(form->Handle(), nullptr, FALSE);
    for (const char* name : walk) {
        EXPECT_EQ(at, Handle(name)) << "expected " << name << ", got " << WindowText(at);
        at = GetNextDlgTabItem(form->Handle(), at, FALSE);
    }

    // A screen reader names a field after the label just before it. (The
    // fields without one get names that Wine does not take.)
    const std::pair<const char*, const char*> labelled[] = {
        {"Label8", "FileLocationDisplay"}, {"Label3", "Callsign"},       {"Label4", "Validation"},
        {"Label21", "ComboBox1"},          {"Label22", "serverNameEdit"}, {"Label18", "ServerPortEdit"}};
    for (const auto& [label, field] : labelled) EXPECT_EQ(GetWindow(Handle(field), GW_HWNDPREV), Handle(label)) << field;
}

int IconSize(HICON icon) {
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info)) return 0;
    BITMAP bitmap{};
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

// The window's icons and the tray icon at the sizes the system asks for at the dpi.
void ExpectIconsAt(TForm1& form, UINT dpi) {
    const int small = rtl::SystemMetricForDpi(SM_CXSMICON, dpi), large = rtl::SystemMetricForDpi(SM_CXICON, dpi);
    EXPECT_EQ(small, MulDiv(16, static_cast<int>(dpi), 96));
    // The window's own, and the application window's (the taskbar button):
    // set on the window, or else its class's.
    auto shown = [](HWND window, WPARAM kind) {
        const auto icon = reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, kind, 0));
        const int slot = kind == ICON_SMALL ? GCLP_HICONSM : GCLP_HICON;
        return IconSize(icon ? icon : reinterpret_cast<HICON>(GetClassLongPtrA(window, slot)));
    };
    for (HWND window : {form.Handle(), rtl::Application().Handle()}) {
        EXPECT_EQ(shown(window, ICON_SMALL), small);
        EXPECT_EQ(shown(window, ICON_BIG), large);
    }
    EXPECT_EQ(IconSize(form.abcTrayIcon1->Icon()), small);
}

// The test prefix's display scale for the programs started while this
// lives (a running program keeps the scale it started with); the old
// setting comes back at the end, whatever the test found.
class DisplayScale {
public:
    explicit DisplayScale(DWORD dpi) {
        RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                        nullptr, &key_, nullptr);
        DWORD size = sizeof old_;
        had_ = RegQueryValueExA(key_, "LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_), &size) == 0;
        RegSetValueExA(key_, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    }
    ~DisplayScale() {
        if (had_)
            RegSetValueExA(key_, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_), sizeof old_);
        else
            RegDeleteValueA(key_, "LogPixels");
        RegCloseKey(key_);
    }

private:
    HKEY key_ = nullptr;
    DWORD old_ = 0;
    bool had_ = false;
};

// Runs the current test again in a new test program (told so by
// TESKAPRS_SCALED_RUN), with its output shown here; its exit code.
DWORD RunCurrentTestInNewProgram() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string command =
        std::string("\"") + exe + "\" --gtest_color=no --gtest_filter=" + test->test_suite_name() + "." + test->name();
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    SetEnvironmentVariableA("TESKAPRS_SCALED_RUN", "1");
    const BOOL started =
        CreateProcessA(exe, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableA("TESKAPRS_SCALED_RUN", nullptr);
    if (!started) return GetLastError();
    WaitForSingleObject(process.hProcess, 240000);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &code);
    if (code == STILL_ACTIVE) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

TEST_F(MainWindowTest, StartedAtOneAndAHalfTimesTheScaleEverythingIsOneAndAHalfTimesAsLarge) {
    if (!GetEnvironmentVariableA("TESKAPRS_SCALED_RUN", nullptr, 0)) {
        DisplayScale scale(144);
        EXPECT_EQ(RunCurrentTestInNewProgram(), 0u) << "the test at 144 dpi failed (its output is above)";
        return;
    }
    ASSERT_EQ(rtl::DpiOfWindow(form->Handle()), 144u) << "the display scale did not reach the new program";
    EXPECT_EQ(form->Dpi(), 144u);
    RECT client{}, frame{};
    GetClientRect(form->Handle(), &client);
    EXPECT_EQ(client.right, 827);
    EXPECT_EQ(client.bottom, 539);
    GetWindowRect(form->Handle(), &frame);
    EXPECT_NEAR((frame.left + frame.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((frame.top + frame.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
    ExpectLayoutAt(*form, 144);
    ExpectIconsAt(*form, 144);
}

TEST_F(MainWindowTest, MovedToAMonitorOfAnotherScaleTheWindowRescalesItself) {
    for (UINT dpi : {192u, 120u, 96u}) {
        SCOPED_TRACE(dpi);
        // What the system sends: the new dpi, and the rectangle to take.
        RECT suggested{40, 30, 0, 0};
        RECT frame{0, 0, MulDiv(551, dpi, 96), MulDiv(359, dpi, 96)};
        rtl::AdjustWindowRectForDpi(frame, static_cast<DWORD>(GetWindowLongPtrA(form->Handle(), GWL_STYLE)), 0, dpi);
        suggested.right = suggested.left + frame.right - frame.left;
        suggested.bottom = suggested.top + frame.bottom - frame.top;
        SendMessageA(form->Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        RECT now{};
        GetWindowRect(form->Handle(), &now);
        EXPECT_TRUE(EqualRect(&now, &suggested));
        EXPECT_EQ(form->Dpi(), dpi);
        ExpectLayoutAt(*form, dpi);
        ExpectIconsAt(*form, dpi);
        EXPECT_EQ(form->LED->Dpi(), dpi);
    }
}

TEST_F(MainWindowTest, FontsAreMsSansSerif8WithBoldCaptionsAndUnderlinedLinks) {
    for (const Placement& p : kPlacements) {
        SCOPED_TRACE(p.name);
        auto font = reinterpret_cast<HFONT>(SendMessageA(Handle(p.name), WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr);
        LOGFONTA lf{};
        ASSERT_TRUE(GetObjectA(font, sizeof lf, &lf));
        EXPECT_STREQ(lf.lfFaceName, "MS Sans Serif");
        EXPECT_EQ(lf.lfHeight, -11);
        const std::string name = p.name;
        const bool bold = name.starts_with("GroupBox") || name == "Label17";
        const bool link = name == "Label13" || name == "Label15" || name == "Label19" || name == "Label23";
        EXPECT_EQ(lf.lfWeight >= FW_BOLD, bold);
        EXPECT_EQ(lf.lfUnderline != 0, link);
        EXPECT_FALSE(lf.lfItalic);
    }
    // The face really resolves, so the layout's pixel sizes hold.
    HDC dc = GetDC(Handle("Label8"));
    SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(Handle("Label8"), WM_GETFONT, 0, 0)));
    char face[LF_FACESIZE] = {};
    GetTextFaceA(dc, sizeof face, face);
    ReleaseDC(Handle("Label8"), dc);
    EXPECT_STREQ(face, "MS Sans Serif");
}

TEST_F(MainWindowTest, ColoursOfFieldsLabelsLinksAndLamp) {
    struct Case {
        const char* name;
        UINT message;  // how the control asks its parent
        COLORREF text, background;
    };
    const Case cases[] = {
        {"FileLocationDisplay", WM_CTLCOLOREDIT, kBlack, kYellow},
        {"Callsign", WM_CTLCOLOREDIT, kBlack, kYellow},
        {"Validation", WM_CTLCOLOREDIT, kBlack, kYellow},
        {"Interval", WM_CTLCOLOREDIT, kBlack, kYellow},
        {"LatDeg", WM_CTLCOLOREDIT, kBlack, kYellow},
        {"LatSec", WM_CTLCOLOREDIT, kBlack, kYellow},
        {"LonSec", WM_CTLCOLOREDIT, kBlack, kYellow},
        {"ComboBox1", WM_CTLCOLOREDIT, kBlack, kYellow},
        {"LatHem", WM_CTLCOLOREDIT, kBlack, kYellow},
        {"LonHem", WM_CTLCOLORLISTBOX, kBlack, kYellow},
        // Disabled edits ask as statics; AutoServer is checked at creation.
        {"serverNameEdit", WM_CTLCOLORSTATIC, kRed, kSilver},
        {"ServerPortEdit", WM_CTLCOLORSTATIC, kRed, kSilver},
        {"Label8", WM_CTLCOLORSTATIC, kBlack, kWindowColor},
        {"Label17", WM_CTLCOLORSTATIC, kBlack, kWindowColor},
        {"Label13", WM_CTLCOLORSTATIC, kBlue, kWindowColor},
        {"Label15", WM_CTLCOLORSTATIC, kBlue, kWindowColor},
        {"Label23", WM_CTLCOLORSTATIC, kBlue, kWindowColor},
        {"Label7", WM_CTLCOLORSTATIC, kBlack, kWindowColor},
        {"AutoServer", WM_CTLCOLORSTATIC, kBlack, kWindowColor},
        {"GroupBox3", WM_CTLCOLORSTATIC, kBlack, kWindowColor},
        {"abcButton1", WM_CTLCOLORBTN, kBlack, kWindowColor},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Look look = LookOf(Handle(c.name), c.message);
        EXPECT_EQ(look.text, c.text);
        EXPECT_EQ(look.background, c.background);
        EXPECT_EQ(look.brush, c.background);
    }
    EXPECT_EQ(form->LED->Color(), kGrey);
    EXPECT_EQ(form->LED->BevelWidth(), 2);

    // The window's own background, and the lamp painted in its colour
    // inside a raised outer and a lowered inner bevel.
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 32, 32);
    HGDIOBJ old = SelectObject(dc, bitmap);
    SendMessageA(form->Handle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    EXPECT_EQ(GetPixel(dc, 1, 1), kWindowColor);
    SendMessageA(form->LED->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    EXPECT_EQ(GetPixel(dc, 12, 12), kGrey);
    EXPECT_EQ(GetPixel(dc, 0, 0), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(GetPixel(dc, 24, 24), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(GetPixel(dc, 2, 2), GetSysColor(COLOR_BTNSHADOW));
    form->LED->SetColor(RGB(0, 255, 0));
    SendMessageA(form->LED->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    EXPECT_EQ(GetPixel(dc, 12, 12), RGB(0, 255, 0));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

TEST_F(MainWindowTest, LinkLabelsShowTheHandAndReportClicks) {
    for (const char* name : {"Label13", "Label15", "Label23"}) {
        SCOPED_TRACE(name);
        auto* label = dynamic_cast<rtl::TLabel*>(form->FindControl(name));
        ASSERT_NE(label, nullptr);
        EXPECT_TRUE(label->IsLink());
        int clicks = 0;
        rtl::TControl* sender = nullptr;
        label->OnClick = [&](rtl::TControl* s) {
            ++clicks;
            sender = s;
        };
        // What a click on a notifying static sends to its parent.
        SendMessageA(GetParent(label->Handle()), WM_COMMAND,
                     MAKEWPARAM(GetDlgCtrlID(label->Handle()), STN_CLICKED),
                     reinterpret_cast<LPARAM>(label->Handle()));
        EXPECT_EQ(clicks, 1);
        EXPECT_EQ(sender, label);
        EXPECT_TRUE(GetWindowLongPtrA(label->Handle(), GWL_STYLE) & SS_NOTIFY);
        // The hand cursor.
        SendMessageA(label->Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(label->Handle()),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND)));
    }
    // Plain labels show "&" as it is.
    EXPECT_TRUE(GetWindowLongPtrA(Handle("Label8"), GWL_STYLE) & SS_NOPREFIX);
}

TEST_F(MainWindowTest, Label19IsInertToTheMouse) {
    // The mouse, moved and clicked through the system's input, over the
    // sliver where Label19 lies; Label15, a link that works, for comparison.
    auto moveAndClick = [&](rtl::TLabel* label) {
        RECT r{};
        GetWindowRect(label->Handle(), &r);
        const POINT at{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
        INPUT input[3] = {};
        for (INPUT& i : input) {
            i.type = INPUT_MOUSE;
            i.mi.dx = at.x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
            i.mi.dy = at.y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
        }
        input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        input[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
        input[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
        SendInput(1, &input[0], sizeof(INPUT));
        rtl::Application().ProcessMessages();
        const HCURSOR cursor = GetCursor();
        SendInput(2, &input[1], sizeof(INPUT));
        rtl::Application().ProcessMessages();
        return cursor;
    };
    const HCURSOR hand = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND));
    int label15Clicks = 0, label19Clicks = 0;
    form->Label15->OnClick = [&](rtl::TControl*) { ++label15Clicks; };
    form->Label19->OnClick = [&](rtl::TControl*) { ++label19Clicks; };
    SetForegroundWindow(form->Handle());

    EXPECT_EQ(moveAndClick(form->Label15), hand);
    EXPECT_EQ(label15Clicks, 1) << "the mouse reaches a working link";

    EXPECT_NE(moveAndClick(form->Label19), hand);
    EXPECT_EQ(label19Clicks, 0);
    EXPECT_EQ(label15Clicks, 1);
    RECT r{};
    GetWindowRect(form->Label19->Handle(), &r);
    EXPECT_NE(WindowFromPoint(POINT{r.left + 1, r.top + 6}), form->Label19->Handle());
}

TEST_F(MainWindowTest, CreationValuesOfEverySettingAndStatusField) {
    struct Expected {
        const char* name;
        const char* text;
    };
    const Expected texts[] = {
        {"FileLocationDisplay", ""}, {"Callsign", ""},       {"Validation", "-1"},   {"Interval", "10"},
        {"ComboBox1", ""},           {"LatDeg", "0"},         {"LatMin", "0"},        {"LatSec", "0.000"},
        {"LatHem", "Northern"},      {"LonDeg", "0"},         {"LonMin", "0"},        {"LonSec", "0.000"},
        {"LonHem", "Western"},       {"serverNameEdit", ""}, {"ServerPortEdit", ""}, {"Label1", ""},
        {"Label2", ""},              {"Label20", ""},         {"Label22", "Server:"}, {"LED", ""},
    };
    for (const Expected& e : texts) EXPECT_EQ(WindowText(Handle(e.name)), e.text) << e.name;

    EXPECT_EQ(form->ComboBox1->ItemIndex(), -1);
    EXPECT_EQ(form->LatHem->ItemIndex(), 0);
    EXPECT_EQ(form->LonHem->ItemIndex(), 0);
    EXPECT_EQ(form->Interval->Value(), 10);
    EXPECT_EQ(form->LatDeg->Value(), 0);
    EXPECT_EQ(form->LatSec->Value(), 0.0L);
    EXPECT_TRUE(form->AutoServer->Checked());
    EXPECT_FALSE(form->Minimized->Checked());
    EXPECT_TRUE(form->AutoStart->Checked());
    EXPECT_FALSE(form->Upload.UploadBusy);
    EXPECT_TRUE(form->Upload.CurrentPacket.empty());
    EXPECT_EQ(form->LED->Color(), kGrey);

    // The station list: every model of the table, sorted.
    const std::vector<std::string> models = {
        "Capricorn 2000",
        "Dallas 1-wire",
        "Davis Vantage Pro",
        "Davis Vantage Pro Plus",
        "Davis Weather Monitor II",
        "Davis Weather Wizzard III",
        "LaCrosse/WS2000",
        "Rainwise WT-2000, WS-2000",
        "Ultimeter 100/800/2000",
        "WM918, WX-200",
        "WMR-918",
        "WMR-968, WMR-918H, WMR-918N, WMR-928",
    };
    ASSERT_EQ(form->ComboBox1->Count(), static_cast<int>(models.size()));
    for (int i = 0; i < form->ComboBox1->Count(); ++i) EXPECT_EQ(form->ComboBox1->Item(i), models[i]);
    EXPECT_TRUE(GetWindowLongPtrA(Handle("ComboBox1"), GWL_STYLE) & CBS_SORT);

    const std::vector<std::string> latitude = {"Northern", "Southern"}, longitude = {"Western", "Eastern"};
    ASSERT_EQ(form->LatHem->Count(), 2);
    ASSERT_EQ(form->LonHem->Count(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(form->LatHem->Item(i), latitude[i]);
        EXPECT_EQ(form->LonHem->Item(i), longitude[i]);
    }

    // The server fields follow AutoServer from the start.
    EXPECT_FALSE(form->serverNameEdit->Enabled());
    EXPECT_FALSE(form->ServerPortEdit->Enabled());
    EXPECT_EQ(form->serverNameEdit->Color(), kSilver);
    // The timers are there with their periods; only the start alignment runs.
    EXPECT_EQ(form->Timer1.Interval(), 10000u);
    EXPECT_EQ(form->Timer2.Interval(), 10u);
    EXPECT_EQ(form->DelayTimer.Interval(), 60000u);
    EXPECT_FALSE(form->Timer1.Enabled() || form->Timer2.Enabled());
    EXPECT_TRUE(form->DelayTimer.Enabled());
}

// Everything a user can see of a control.
struct ControlState {
    std::string text;
    bool enabled;
    COLORREF color;
    LRESULT checked;
    bool operator==(const ControlState&) const = default;
};

TEST_F(MainWindowTest, AutoServerEnablesAndRecoloursTheServerFieldsBothWays) {
    auto fields = {form->serverNameEdit, form->ServerPortEdit};
    form->AutoServer->Click();  // as the user does
    EXPECT_FALSE(form->AutoServer->Checked());
    for (rtl::TEdit* field : fields) {
        EXPECT_TRUE(field->Enabled()) << field->Name();
        EXPECT_EQ(field->Color(), kYellow);
        EXPECT_EQ(LookOf(field->Handle(), WM_CTLCOLOREDIT).brush, kYellow);
        EXPECT_EQ(LookOf(field->Handle(), WM_CTLCOLOREDIT).text, kRed);
    }
    form->AutoServer->Click();
    EXPECT_TRUE(form->AutoServer->Checked());
    for (rtl::TEdit* field : fields) {
        EXPECT_FALSE(field->Enabled()) << field->Name();
        EXPECT_EQ(field->Color(), kSilver);
        EXPECT_EQ(LookOf(field->Handle(), WM_CTLCOLORSTATIC).brush, kSilver);
    }
}

TEST_F(MainWindowTest, ClicksOnTheOtherCheckBoxesChangeNothingElse) {
    auto snapshot = [&] {
        std::map<std::string, ControlState> state;
        for (const auto& control : form->Controls())
            state[control->Name()] = ControlState{WindowText(control->Handle()), control->Enabled(),
                                                  control->Color(),
                                                  SendMessageA(control->Handle(), BM_GETCHECK, 0, 0)};
        return state;
    };
    for (bool automatic : {true, false}) {
        if (form->AutoServer->Checked() != automatic) form->AutoServer->Click();
        for (rtl::TCheckBox* box : {form->Minimized, form->AutoStart}) {
            SCOPED_TRACE(box->Name() + (automatic ? " with AutoServer checked" : " with AutoServer unchecked"));
            auto before = snapshot();
            const bool wasChecked = box->Checked();
            box->Click();
            auto after = snapshot();
            EXPECT_NE(box->Checked(), wasChecked) << "the box itself toggles";
            before.erase(box->Name());
            after.erase(box->Name());
            EXPECT_EQ(before, after);
            EXPECT_EQ(form->serverNameEdit->Enabled(), !automatic);
        }
    }
}

TEST_F(MainWindowTest, ClosingTheMainWindowEndsTheMessageLoop) {
    rtl::Application().SetMainForm(form->Handle());
    PostMessageA(form->Handle(), WM_CLOSE, 0, 0);
    rtl::Application().Run();  // returns only when the close ended the loop
    EXPECT_TRUE(rtl::Application().Terminated());
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    rtl::Application().SetMainForm(nullptr);
    rtl::Application().ResetTerminated();
    HWND hwnd = form->Handle();
    form.reset();
    EXPECT_FALSE(IsWindow(hwnd)) << "the window is destroyed with its object";
}

TEST_F(MainWindowTest, EscapeAndEnterDoNotCloseTheWindow) {
    rtl::Application().SetMainForm(form->Handle());
    SetFocus(form->Callsign->Handle());
    for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
        PostMessageA(form->Callsign->Handle(), WM_KEYDOWN, key, 1);
        PostMessageA(form->Callsign->Handle(), WM_KEYUP, key, 0xC0000001);
    }
    rtl::Application().ProcessMessages();
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    EXPECT_FALSE(rtl::Application().Terminated());
    rtl::Application().SetMainForm(nullptr);
}

}  // namespace
