// The version label: what it reads from the version resource of the running
// test program (which carries the program's own resource), the text it shows,
// how it draws, and how the main window sets it up.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SettingsSupport.h"
#include "Teskaprs1.h"
#include "TestSupport.h"
#include "rtl/Files.h"
#include "ui/Abcversn.h"

namespace {

using testsupport::WindowText;

const COLORREF kParentColor = RGB(10, 200, 30);

// A plain window to put labels on, filled with kParentColor.
class ParentWindow {
public:
    ParentWindow() {
        HINSTANCE instance = GetModuleHandleA(nullptr);
        WNDCLASSA wc{};
        if (!GetClassInfoA(instance, "VersionLabelTestParent", &wc)) {
            wc = WNDCLASSA{};
            wc.lpfnWndProc = DefWindowProcA;
            wc.hInstance = instance;
            wc.hbrBackground = CreateSolidBrush(kParentColor);
            wc.lpszClassName = "VersionLabelTestParent";
            RegisterClassA(&wc);
        }
        handle = CreateWindowExA(0, "VersionLabelTestParent", "parent", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0,
                                 0, 300, 200, nullptr, nullptr, instance, nullptr);
    }
    ~ParentWindow() { DestroyWindow(handle); }
    HWND handle;
};

// A bitmap the size of a window, with what the window draws of itself.
class Rendering {
public:
    explicit Rendering(HWND hwnd) {
        RECT r{};
        GetClientRect(hwnd, &r);
        width = r.right;
        height = r.bottom;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, nullptr, nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        // Something the label must paint over.
        RECT all{0, 0, width, height};
        HBRUSH stale = CreateSolidBrush(RGB(255, 0, 255));
        FillRect(dc_, &all, stale);
        DeleteObject(stale);
        SendMessageA(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc_), PRF_CLIENT);
    }
    ~Rendering() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }
    // How many pixels of the rows [top, bottom) have the colour.
    int Count(COLORREF color, int top = 0, int bottom = -1) const {
        if (bottom < 0) bottom = height;
        int n = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < width; ++x) n += At(x, y) == color;
        return n;
    }
    // The first column that has a pixel other than the background; -1 if none.
    int FirstColumnNot(COLORREF background) const {
        for (int x = 0; x < width; ++x)
            for (int y = 0; y < height; ++y)
                if (At(x, y) != background) return x;
        return -1;
    }
    int width = 0, height = 0;

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

class VersionLabelTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::InitApplication();
        font = CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
    }
    void TearDown() override {
        labels.clear();
        DeleteObject(font);
        EXPECT_TRUE(errors.shown.empty()) << errors.shown.front().second;
    }

    // A label as the window has it: 45 by 29 pixels, the window's colour.
    ui::TabcVersionLabel& NewLabel(COLORREF color = RGB(212, 208, 200), int width = 45, int height = 29) {
        labels.push_back(std::make_unique<ui::TabcVersionLabel>(parent.handle, 100 + static_cast<int>(labels.size()),
                                                                "abcVersionLabel", rtl::TBounds{4, 4, width, height},
                                                                color));
        labels.back()->SetFont(font);
        return *labels.back();
    }
    static void AddItem(ui::TabcVersionLabel& label, const std::string& key, const std::string& caption = "",
                        bool visible = true) {
        ui::TabcVersionInfoItem& item = label.VersionInfo().Add();
        item.SetKey(key);
        item.SetCaption(caption);
        item.SetVisible(visible);
    }

    testsupport::ErrorRecorder errors;
    ParentWindow parent;
    HFONT font = nullptr;
    std::vector<std::unique_ptr<ui::TabcVersionLabel>> labels;
};

// ---------------------------------------------------------------- the resource

TEST_F(VersionLabelTest, TheProgramsVersionResourceIsAsPublished) {
    const std::string path = rtl::ProgramPath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.substr(path.size() - 4), ".exe");
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data.data()));

    void* value = nullptr;
    UINT length = 0;
    char root[] = "\\";
    ASSERT_TRUE(VerQueryValueA(data.data(), root, &value, &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, value, sizeof fixed);
    EXPECT_EQ(fixed.dwFileVersionMS, MAKELONG(9, 1));
    EXPECT_EQ(fixed.dwFileVersionLS, MAKELONG(0, 8));
    EXPECT_EQ(fixed.dwProductVersionMS, MAKELONG(9, 1));
    EXPECT_EQ(fixed.dwProductVersionLS, MAKELONG(0, 8));
    EXPECT_EQ(fixed.dwFileFlags, 0u);
    EXPECT_EQ(fixed.dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));

    // One language and code page: British English, Windows Latin-1.
    char translation[] = "\\VarFileInfo\\Translation";
    ASSERT_TRUE(VerQueryValueA(data.data(), translation, &value, &length));
    ASSERT_EQ(length, 4u);
    WORD pair[2];
    std::memcpy(pair, value, sizeof pair);
    EXPECT_EQ(pair[0], 0x0809);
    EXPECT_EQ(pair[1], 1252);

    // The manifest that asks for version 6 of the common controls.
    HRSRC manifest = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(manifest, nullptr);
    const char* text = static_cast<const char*>(LockResource(LoadResource(nullptr, manifest)));
    const std::string xml(text, SizeofResource(nullptr, manifest));
    EXPECT_NE(xml.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(xml.find("level=\"asInvoker\""), std::string::npos);

    // And the system took it: the common controls in use are those of the
    // side-by-side assembly of version 6, not the system folder's.
    HMODULE controls = GetModuleHandleA("comctl32.dll");
    ASSERT_NE(controls, nullptr);
    char loaded[MAX_PATH] = {};
    GetModuleFileNameA(controls, loaded, MAX_PATH);
    std::string lower = loaded;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(lower.find("\\winsxs\\"), std::string::npos) << loaded;
    EXPECT_NE(lower.find("microsoft.windows.common-controls_6595b64144ccf1df_6."), std::string::npos) << loaded;
}

TEST_F(VersionLabelTest, ReadsEveryKeyOfTheRunningProgram) {
    struct Case {
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {"FileVersion", "1.9.8.0"},
        {"ProductVersion", "1.0.0.0"},
        {"FileDescription", "Tesk to APRS conversion"},
        {"ProductName", "Teskaprs"},
        {"CompanyName", "Teskaprs developers"},
        {"LegalCopyright", "Copyright (c) Teskaprs developers"},
        {"BuildFlags", ""},  // none set
        {"Comments", ""},    // not in the resource
        {"", ""},            // names the string table, not a string
    };
    ui::TabcVersionLabel& label = NewLabel();
    for (const Case& c : cases) AddItem(label, c.key);
    label.Loaded();
    for (const Case& c : cases) EXPECT_EQ(label.GetVersionInfoValue(c.key), c.value) << c.key;

    // The lookup wants the key exactly: other letter case or blanks find nothing.
    for (const char* other : {"fileversion", "FILEVERSION", "Fileversion", "FileVersion ", " FileVersion", "File"})
        EXPECT_EQ(label.GetVersionInfoValue(other), "") << other;
}

TEST_F(VersionLabelTest, LookupTakesTheFirstItemOfAKey) {
    ui::TabcVersionLabel& label = NewLabel();
    AddItem(label, "ProductName", "first");
    AddItem(label, "FileVersion");
    label.Loaded();
    ASSERT_EQ(label.GetVersionInfoValue("ProductName"), "Teskaprs");
    // A second item of the same key, changed by hand after the reading.
    AddItem(label, "ProductName", "second");
    label.VersionInfo().Items(2).SetVisible(false);
    EXPECT_EQ(label.VersionInfo().Items(2).Value(), "Teskaprs");
    EXPECT_EQ(label.GetVersionInfoValue("ProductName"), "Teskaprs");
    label.VersionInfo().Delete(0);
    EXPECT_EQ(label.GetVersionInfoValue("ProductName"), "Teskaprs");
    EXPECT_EQ(label.VersionInfo().Count(), 2);
    label.VersionInfo().Clear();
    EXPECT_EQ(label.GetVersionInfoValue("FileVersion"), "");
    EXPECT_THROW(label.VersionInfo().Delete(0), std::out_of_range);
}

// ---------------------------------------------------------------- the text

TEST_F(VersionLabelTest, TextOfTheVisibleItems) {
    struct Item {
        const char* key;
        const char* caption;
        bool visible;
    };
    struct Case {
        const char* what;
        std::vector<Item> items;
        bool doubleSpaced;
        std::uint8_t tabStop;
        const char* text;
    };
    const Case cases[] = {
        {"as in the window", {{"FileVersion", "", true}}, false, 10, "\t1.9.8.0\r\n"},
        {"double spaced", {{"FileVersion", "", true}}, true, 10, "\t1.9.8.0\r\n\r\n"},
        {"no tab stop, no tab", {{"FileVersion", "Version ", true}}, false, 0, "Version 1.9.8.0\r\n"},
        {"caption and tab", {{"ProductName", "Name:", true}}, false, 4, "Name:\tTeskaprs\r\n"},
        {"two items in order",
         {{"ProductName", "P", true}, {"FileVersion", "V", true}},
         true,
         10,
         "P\tTeskaprs\r\n\r\nV\t1.9.8.0\r\n\r\n"},
        {"a hidden item is left out",
         {{"ProductName", "P", false}, {"FileVersion", "V", true}},
         false,
         10,
         "V\t1.9.8.0\r\n"},
        {"a key the resource lacks", {{"Comments", "C:", true}}, false, 10, "C:\t\r\n"},
        {"build flags", {{"BuildFlags", "Flags", true}}, false, 0, "Flags\r\n"},
        {"no items", {}, true, 10, ""},
        {"only hidden items", {{"FileVersion", "", false}}, true, 10, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ui::TabcVersionLabel& label = NewLabel();
        label.SetDoubleSpaced(c.doubleSpaced);
        label.SetTabStop(c.tabStop);
        for (const Item& item : c.items) AddItem(label, item.key, item.caption, item.visible);
        label.Loaded();
        EXPECT_EQ(WindowText(label.Handle()), c.text);
        for (const Item& item : c.items) {  // hidden items are read all the same
            if (std::string(item.key) == "FileVersion") {
                EXPECT_EQ(label.GetVersionInfoValue("FileVersion"), "1.9.8.0");
            }
        }
    }
}

TEST_F(VersionLabelTest, DefaultsAndNothingReadBeforeLoading) {
    ui::TabcVersionLabel& label = NewLabel();
    EXPECT_TRUE(label.DoubleSpaced());
    EXPECT_EQ(label.TabStop(), 10);
    EXPECT_FALSE(label.Transparent());
    EXPECT_EQ(label.VersionInfo().Count(), 0);
    EXPECT_EQ(label.VersionInfo().Label(), &label);

    AddItem(label, "FileVersion");
    const ui::TabcVersionInfoItem& item = label.VersionInfo().Items(0);
    EXPECT_TRUE(item.Visible());
    EXPECT_EQ(item.Caption(), "");
    EXPECT_EQ(item.DisplayName(), "FileVersion");
    EXPECT_EQ(item.Value(), "") << "read before the set-up was finished";
    EXPECT_EQ(WindowText(label.Handle()), "");
    label.Loaded();
    EXPECT_EQ(item.Value(), "1.9.8.0");
    EXPECT_EQ(WindowText(label.Handle()), "\t1.9.8.0\r\n\r\n");
}

TEST_F(VersionLabelTest, ChangesRebuildTheText) {
    ui::TabcVersionLabel& label = NewLabel();
    AddItem(label, "FileVersion");
    label.Loaded();
    label.SetDoubleSpaced(false);
    EXPECT_EQ(WindowText(label.Handle()), "\t1.9.8.0\r\n");
    label.SetTabStop(0);
    EXPECT_EQ(WindowText(label.Handle()), "1.9.8.0\r\n");
    label.SetTabStop(8);
    EXPECT_EQ(WindowText(label.Handle()), "\t1.9.8.0\r\n");

    // A changed key is read at once.
    ui::TabcVersionInfoItem& item = label.VersionInfo().Items(0);
    item.SetKey("ProductName");
    EXPECT_EQ(item.Value(), "Teskaprs");
    EXPECT_EQ(WindowText(label.Handle()), "\tTeskaprs\r\n");
    item.SetCaption("Name");
    EXPECT_EQ(WindowText(label.Handle()), "Name\tTeskaprs\r\n");
    item.SetVisible(false);
    EXPECT_EQ(WindowText(label.Handle()), "");
    EXPECT_EQ(label.GetVersionInfoValue("ProductName"), "Teskaprs");
    // A value set by hand gives way to what the resource holds.
    item.SetValue("9.9");
    EXPECT_EQ(item.Value(), "Teskaprs");
}

TEST_F(VersionLabelTest, AssigningCopiesCaptionAndKeyAndReadsAfresh) {
    ui::TabcVersionInfoCollection source;  // belongs to no label: nothing is read
    ui::TabcVersionInfoItem& a = source.Add();
    a.SetKey("FileVersion");
    a.SetCaption("V");
    a.SetValue("stale");
    ui::TabcVersionInfoItem& b = source.Add();
    b.SetKey("ProductName");
    b.SetCaption("P");
    EXPECT_EQ(a.Value(), "stale");

    ui::TabcVersionLabel& label = NewLabel();
    label.SetDoubleSpaced(false);
    label.Loaded();
    int updates = 0;
    label.OnUpdateVersionInfo = [&](rtl::TControl*) { ++updates; };
    label.SetVersionInfo(source);
    EXPECT_EQ(updates, 1) << "the whole copy is read once";
    ASSERT_EQ(label.VersionInfo().Count(), 2);
    EXPECT_EQ(label.VersionInfo().Items(0).Caption(), "V");
    EXPECT_EQ(label.VersionInfo().Items(0).Value(), "1.9.8.0");
    EXPECT_EQ(label.VersionInfo().Items(1).Key(), "ProductName");
    EXPECT_EQ(WindowText(label.Handle()), "V\t1.9.8.0\r\nP\tTeskaprs\r\n");
    EXPECT_EQ(source.Count(), 2) << "the source keeps its items";

    // An item alone: caption and key, the value cleared.
    ui::TabcVersionInfoItem lone;
    lone.SetValue("old");
    lone.Assign(a);
    EXPECT_EQ(lone.Key(), "FileVersion");
    EXPECT_EQ(lone.Caption(), "V");
    EXPECT_EQ(lone.Value(), "");
}

TEST_F(VersionLabelTest, UpdateEventComesWithTheValuesBeforeTheText) {
    ui::TabcVersionLabel& label = NewLabel();
    AddItem(label, "FileVersion");
    std::vector<std::string> seen;
    label.OnUpdateVersionInfo = [&](rtl::TControl* sender) {
        EXPECT_EQ(sender, &label);
        seen.push_back(label.GetVersionInfoValue("FileVersion") + "|" + WindowText(label.Handle()));
    };
    label.Loaded();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "1.9.8.0|");
    label.UpdateVersionInfo();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1], "1.9.8.0|\t1.9.8.0\r\n\r\n");

    // A handler that changes the items is not called again from inside itself.
    label.OnUpdateVersionInfo = [&](rtl::TControl*) {
        seen.push_back("changing");
        label.VersionInfo().Items(0).SetCaption("V");
    };
    label.UpdateVersionInfo();
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_EQ(WindowText(label.Handle()), "V\t1.9.8.0\r\n\r\n");
}

// A copy of a program with a version resource of the test's own making.
class VersionedCopy {
public:
    // flags: the fixed information's file flags; translation: whether the
    // resource has a translation table (its strings are under "040904E4"
    // either way).
    VersionedCopy(const testsupport::TempFolder& folder, DWORD flags, bool translation) {
        path = folder.File("versioned-" + std::to_string(flags) + (translation ? "t" : "") + ".exe");
        const std::string source = Beside("recordargs.exe");
        ok = CopyFileA(source.c_str(), path.c_str(), FALSE) != FALSE;
        if (!ok) return;
        const std::string blob = Resource(flags, translation);
        HANDLE update = BeginUpdateResourceA(path.c_str(), FALSE);
        ok = update && UpdateResourceA(update, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1),
                                       MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                       const_cast<char*>(blob.data()), static_cast<DWORD>(blob.size())) &&
             EndUpdateResourceA(update, FALSE);
    }
    std::string path;
    bool ok = false;

    static std::string Beside(const std::string& name) {
        const std::string self = rtl::ProgramPath();
        return self.substr(0, self.find_last_of('\\') + 1) + name;
    }

private:
    static void Pad(std::string& s) {
        while (s.size() % 4) s += '\0';
    }
    static std::string Wide(const std::string& text) {
        std::string out;
        for (char c : text) {
            out += c;
            out += '\0';
        }
        out += std::string(2, '\0');
        return out;
    }
    // One block of a version resource: length, value length, type, key,
    // value, children, each part on a four-byte boundary.
    static std::string Block(const std::string& key, const std::string& value, WORD valueLength, WORD type,
                             const std::string& children) {
        std::string s(6, '\0');
        s += Wide(key);
        Pad(s);
        s += value;
        Pad(s);
        s += children;
        Pad(s);
        const WORD length = static_cast<WORD>(s.size());
        std::memcpy(&s[0], &length, 2);
        std::memcpy(&s[2], &valueLength, 2);
        std::memcpy(&s[4], &type, 2);
        return s;
    }
    static std::string Resource(DWORD flags, bool translation) {
        VS_FIXEDFILEINFO fixed{};
        fixed.dwSignature = VS_FFI_SIGNATURE;
        fixed.dwStrucVersion = VS_FFI_STRUCVERSION;
        fixed.dwFileVersionMS = MAKELONG(0, 7);
        fixed.dwFileFlagsMask = VS_FFI_FILEFLAGSMASK;
        fixed.dwFileFlags = flags;
        fixed.dwFileOS = VOS_NT_WINDOWS32;
        fixed.dwFileType = VFT_APP;
        const std::string fixedBytes(reinterpret_cast<const char*>(&fixed), sizeof fixed);
        const std::string version = Wide("7.7");
        const std::string strings = Block(
            "StringFileInfo", "", 0, 1,
            Block("040904E4", "", 0, 1, Block("FileVersion", version, static_cast<WORD>(version.size() / 2), 1, "")));
        std::string children = strings;
        if (translation) {
            // German, Windows Latin-1: a table no string block matches.
            const WORD pair[2] = {0x0407, 1252};
            const std::string pairBytes(reinterpret_cast<const char*>(pair), sizeof pair);
            children += Block("VarFileInfo", "", 0, 1, Block("Translation", pairBytes, 4, 0, ""));
        }
        return Block("VS_VERSION_INFO", fixedBytes, static_cast<WORD>(sizeof fixed), 0, children);
    }
};

TEST_F(VersionLabelTest, BuildFlagsAndTheDefaultTranslationOfOtherFiles) {
    testsupport::TempFolder folder;
    struct Case {
        DWORD flags;
        const char* names;
    };
    const Case cases[] = {
        {0, ""},
        {VS_FF_DEBUG, "Debug"},
        {VS_FF_PRERELEASE | VS_FF_PRIVATEBUILD, "Pre-Release, Private"},
        {VS_FF_DEBUG | VS_FF_PRERELEASE | VS_FF_PATCHED | VS_FF_PRIVATEBUILD | VS_FF_INFOINFERRED |
             VS_FF_SPECIALBUILD,
         "Debug, InfoInferred, Patched, Pre-Release, Private, Special"},
        {VS_FF_SPECIALBUILD | VS_FF_PATCHED, "Patched, Special"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.names);
        VersionedCopy copy(folder, c.flags, false);
        ASSERT_TRUE(copy.ok) << "cannot make " << copy.path;
        ui::TabcVersionLabel& label = NewLabel();
        label.FileName = copy.path;
        AddItem(label, "BuildFlags");
        AddItem(label, "FileVersion");
        label.Loaded();
        EXPECT_EQ(label.GetVersionInfoValue("BuildFlags"), c.names);
        // No translation table: the strings come from "040904E4".
        EXPECT_EQ(label.GetVersionInfoValue("FileVersion"), "7.7");
    }

    // With a translation table, its first entry decides; here no strings match it.
    VersionedCopy german(folder, VS_FF_DEBUG, true);
    ASSERT_TRUE(german.ok);
    ui::TabcVersionLabel& label = NewLabel();
    label.FileName = german.path;
    AddItem(label, "FileVersion");
    AddItem(label, "BuildFlags");
    label.Loaded();
    EXPECT_EQ(label.GetVersionInfoValue("FileVersion"), "");
    EXPECT_EQ(label.GetVersionInfoValue("BuildFlags"), "Debug");
}

TEST_F(VersionLabelTest, AFileWithoutVersionInformationGivesEmptyValues) {
    for (const std::string& file : {VersionedCopy::Beside("recordargs.exe"), std::string("Z:\\no\\such\\file.exe")}) {
        SCOPED_TRACE(file);
        ui::TabcVersionLabel& label = NewLabel();
        label.FileName = file;
        AddItem(label, "FileVersion");
        AddItem(label, "BuildFlags", "B");
        int updates = 0;
        label.OnUpdateVersionInfo = [&](rtl::TControl*) { ++updates; };
        label.Loaded();
        EXPECT_EQ(updates, 1);
        EXPECT_EQ(label.GetVersionInfoValue("FileVersion"), "");
        EXPECT_EQ(label.GetVersionInfoValue("BuildFlags"), "");
        EXPECT_EQ(WindowText(label.Handle()), "\t\r\n\r\nB\t\r\n\r\n");
    }
}

// ---------------------------------------------------------------- drawing

TEST_F(VersionLabelTest, DrawsTheVersionOnTheSecondLineInItsColours) {
    const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255);
    ui::TabcVersionLabel& label = NewLabel(red);
    label.SetFontColor(blue);
    label.SetDoubleSpaced(false);
    AddItem(label, "FileVersion");
    label.Loaded();
    {
        Rendering shot(label.Handle());
        ASSERT_EQ(shot.width, 45);
        EXPECT_EQ(shot.At(0, 0), red) << "filled with its colour";
        EXPECT_EQ(shot.At(44, 28), red);
        EXPECT_EQ(shot.Count(RGB(255, 0, 255)), 0) << "every pixel painted";
        // The tab stop lies beyond the width: the first line stays empty and
        // the version starts the second, 13 pixels down, at the left edge.
        EXPECT_EQ(shot.Count(blue, 0, 13), 0);
        EXPECT_GT(shot.Count(blue, 13, 26), 10);
        EXPECT_LE(shot.FirstColumnNot(red), 2);
    }
    // Without tab stop the version starts the first line.
    label.SetTabStop(0);
    {
        Rendering shot(label.Handle());
        EXPECT_GT(shot.Count(blue, 0, 13), 10);
        EXPECT_EQ(shot.Count(blue, 13, 29), 0);
    }
    // Where the version fits after the tab stop, it stays on the first line,
    // at the stop: ten average character widths in.
    ui::TabcVersionLabel& wide = NewLabel(red, 120, 29);
    wide.SetFontColor(blue);
    wide.SetDoubleSpaced(false);
    AddItem(wide, "FileVersion");
    wide.Loaded();
    {
        HDC dc = GetDC(wide.Handle());
        HGDIOBJ old = SelectObject(dc, font);
        TEXTMETRICA metrics{};
        GetTextMetricsA(dc, &metrics);
        SelectObject(dc, old);
        ReleaseDC(wide.Handle(), dc);
        Rendering shot(wide.Handle());
        EXPECT_GT(shot.Count(blue, 0, 13), 10);
        EXPECT_EQ(shot.Count(blue, 13, 29), 0);
        EXPECT_GE(shot.FirstColumnNot(red), 10 * metrics.tmAveCharWidth);
        EXPECT_LE(shot.FirstColumnNot(red), 10 * metrics.tmAveCharWidth + 2);
    }
    // Transparent: the parent shows through.
    label.SetTransparent(true);
    {
        Rendering shot(label.Handle());
        EXPECT_EQ(shot.At(44, 0), kParentColor);
        EXPECT_EQ(shot.Count(red), 0);
        EXPECT_GT(shot.Count(blue), 10);
    }
}

TEST_F(VersionLabelTest, ADisabledLabelIsEngraved) {
    const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT), shadow = GetSysColor(COLOR_BTNSHADOW);
    const COLORREF text = RGB(0, 0, 255), background = RGB(0, 0, 0);
    ASSERT_NE(highlight, shadow);
    ui::TabcVersionLabel& label = NewLabel(background, 80, 29);
    label.SetFontColor(text);
    label.SetTabStop(0);
    AddItem(label, "FileVersion");
    label.Loaded();
    label.SetEnabled(false);
    Rendering shot(label.Handle());
    EXPECT_EQ(shot.Count(text), 0);
    const int highlights = shot.Count(highlight), shadows = shot.Count(shadow);
    EXPECT_GT(highlights, 0);
    EXPECT_GT(shadows, 10);
    // The highlight sits one pixel to the right and down of the shadow.
    int below = 0;
    for (int y = 0; y + 1 < shot.height; ++y)
        for (int x = 0; x + 1 < shot.width; ++x)
            below += shot.At(x, y) == shadow && shot.At(x + 1, y + 1) != background;
    EXPECT_EQ(below, shadows);

    label.SetEnabled(true);
    Rendering enabled(label.Handle());
    EXPECT_GT(enabled.Count(text), 10);
    EXPECT_EQ(enabled.Count(highlight), 0);
}

TEST_F(VersionLabelTest, CaptionIsDrawnWithoutPrefixes) {
    // "&&&&" drawn with prefix processing would show two ampersands, not four.
    ui::TabcVersionLabel& amps = NewLabel(RGB(255, 255, 255), 120, 20);
    amps.SetTabStop(0);
    AddItem(amps, "Comments", "&&&&");
    amps.Loaded();
    ui::TabcVersionLabel& same = NewLabel(RGB(255, 255, 255), 120, 20);
    same.SetTabStop(0);
    AddItem(same, "Comments", "&&");
    same.Loaded();
    const int four = Rendering(amps.Handle()).Count(RGB(0, 0, 0));
    const int two = Rendering(same.Handle()).Count(RGB(0, 0, 0));
    EXPECT_GT(two, 0);
    EXPECT_EQ(four, 2 * two);
    // And the same with a tab stop set.
    amps.SetTabStop(10);
    same.SetTabStop(10);
    EXPECT_EQ(Rendering(amps.Handle()).Count(RGB(0, 0, 0)), four);
}

TEST_F(VersionLabelTest, ClicksReachTheEvents) {
    ui::TabcVersionLabel& label = NewLabel();
    int clicks = 0, doubleClicks = 0;
    label.OnClick = [&](rtl::TControl* sender) { clicks += sender == &label; };
    label.OnDblClick = [&](rtl::TControl* sender) { doubleClicks += sender == &label; };
    SendMessageA(label.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageA(label.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    SendMessageA(label.Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(3, 3));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(doubleClicks, 1);
}

// ---------------------------------------------------------------- in the window

TEST(VersionLabelInTheWindow, ShowsTheFileVersionBesideTheV) {
    testsupport::InitApplication();
    testsupport::ErrorRecorder errors;
    testsupport::CleanSettings clean;
    auto form = std::make_unique<TForm1>();
    ui::TabcVersionLabel& label = *form->abcVersionLabel1;
    EXPECT_EQ(form->FileVersion(), "1.9.8.0");
    EXPECT_EQ(WindowText(label.Handle()), "\t1.9.8.0\r\n");
    ASSERT_EQ(label.VersionInfo().Count(), 1);
    EXPECT_EQ(label.VersionInfo().Items(0).Key(), "FileVersion");
    EXPECT_EQ(label.VersionInfo().Items(0).Caption(), "");
    EXPECT_TRUE(label.VersionInfo().Items(0).Visible());
    EXPECT_FALSE(label.DoubleSpaced());
    EXPECT_EQ(label.TabStop(), 10);
    EXPECT_TRUE(label.Transparent());
    EXPECT_TRUE(label.IsLoaded());

    // The window's own background through the label; the version in black on
    // the second line, from the left edge, level with the "V".
    const COLORREF window = RGB(212, 208, 200);
    Rendering shot(label.Handle());
    EXPECT_EQ(shot.At(44, 0), window);
    // The label reaches two pixels below the window's client area, which
    // hides them; the rest is the window's background.
    EXPECT_EQ(shot.Count(RGB(255, 0, 255), 0, 343 - 316), 0);
    EXPECT_EQ(shot.Count(window, 0, 13), 45 * 13);
    EXPECT_GT(shot.Count(RGB(0, 0, 0), 13, 26), 10);
    EXPECT_LE(shot.FirstColumnNot(window), 2);
    RECT v{}, version{};
    GetWindowRect(form->Label16->Handle(), &v);
    GetWindowRect(label.Handle(), &version);
    EXPECT_EQ(version.top + 13, v.top);
    EXPECT_EQ(version.left, v.right + 2);

    // A real paint of the shown window goes through without failure.
    InvalidateRect(label.Handle(), nullptr, TRUE);
    UpdateWindow(label.Handle());
    form.reset();
    EXPECT_TRUE(errors.shown.empty()) << errors.shown.front().second;
}

}  // namespace
