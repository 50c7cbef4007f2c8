// The single-instance guard: the lock named after the title, what a second
// copy does with the first (bring it forward, tell it to quit, count), how it
// ends itself, and the program started twice.
//
// Copies in other processes are this test program started again in "child"
// mode (the environment variable below names what it does) or the program
// itself. Every process started here is ended when its test ends.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "SettingsSupport.h"
#include "Teskaprs1.h"
#include "TestSupport.h"
#include "rtl/Application.h"
#include "ui/Abcutil.h"
#include "ui/abctray.h"

namespace {

using ui::TabcSingleInstance;

const char kChildMode[] = "TESKAPRS_SINGLE_INSTANCE_CHILD";
const char kLockName[] = "TabcSingleInstance in application Teskaprs";
// Exit codes of a child copy.
const DWORD kKeptRunning = 3;
// A way of ending that should have ended the process came back instead.
const DWORD kCameBack = 4;

// A process of the test, ended (if it still runs) and released at the end.
class Process {
public:
    Process(const std::string& exe, const std::string& arguments, const std::string& childMode = "") {
        std::string command = "\"" + exe + "\" " + arguments;
        if (!childMode.empty()) SetEnvironmentVariableA(kChildMode, childMode.c_str());
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        // No output of its own in the test's log.
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = startup.hStdOutput = startup.hStdError = INVALID_HANDLE_VALUE;
        started_ = CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                  &info_) != FALSE;
        if (!childMode.empty()) SetEnvironmentVariableA(kChildMode, nullptr);
        startedAt_ = GetTickCount64();
    }
    ~Process() {
        if (!started_) return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, 5000);
        }
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return started_; }
    DWORD Id() const { return info_.dwProcessId; }
    bool Running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
    // Waits for the end while this process's windows stay served (the
    // other copy may activate them). True when it ended in time.
    bool WaitForEnd(DWORD milliseconds) {
        const ULONGLONG until = GetTickCount64() + milliseconds;
        for (;;) {
            const ULONGLONG now = GetTickCount64();
            if (now >= until) return !Running();
            const DWORD r = MsgWaitForMultipleObjects(1, &info_.hProcess, FALSE, static_cast<DWORD>(until - now),
                                                      QS_ALLINPUT);
            if (r == WAIT_OBJECT_0) {
                endedAfter_ = GetTickCount64() - startedAt_;
                rtl::Application().ProcessMessages();
                return true;
            }
            rtl::Application().ProcessMessages();
        }
    }
    DWORD ExitCode() const {
        DWORD code = 0;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }
    ULONGLONG EndedAfter() const { return endedAfter_; }

private:
    PROCESS_INFORMATION info_{};
    bool started_ = false;
    ULONGLONG startedAt_ = 0;
    ULONGLONG endedAfter_ = 0;
};

std::string OwnExe() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

// This program again, running only the child test with the given mode.
std::unique_ptr<Process> StartChild(const std::string& mode) {
    return std::make_unique<Process>(
        OwnExe(), "--gtest_filter=SingleInstanceChild.DISABLED_Copy --gtest_also_run_disabled_tests", mode);
}

// The program beside the tests, or "" when the build folder is not known.
std::string ProgramExe() {
    const char* binary = std::getenv("TESKAPRS_BINARY_DIR");
    if (!binary) return "";
    std::string exe = std::string("Z:") + binary + "/teskaprs.exe";
    for (char& ch : exe)
        if (ch == '/') ch = '\\';
    return exe;
}

// The visible window of the given class in the given process.
HWND FindProcessWindow(DWORD processId, const char* className, bool visibleOnly) {
    struct Search {
        DWORD pid;
        const char* cls;
        bool visibleOnly;
        HWND found;
    } search{processId, className, visibleOnly, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            DWORD pid = 0;
            GetWindowThreadProcessId(hwnd, &pid);
            char cls[64] = {};
            GetClassNameA(hwnd, cls, sizeof cls);
            if (pid != s->pid || std::string(cls) != s->cls || (s->visibleOnly && !IsWindowVisible(hwnd)))
                return TRUE;
            s->found = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForProcessWindow(DWORD processId, const char* className, DWORD milliseconds) {
    const ULONGLONG until = GetTickCount64() + milliseconds;
    HWND found = nullptr;
    while (!(found = FindProcessWindow(processId, className, true)) && GetTickCount64() < until)
        rtl::PumpMessagesFor(20);
    return found;
}

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::InitApplication();
        rtl::Application().SetShowMainForm(true);
    }
    void TearDown() override {
        // Whatever a copy asked of this loop is taken now, not in the next test.
        rtl::Application().ProcessMessages();
        rtl::Application().ResetTerminated();
        rtl::Application().SetShowMainForm(true);
        EXPECT_TRUE(errors.shown.empty()) << errors.shown.front().second;
    }
    testsupport::ErrorRecorder errors;
};

TEST_F(SingleInstanceTest, OptionSettersClearTheirRivals) {
    struct Step {
        const char* set;  // "Activate", "ClosePrevious", "MultipleInstances"
        bool value;
    };
    struct Expect {
        bool activate, closePrevious, multiple;
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
        Expect after;
    };
    const Case cases[] = {
        {"defaults", {}, {true, false, false}},
        {"close previous clears activate", {{"ClosePrevious", true}}, {false, true, false}},
        {"activate clears close previous", {{"ClosePrevious", true}, {"Activate", true}}, {true, false, false}},
        {"close previous clears counting",
         {{"MultipleInstances", true}, {"ClosePrevious", true}},
         {false, true, false}},
        {"counting clears close previous",
         {{"ClosePrevious", true}, {"MultipleInstances", true}},
         {false, false, true}},
        {"counting keeps activate", {{"MultipleInstances", true}}, {true, false, true}},
        {"clearing changes nothing else", {{"Activate", false}, {"ClosePrevious", false}}, {false, false, false}},
        {"clearing close previous", {{"ClosePrevious", true}, {"ClosePrevious", false}}, {false, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TabcSingleInstance guard;
        for (const Step& s : c.steps) {
            const std::string name = s.set;
            if (name == "Activate") guard.SetActivate(s.value);
            if (name == "ClosePrevious") guard.SetClosePrevious(s.value);
            if (name == "MultipleInstances") guard.SetMultipleInstances(s.value);
        }
        EXPECT_EQ(guard.Activate(), c.after.activate);
        EXPECT_EQ(guard.ClosePrevious(), c.after.closePrevious);
        EXPECT_EQ(guard.MultipleInstances(), c.after.multiple);
    }
    TabcSingleInstance guard;
    EXPECT_TRUE(guard.StopMsg.empty());
    EXPECT_EQ(guard.TerminateBy, ui::atmAppTerminate);
    EXPECT_FALSE(guard.OnPreviousInstance);
}

TEST_F(SingleInstanceTest, TheLockIsNamedAfterTheTitleAndHeldByTheFirstOnly) {
    EXPECT_EQ(TabcSingleInstance::LockName("Teskaprs"), kLockName);
    auto first = std::make_unique<TabcSingleInstance>();
    EXPECT_TRUE(first->HoldsLock());
    HANDLE seen = OpenMutexA(SYNCHRONIZE, FALSE, kLockName);
    EXPECT_NE(seen, nullptr) << "a mutex of that name exists";
    if (seen) CloseHandle(seen);
    {
        TabcSingleInstance second;
        EXPECT_FALSE(second.HoldsLock());
    }
    EXPECT_TRUE(first->HoldsLock()) << "a second copy leaves the first's lock alone";
    first.reset();
    seen = OpenMutexA(SYNCHRONIZE, FALSE, kLockName);
    EXPECT_EQ(seen, nullptr) << "released with the first copy";
    if (seen) CloseHandle(seen);
    TabcSingleInstance next;
    EXPECT_TRUE(next.HoldsLock()) << "the next start is a first copy again";

    // Another title, another lock.
    rtl::Application().SetTitle("Teskaprs two");
    TabcSingleInstance other;
    rtl::Application().SetTitle("Teskaprs");
    EXPECT_TRUE(other.HoldsLock());
}

TEST_F(SingleInstanceTest, ASecondCopyThatFindsNoWindowEndsItsLoopAtOnce) {
    TabcSingleInstance first;
    first.Loaded();
    EXPECT_FALSE(rtl::Application().Terminating()) << "the first copy goes on";
    {
        // Neither activating nor closing: the copy ends without looking.
        TabcSingleInstance quiet;
        quiet.SetActivate(false);
        quiet.Loaded();
        EXPECT_TRUE(rtl::Application().Terminating());
        rtl::Application().ProcessMessages();
        rtl::Application().ResetTerminated();
        rtl::Application().SetShowMainForm(true);
    }
    TabcSingleInstance second;
    ASSERT_FALSE(second.HoldsLock());
    // The only application window with this title is this copy's own, which
    // the search leaves out: there is nothing to activate.
    second.Loaded();
    EXPECT_EQ(testsupport::WindowText(rtl::Application().Handle()), "Teskaprs") << "the title is put back";
    EXPECT_TRUE(rtl::Application().Terminating());
    EXPECT_FALSE(rtl::Application().ShowMainForm()) << "the main window is not to be shown";
    // A timer that would fire at the loop's first turn never does.
    rtl::TTimer timer(1, true);
    int ticks = 0;
    timer.SetOnTimer([&] { ++ticks; });
    Sleep(20);
    rtl::Application().Run();
    EXPECT_TRUE(rtl::Application().Terminated());
    EXPECT_EQ(ticks, 0);
}

TEST_F(SingleInstanceTest, CountingModeLetsTheEventDecide) {
    TabcSingleInstance first;
    first.SetMultipleInstances(true);
    first.Loaded();
    EXPECT_EQ(first.CountInstances(), 1);

    std::vector<int> previous;
    auto keep = [&](TabcSingleInstance*, int count, bool& halt) {
        previous.push_back(count);
        halt = false;
    };
    auto second = std::make_unique<TabcSingleInstance>();
    second->SetMultipleInstances(true);
    second->OnPreviousInstance = keep;
    second->Loaded();
    auto third = std::make_unique<TabcSingleInstance>();
    third->SetMultipleInstances(true);
    third->OnPreviousInstance = keep;
    third->Loaded();
    EXPECT_EQ(previous, (std::vector<int>{1, 2}));
    EXPECT_FALSE(rtl::Application().Terminating()) << "both were told to go on";
    EXPECT_EQ(first.CountInstances(), 3);
    third.reset();
    EXPECT_EQ(first.CountInstances(), 2) << "a copy that ends gives its unit back";

    {
        // No event: the copy keeps running without asking.
        TabcSingleInstance quiet;
        quiet.SetMultipleInstances(true);
        quiet.Loaded();
        EXPECT_FALSE(rtl::Application().Terminating());
        EXPECT_EQ(first.CountInstances(), 3);
    }
    // The event leaves the halt as it is: this copy ends.
    TabcSingleInstance halted;
    halted.SetMultipleInstances(true);
    halted.OnPreviousInstance = [&](TabcSingleInstance*, int count, bool&) { previous.push_back(count); };
    halted.Loaded();
    EXPECT_EQ(previous.back(), 2);
    EXPECT_TRUE(rtl::Application().Terminating());
}

// A copy in another process, as the child mode runs it.
TEST(SingleInstanceChild, DISABLED_Copy) {
    const char* mode = std::getenv(kChildMode);
    if (!mode) GTEST_SKIP();
    const std::string m = mode;
    testsupport::InitApplication();
    TabcSingleInstance guard;
    if (m == "exit-process") guard.TerminateBy = ui::atmExitProcess;
    if (m == "halt") guard.TerminateBy = ui::atmHalt;
    if (m == "terminate-process") guard.TerminateBy = ui::atmTerminateProcess;
    if (m == "close-previous") guard.SetClosePrevious(true);
    if (m == "stop-message") {
        guard.StopMsg = "Teskaprs is already running";
        guard.TerminateBy = ui::atmExitProcess;
    }
    guard.Loaded();
    // Still here. Only asking the loop to end, or closing the other copy,
    // comes back; the other ways must have ended the process already.
    if (m == "app-terminate") ExitProcess(rtl::Application().Terminating() ? 0 : kKeptRunning);
    if (m == "close-previous") ExitProcess(rtl::Application().Terminating() ? 0 : kKeptRunning);
    ExitProcess(kCameBack);
}

TEST_F(SingleInstanceTest, EachWayOfEndingEndsTheSecondCopyWithExitCodeZero) {
    TabcSingleInstance first;
    ASSERT_TRUE(first.HoldsLock());
    struct Case {
        const char* mode;
        DWORD code;
    };
    const Case cases[] = {
        {"app-terminate", 0},  // the loop was asked to end (the child reports it)
        {"exit-process", 0},
        {"halt", 0},
        {"terminate-process", 0},
        {"close-previous", kKeptRunning},  // this one keeps running
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        auto child = StartChild(c.mode);
        ASSERT_TRUE(child->Started());
        ASSERT_TRUE(child->WaitForEnd(20000));
        EXPECT_EQ(child->ExitCode(), c.code);
        const bool told = rtl::Application().Terminated();
        EXPECT_EQ(told, std::string(c.mode) == "close-previous") << "only close-previous ends this copy's loop";
        rtl::Application().ResetTerminated();
    }
}

TEST_F(SingleInstanceTest, TheSecondCopysWindowNeverShowsItself) {
    // A second copy still runs its creation handler, but the window it would
    // show there stays hidden: the first copy keeps the foreground.
    testsupport::ForgetSavedSettings();
    TabcSingleInstance first;
    ASSERT_TRUE(first.HoldsLock());
    {
        TForm1 second;
        EXPECT_TRUE(rtl::Application().Terminating());
        EXPECT_FALSE(second.Minimized->Checked());
        EXPECT_TRUE(second.DelayTimer.Enabled()) << "the creation handler ran to its end";
        EXPECT_FALSE(IsWindowVisible(second.Handle()));
        EXPECT_FALSE(IsWindowVisible(rtl::Application().Handle())) << "no taskbar button either";
    }
    testsupport::ForgetSavedSettings();
}

TEST_F(SingleInstanceTest, TheStopMessageComesFirst) {
    TabcSingleInstance first;
    auto child = StartChild("stop-message");
    ASSERT_TRUE(child->Started());
    // The message box, captioned with the title, before the copy ends.
    HWND box = WaitForProcessWindow(child->Id(), "#32770", 20000);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(child->Running());
    EXPECT_EQ(testsupport::WindowText(box), "Teskaprs");
    std::vector<std::string> texts;
    for (HWND item = GetWindow(box, GW_CHILD); item; item = GetWindow(item, GW_HWNDNEXT))
        texts.push_back(testsupport::WindowText(item));
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Teskaprs is already running"), texts.end());
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(child->WaitForEnd(20000));
    EXPECT_EQ(child->ExitCode(), 0u);
}

// ------------------------------------------------------------ the program

class SecondProgramTest : public SingleInstanceTest {
protected:
    void SetUp() override {
        SingleInstanceTest::SetUp();
        exe = ProgramExe();
        if (exe.empty()) GTEST_SKIP() << "TESKAPRS_BINARY_DIR is set by CTest";
        ASSERT_NE(GetFileAttributesA(exe.c_str()), INVALID_FILE_ATTRIBUTES) << exe;
        testsupport::ForgetSavedSettings();
    }
    void TearDown() override {
        if (other) DestroyWindow(other);
        rtl::Application().SetMainForm(nullptr);
        form.reset();
        rtl::Application().SetTitle("Teskaprs");
        testsupport::ForgetSavedSettings();
        SingleInstanceTest::TearDown();
    }
    // This test process is the first copy: the program's window, with the
    // lock, as the program builds it.
    void BuildFirstCopy() {
        form = std::make_unique<TForm1>();
        rtl::Application().SetMainForm(form->Handle());
        ASSERT_TRUE(form->abcSingleInstance1->HoldsLock());
    }
    // Starts the program as the second copy and waits for its end.
    void RunSecondCopy() {
        Process second(exe, "");
        ASSERT_TRUE(second.Started());
        ASSERT_TRUE(second.WaitForEnd(20000)) << "the second copy did not end";
        EXPECT_EQ(second.ExitCode(), 0u);
        // Quickly: it ends as its loop starts, not after any timer.
        EXPECT_LT(second.EndedAfter(), 10000u);
    }

    std::string exe;
    std::unique_ptr<TForm1> form;
    HWND other = nullptr;
};

TEST_F(SecondProgramTest, LeavesTheFirstInTheTrayUntouched) {
    BuildFirstCopy();
    SendMessageA(form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);  // into the tray
    ASSERT_FALSE(IsWindowVisible(form->Handle()));
    RunSecondCopy();
    EXPECT_FALSE(IsWindowVisible(form->Handle())) << "the first copy stays in the tray";
    EXPECT_FALSE(IsWindowVisible(rtl::Application().Handle()));
    EXPECT_FALSE(rtl::Application().Terminating()) << "the first copy runs on";
    EXPECT_TRUE(form->abcTrayIcon1->Shown());
    EXPECT_TRUE(form->abcSingleInstance1->HoldsLock());
}

TEST_F(SecondProgramTest, BringsTheFirstsWindowForwardWhenItIsShown) {
    BuildFirstCopy();
    ASSERT_TRUE(IsWindowVisible(form->Handle()));
    other = CreateWindowExA(0, "STATIC", "Other", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 300, 300, 120, 80, nullptr,
                            nullptr, GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(other);
    rtl::Application().ProcessMessages();
    ASSERT_EQ(GetForegroundWindow(), other);
    RunSecondCopy();
    rtl::PumpMessagesFor(100);
    EXPECT_EQ(GetForegroundWindow(), form->Handle()) << "the first copy's window came forward";
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    EXPECT_FALSE(rtl::Application().Terminating());
}

TEST_F(SecondProgramTest, ProgramStartedTwiceKeepsTheFirstRunning) {
    // Both copies are the program; this process stays out of their way
    // (its application window carries another title).
    rtl::Application().SetTitle("Teskaprs single-instance test");
    Process first(exe, "");
    ASSERT_TRUE(first.Started());
    HWND window = WaitForProcessWindow(first.Id(), "TForm1", 20000);
    ASSERT_NE(window, nullptr) << "the first copy shows its window";
    RunSecondCopy();
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(GetForegroundWindow(), window);
    // The first copy still ends normally when its window is closed.
    PostMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(first.WaitForEnd(20000));
    EXPECT_EQ(first.ExitCode(), 0u);
}

}  // namespace
