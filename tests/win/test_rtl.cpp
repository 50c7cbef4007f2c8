// The runtime layer under Wine: timers, the failure guard, the pumping wait.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "rtl/Application.h"
#include "rtl/Exceptions.h"
#include "rtl/Files.h"
#include "rtl/Subclass.h"
#include "rtl/SystemLibrary.h"
#include "rtl/Timer.h"
#include "TestSupport.h"

namespace {

using testsupport::ErrorRecorder;

class RtlTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::InitApplication();
    }
};

TEST_F(RtlTest, ApplicationWindowCarriesTheTitle) {
    HWND app = rtl::Application().Handle();
    ASSERT_NE(app, nullptr);
    char text[64] = {};
    GetWindowTextA(app, text, sizeof text);
    EXPECT_STREQ(text, "Teskaprs");
    EXPECT_FALSE(IsWindowVisible(app));
}

std::vector<std::string> subclassCalls;

// Records which entry (A: id 1, B: id 2) saw WM_USER or WM_NCDESTROY. With
// wParam 1, B leaves the chain while it runs; with 2, A sends WM_USER again.
LRESULT CALLBACK RecordingSubclass(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR) {
    if (msg == WM_USER || msg == WM_NCDESTROY)
        subclassCalls.push_back(std::string(id == 1 ? "A" : "B") + (msg == WM_NCDESTROY ? " gone" : ""));
    if (msg == WM_USER && wp == 1 && id == 2) rtl::RemoveSubclass(hwnd, &RecordingSubclass, 2);
    if (msg == WM_USER && wp == 2 && id == 1) SendMessageA(hwnd, WM_USER, 0, 0);
    return rtl::DefSubclass(hwnd, msg, wp, lp);
}

TEST_F(RtlTest, SubclassChainRunsNewestFirstAndLeavesNoTrace) {
    subclassCalls.clear();
    HWND w = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    const LONG_PTR own = GetWindowLongPtrA(w, GWLP_WNDPROC);
    ASSERT_TRUE(rtl::SetSubclass(w, &RecordingSubclass, 1, 0));
    ASSERT_TRUE(rtl::SetSubclass(w, &RecordingSubclass, 2, 0));
    bool removedElsewhere = true;
    std::thread([&] { removedElsewhere = rtl::RemoveSubclass(w, &RecordingSubclass, 1); }).join();
    EXPECT_FALSE(removedElsewhere) << "only the window's own thread changes its chain";
    SendMessageA(w, WM_USER, 2, 0);  // a message sent meanwhile starts from the top: B A B A
    SendMessageA(w, WM_USER, 1, 0);  // B leaves while it runs, A still follows: B A
    SendMessageA(w, WM_USER, 0, 0);  // A
    EXPECT_FALSE(rtl::GetSubclass(w, &RecordingSubclass, 2, nullptr));
    EXPECT_TRUE(rtl::RemoveSubclass(w, &RecordingSubclass, 1));
    EXPECT_EQ(GetWindowLongPtrA(w, GWLP_WNDPROC), own);  // an empty chain gives the window its own procedure
    ASSERT_TRUE(rtl::SetSubclass(w, &RecordingSubclass, 1, 0));
    DestroyWindow(w);  // A sees the window go, and the chain goes with it
    EXPECT_FALSE(rtl::GetSubclass(w, &RecordingSubclass, 1, nullptr));
    EXPECT_EQ(subclassCalls, (std::vector<std::string>{"B", "A", "B", "A", "B", "A", "A", "A gone"}));
}

// Once the search is restricted, as the program does first, a library
// loaded by name never comes from the program's folder.
TEST_F(RtlTest, LibrariesLoadedByNameComeFromTheSystemFolderOnly) {
    const std::string program = rtl::ProgramPath();
    const std::string planted = program.substr(0, program.find_last_of('\\') + 1) + "teskaprs-planted.dll";
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    ASSERT_TRUE(CopyFileA((std::string(system) + "\\version.dll").c_str(), planted.c_str(), FALSE));
    HMODULE found = LoadLibraryA("teskaprs-planted.dll");
    EXPECT_TRUE(found && FreeLibrary(found)) << "beside the program, before";
    rtl::RestrictDllSearch();
    EXPECT_EQ(LoadLibraryA("teskaprs-planted.dll"), nullptr);
    DeleteFileA(planted.c_str());
}

TEST_F(RtlTest, TimerFiresAndStopsWhenDisabled) {
    rtl::TTimer timer(20, false);
    int ticks = 0;
    timer.SetOnTimer([&] {
        if (++ticks == 3) timer.SetEnabled(false);
    });
    EXPECT_FALSE(timer.Running());
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.Running());
    const ULONGLONG until = GetTickCount64() + 5000;
    while (ticks < 3 && GetTickCount64() < until) rtl::PumpMessagesFor(50);
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(timer.Running());
    rtl::PumpMessagesFor(100);
    EXPECT_EQ(ticks, 3) << "a disabled timer must not fire";
}

TEST_F(RtlTest, SettingTheSameIntervalKeepsTheTimersPhase) {
    // A 300 ms timer whose interval is set to the same value every 100 ms
    // must still fire; a restart on every set would never let it.
    rtl::TTimer timer(300, true);
    int ticks = 0;
    timer.SetOnTimer([&] { ++ticks; });
    for (int i = 0; i < 10 && ticks == 0; ++i) {
        rtl::PumpMessagesFor(100);
        timer.SetInterval(300);
        timer.SetEnabled(true);
    }
    EXPECT_GE(ticks, 1);
}

TEST_F(RtlTest, ExceptionInAHandlerIsShownAndTheLoopGoesOn) {
    ErrorRecorder recorder;
    rtl::TTimer failing(10, true);
    int failures = 0;
    failing.SetOnTimer([&] {
        if (++failures == 2) failing.SetEnabled(false);
        throw rtl::Exception("Cannot open file wxreport.txt");
    });
    rtl::TTimer ender(300, true);
    ender.SetOnTimer([&] {
        ender.SetEnabled(false);
        rtl::Application().Terminate();
    });
    rtl::Application().Run();  // returns only if the loop survived the failures
    EXPECT_TRUE(rtl::Application().Terminated());
    ASSERT_EQ(recorder.shown.size(), 2u);
    EXPECT_EQ(recorder.shown[0].first, "Teskaprs");
    EXPECT_EQ(recorder.shown[0].second, "Cannot open file wxreport.txt.");
}

TEST_F(RtlTest, ErrorBoxTextAddsAFullStopOnlyAfterLettersAndDigits) {
    const std::pair<const char*, const char*> cases[] = {
        {"Disk full", "Disk full."},  {"Error #10061", "Error #10061."}, {"Done.", "Done."},
        {"Really?", "Really?."},      {"Stop!", "Stop!"},                {"(x)", "(x)"},
        {"", ""},                     {"a-", "a-"},                      {"path /", "path /."},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(rtl::ErrorBoxText(in), out) << in;
}

TEST_F(RtlTest, NonStandardExceptionIsCaughtToo) {
    ErrorRecorder recorder;
    rtl::Dispatch([] { throw 42; });
    ASSERT_EQ(recorder.shown.size(), 1u);
    EXPECT_EQ(recorder.shown[0].second, "Unknown exception.");
}

// One box at a time: while it is open (its loop runs the timers on) failures go to the window's note.
TEST_F(RtlTest, OneBoxAtATime) {
    std::vector<std::string> boxes, notes;
    auto fail = [](const char* text) { rtl::Dispatch([text] { throw rtl::Exception(text); }); };
    rtl::Application().SetFailureNote([&](const std::string& text) { notes.push_back(text); });
    rtl::Application().SetErrorSink([&](const std::string&, const std::string& text) {
        if (boxes.push_back(text), boxes.size() == 1) fail("Disk full"), fail("Access denied");
    });
    fail("Disk full"), fail("Access denied");  // the second once the box is closed
    rtl::Application().SetErrorSink(nullptr), rtl::Application().SetFailureNote(nullptr);
    EXPECT_EQ(boxes, (std::vector<std::string>{"Disk full.", "Access denied."}));
    EXPECT_EQ(notes, boxes);
}

TEST_F(RtlTest, PumpingWaitLastsItsTimeAndServesMessages) {
    rtl::TTimer timer(100, true);
    int ticks = 0;
    timer.SetOnTimer([&] { ++ticks; });
    const ULONGLONG before = GetTickCount64();
    rtl::PumpMessagesFor(1000);
    const ULONGLONG elapsed = GetTickCount64() - before;
    EXPECT_GE(elapsed, 1000u);
    EXPECT_LT(elapsed, 3000u);
    EXPECT_GE(ticks, 5) << "the window's messages are served during the wait";
}

// Messages that keep coming (each one's handler posts the next) do not hold
// a wait past its deadline: it returns while they still come. They stop by
// themselves after ten seconds, so a wait that misses its deadline fails
// rather than hangs.
TEST_F(RtlTest, AWaitEndsAtItsDeadlineWhileMessagesKeepComing) {
    const std::pair<const char*, void (*)()> waits[] = {
        {"PumpMessagesFor", [] { rtl::PumpMessagesFor(200); }},
        {"ProcessMessages", [] { rtl::Application().ProcessMessages(); }},
    };
    const HWND app = rtl::Application().Handle();
    for (const auto& [name, wait] : waits) {
        SCOPED_TRACE(name);
        const ULONGLONG start = GetTickCount64();
        bool streaming = true, ran = false;
        const auto hook = rtl::Application().AddMessageHook([&](UINT msg, WPARAM, LPARAM, LRESULT&) {
            if (msg != WM_APP + 8) return false;
            ran = true;
            streaming = streaming && GetTickCount64() - start < 10000;
            if (streaming) PostMessageA(app, WM_APP + 8, 0, 0);
            return true;
        });
        PostMessageA(app, WM_APP + 8, 0, 0);
        wait();
        EXPECT_TRUE(ran);
        EXPECT_TRUE(streaming) << "the wait returned only when the messages stopped";
        streaming = false;
        rtl::Application().ProcessMessages();
        rtl::Application().RemoveMessageHook(hook);
    }
}

TEST_F(RtlTest, PostedMessagesAreDispatchedDuringTheWait) {
    // A message posted from another thread wakes the wait at once.
    bool seen = false;
    rtl::TTimer probe(0, false);
    HWND app = rtl::Application().Handle();
    const auto hook = rtl::Application().AddMessageHook([&](UINT msg, WPARAM, LPARAM, LRESULT& r) {
        if (msg != WM_APP + 7) return false;
        seen = true;
        r = 0;
        return true;
    });
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            Sleep(100);
            PostMessageA(static_cast<HWND>(p), WM_APP + 7, 0, 0);
            return 0;
        },
        app, 0, nullptr);
    rtl::PumpMessagesFor(400);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    rtl::Application().RemoveMessageHook(hook);
    EXPECT_TRUE(seen);
}

}  // namespace
