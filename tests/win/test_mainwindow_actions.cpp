// The main window's actions: "Update Now" showing the reading and the
// packet, the Browse button with its dialog, and the program itself.
#include <windows.h>
#include <commdlg.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "Teskaprs1.h"
#include "LoopbackServer.h"
#include "SettingsSupport.h"
#include "TestSupport.h"
#include "rtl/Application.h"
#include "rtl/Utf.h"

namespace {

using testsupport::TempFolder;

using testsupport::WindowText;

class MainWindowActionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::InitApplication();
        testsupport::ForgetSavedSettings();
        form = std::make_unique<TForm1>();
        // "Update Now" uploads: only ever to a closed port on this machine.
        form->AutoServer->SetChecked(false);
        form->serverNameEdit->SetText("127.0.0.1");
        form->ServerPortEdit->SetText(std::to_string(testsupport::LoopbackServer::UnusedPort()));
    }
    void TearDown() override {
        form.reset();
        EXPECT_TRUE(errors.shown.empty()) << errors.shown.front().second;
    }

    void SelectModel(const std::string& model) {
        for (int i = 0; i < form->ComboBox1->Count(); ++i)
            if (form->ComboBox1->Item(i) == model) form->ComboBox1->SetItemIndex(i);
        ASSERT_EQ(form->ComboBox1->Item(form->ComboBox1->ItemIndex()), model);
    }
    // The station of the worked example: CW1234 at 51 28 30 N, 0 07 15 W.
    void EnterStation() {
        form->Callsign->SetText("CW1234");
        form->Validation->SetText("-1");
        form->LatDeg->SetValue(51);
        form->LatMin->SetValue(28);
        form->LatSec->SetValue(30);
        form->LonDeg->SetValue(0);
        form->LonMin->SetValue(7);
        form->LonSec->SetValue(15);
    }

    testsupport::ErrorRecorder errors;
    std::unique_ptr<TForm1> form;
};

TEST_F(MainWindowActionsTest, UpdateNowShowsTheLinesAndThePacket) {
    struct Case {
        const char* report;
        int hemisphere;     // LatHem and LonHem
        const char* model;  // nullptr: none selected
        const char* line1;
        const char* line2;
        const char* packet;
    };
    const Case cases[] = {
        {"Jan 05 2008 14:30\r\n180/005g010t065r000p000P000h55b10150\r\nfurther lines\r\n", 0, "Davis Vantage Pro",
         "Jan 05 2008 14:30", "180/005g010t065r000p000P000h55b10150",
         "CW1234>APRS,TCPXX*:@051430z5128.50N/00007.25W_180/005g010t065r000p000P000h55b10150v31\r\n"},
        {"Jan 05 2008 14:30\r\n180/005g010t065r000p000P000h100b9980\r\n", 1, nullptr, "Jan 05 2008 14:30",
         "180/005g010t065r000p000P000h100b9980",
         "CW1234>APRS,TCPXX*:@051430z5128.50S/00007.25E_180/005g010t065r000p000P000h00b09980v\r\n"},
        {"Feb 28 2009 07:05\r180/005g010t065r000p000P000h99b10001", 0, "Capricorn 2000", "Feb 28 2009 07:05",
         "180/005g010t065r000p000P000h99b10001",
         "CW1234>APRS,TCPXX*:@280705z5128.50N/00007.25W_180/005g010t065r000p000P000h99b10001v40\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line2);
        TempFolder folder;
        const std::string report = folder.Write("wxreport.txt", c.report);
        EnterStation();
        form->LatHem->SetItemIndex(c.hemisphere);
        form->LonHem->SetItemIndex(c.hemisphere);
        if (c.model)
            SelectModel(c.model);
        else
            form->ComboBox1->SetItemIndex(-1);
        form->FileLocationDisplay->SetText(report);
        form->Sensors = {};  // each case a station of its own, its pressure no jump from the last

        form->abcButton1->Click();

        EXPECT_EQ(WindowText(form->Label1->Handle()), c.line1);
        EXPECT_EQ(WindowText(form->Label2->Handle()), c.line2);
        EXPECT_EQ(WindowText(form->Label20->Handle()), c.packet);
        EXPECT_EQ(form->Upload.CurrentPacket, c.packet);
        EXPECT_TRUE(testsupport::PumpUntil([&] { return !form->Upload.UploadBusy; }, 3000))
            << "the refused connection ends the attempt";
    }
}

TEST_F(MainWindowActionsTest, TheStatusLabelsGrowToShowTheWholeText) {
    TempFolder folder;
    form->FileLocationDisplay->SetText(
        folder.Write("wxreport.txt", "Jan 05 2008 14:30\r\n180/005g010t065r000p000P000h55b10150\r\n"));
    EnterStation();
    form->abcButton1->Click();
    for (rtl::TLabel* label : {form->Label1, form->Label2, form->Label20}) {
        SCOPED_TRACE(label->Name());
        std::string firstLine = label->Text();
        firstLine = firstLine.substr(0, firstLine.find('\r'));
        HDC dc = GetDC(label->Handle());
        SelectObject(dc, label->Font());
        SIZE extent{};
        GetTextExtentPoint32A(dc, firstLine.c_str(), static_cast<int>(firstLine.size()), &extent);
        ReleaseDC(label->Handle(), dc);
        EXPECT_GE(label->Bounds().width, extent.cx);
        EXPECT_GE(label->Bounds().height, 13);
        RECT group{};
        GetClientRect(GetParent(label->Handle()), &group);
        EXPECT_LE(label->Bounds().left + extent.cx, group.right) << "the text fits inside its group box";
    }
}

TEST_F(MainWindowActionsTest, UpdateNowWithoutAReportChangesNothing) {
    TempFolder folder;
    form->FileLocationDisplay->SetText(
        folder.Write("wxreport.txt", "Jan 05 2008 14:30\r\n180/005g010t065r000p000P000h55b10150\r\n"));
    form->abcButton1->Click();
    const std::string packet = form->Label20->Text();
    ASSERT_FALSE(packet.empty());
    ASSERT_TRUE(testsupport::PumpUntil([&] { return !form->Upload.UploadBusy; }, 3000));

    for (const std::string& path : {folder.File("missing.txt"), folder.Path(), std::string()}) {
        SCOPED_TRACE(path);
        form->FileLocationDisplay->SetText(path);
        form->abcButton1->Click();
        EXPECT_EQ(form->Label1->Text(), "Jan 05 2008 14:30") << "the last reading stays on show";
        EXPECT_EQ(form->Label20->Text(), packet);
        EXPECT_FALSE(form->Upload.UploadBusy);
    }
}

TEST_F(MainWindowActionsTest, UpdateNowDoesNothingWhileAnAttemptIsUnderWay) {
    TempFolder folder;
    form->FileLocationDisplay->SetText(
        folder.Write("wxreport.txt", "Jan 05 2008 14:30\r\n180/005g010t065r000p000P000h55b10150\r\n"));
    form->Upload.UploadBusy = true;
    form->abcButton1->Click();
    EXPECT_EQ(form->Label1->Text(), "");
    EXPECT_EQ(form->Label20->Text(), "");
    EXPECT_TRUE(form->Upload.UploadBusy);
}

TEST_F(MainWindowActionsTest, BrowseOffersTheReportFileAndKeepsTheChoice) {
    int runs = 0;
    std::string chosen;  // empty: the user cancels
    OPENFILENAMEW seen{};
    std::string seenFile, seenFilter, seenDir, seenExt;
    form->OpenDialog1.SetRunner([&](OPENFILENAMEW& record) {
        ++runs;
        seen = record;
        seenFile = rtl::Narrow(record.lpstrFile);
        seenFilter = rtl::Narrow(std::wstring_view(record.lpstrFilter, 17));
        seenDir = record.lpstrInitialDir ? rtl::Narrow(record.lpstrInitialDir) : "";
        seenExt = record.lpstrDefExt ? rtl::Narrow(record.lpstrDefExt) : "";
        if (chosen.empty()) return false;
        EXPECT_LT(chosen.size(), record.nMaxFile);
        lstrcpynW(record.lpstrFile, rtl::Wide(chosen).c_str(), static_cast<int>(record.nMaxFile));
        return true;
    });

    form->FileLocationDisplay->SetText("C:\\old\\wxreport.txt");
    form->BrowseButton->Click();
    ASSERT_EQ(runs, 1);
    EXPECT_EQ(seen.lStructSize, sizeof(OPENFILENAMEW));
    EXPECT_EQ(seen.hwndOwner, form->Handle());
    // One entry, description and pattern, ended by an empty entry.
    EXPECT_EQ(seenFilter, std::string("txt files\0*.txt\0\0", 17));
    EXPECT_EQ(seen.nFilterIndex, 1u);
    EXPECT_EQ(seenExt, "txt");
    EXPECT_EQ(seenFile, "wxreport.txt");
    EXPECT_EQ(seenDir, "c:\\tesk\\data");
    EXPECT_EQ(seen.lpstrTitle, nullptr) << "the system's own title";
    EXPECT_TRUE(seen.Flags & OFN_HIDEREADONLY);
    EXPECT_TRUE(seen.Flags & OFN_ENABLESIZING);
    EXPECT_TRUE(seen.Flags & OFN_EXPLORER);
    EXPECT_TRUE(seen.Flags & OFN_NOCHANGEDIR) << "the current folder stays";
    EXPECT_EQ(form->FileLocationDisplay->Text(), "C:\\old\\wxreport.txt") << "cancel keeps the path";

    chosen = "C:\\tesk\\data\\wxreport.txt";
    form->BrowseButton->Click();
    EXPECT_EQ(form->FileLocationDisplay->Text(), chosen);

    // The next run starts from the last choice; a cancel then changes nothing.
    const std::string previous = chosen;
    chosen.clear();
    form->BrowseButton->Click();
    EXPECT_EQ(runs, 3);
    EXPECT_EQ(seenFile, previous);
    EXPECT_EQ(form->FileLocationDisplay->Text(), previous);
}

// The program as the user starts it: a window captioned "Teskaprs" that
// ends the process when it is closed.
TEST(Program, StartsWithItsWindowAndEndsWhenItIsClosed) {
    const char* binary = std::getenv("TESKAPRS_BINARY_DIR");
    if (!binary) GTEST_SKIP() << "TESKAPRS_BINARY_DIR is set by CTest";
    std::string exe = std::string("Z:") + binary + "/teskaprs.exe";
    for (char& ch : exe)
        if (ch == '/') ch = '\\';
    ASSERT_NE(GetFileAttributesA(exe.c_str()), INVALID_FILE_ATTRIBUTES) << exe;

    // The program carries its icon and the icon's warning look, each with an
    // image drawn for every size Windows asks for at the usual scales.
    HMODULE image = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);
    for (int id : {1, 2}) {
        HRSRC group = FindResourceA(image, MAKEINTRESOURCEA(id), reinterpret_cast<LPCSTR>(RT_GROUP_ICON));
        ASSERT_NE(group, nullptr) << id;
        const auto* directory = static_cast<const BYTE*>(LockResource(LoadResource(image, group)));
        ASSERT_NE(directory, nullptr);
        // GRPICONDIR: reserved, type, count; then 14-byte entries: width
        // (0 for 256), height, ...
        std::vector<int> sizes;
        for (int i = 0; i < (directory[4] | directory[5] << 8); ++i) {
            const BYTE* entry = directory + 6 + 14 * i;
            EXPECT_EQ(entry[0], entry[1]) << "square images";
            sizes.push_back(entry[0] ? entry[0] : 256);
        }
        std::sort(sizes.begin(), sizes.end());
        EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 40, 48, 64, 256})) << "icon " << id;
    }
    FreeLibrary(image);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string command = "\"" + exe + "\"";
    ASSERT_TRUE(CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
    // Other test programs running at the same time have windows of this
    // class and caption too: look only at the started process's windows.
    struct Search {
        DWORD processId;
        HWND found;
    } search{process.dwProcessId, nullptr};
    auto findWindow = [&search] {
        search.found = nullptr;
        EnumWindows(
            [](HWND hwnd, LPARAM lp) -> BOOL {
                auto* s = reinterpret_cast<Search*>(lp);
                DWORD pid = 0;
                GetWindowThreadProcessId(hwnd, &pid);
                char cls[32] = {}, text[32] = {};
                GetClassNameA(hwnd, cls, sizeof cls);
                GetWindowTextA(hwnd, text, sizeof text);
                if (pid != s->processId || std::string(cls) != "TForm1" || std::string(text) != "Teskaprs")
                    return TRUE;
                s->found = hwnd;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    };
    HWND window = nullptr;
    const ULONGLONG until = GetTickCount64() + 20000;
    while (!(window = findWindow()) && GetTickCount64() < until) Sleep(50);
    ASSERT_NE(window, nullptr) << "no window captioned Teskaprs";
    while (!IsWindowVisible(window) && GetTickCount64() < until) Sleep(50);
    EXPECT_TRUE(IsWindowVisible(window));
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    EXPECT_EQ(owner, process.dwProcessId);
    char title[64] = {};
    GetWindowTextA(GetWindow(window, GW_OWNER), title, sizeof title);
    EXPECT_STREQ(title, "Teskaprs") << "the application window carries the title";

    PostMessageA(window, WM_CLOSE, 0, 0);
    const DWORD waited = WaitForSingleObject(process.hProcess, 20000);
    EXPECT_EQ(waited, WAIT_OBJECT_0) << "the process did not end after its window was closed";
    if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

}  // namespace
