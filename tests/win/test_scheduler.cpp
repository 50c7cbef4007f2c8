// The upload schedule of the main window, with the clock replaced so that no
// test waits for whole minutes: the alignment to the start minute, the
// catch-up at ten ticks a second, the upload every Interval ticks, the
// re-arm after a save and the server position it advances. The handlers of
// the one-minute timers are called where a minute would have to pass; the
// 100 ms timer really runs. A resume from sleep, and the minute ticks set
// back to the aligned second. Uploads go to 127.0.0.1 only.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "LoopbackServer.h"
#include "SettingsSupport.h"
#include "TestSupport.h"
#include "Teskaprs1.h"
#include "rtl/Application.h"
#include "rtl/Clock.h"
#include "upload/UploadLogFile.h"

namespace {

using testsupport::LoopbackServer;
using testsupport::PumpUntil;
using testsupport::TempFolder;

std::string Report(int minute) {
    char line[64];
    wsprintfA(line, "Jan 05 2008 14:%02d\r\n", minute);
    return std::string(line) + "180/005g010t065r000p000P000h55b10150\r\n";
}

// A server that ends each connection at once: an upload attempt shows as a
// connection, without a whole session to wait for.
LoopbackServer::Options ClosingServer() {
    LoopbackServer::Options options;
    options.behaviour = LoopbackServer::Behaviour::CloseOnAccept;
    return options;
}

class SchedulerTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::InitApplication();
        testsupport::ForgetSavedSettings();
    }
    void TearDown() override {
        form.reset();
        rtl::SetTimeSource(nullptr);
        testsupport::ForgetSavedSettings();
        EXPECT_TRUE(errors.shown.empty()) << errors.shown.front().second;
    }

    // From now on the local clock reads hh:mm:ss today and runs on from there.
    void SetLocalClock(int hour, int minute, int second) {
        using std::chrono::system_clock;
        const system_clock::time_point now = system_clock::now();
        const std::time_t t = system_clock::to_time_t(now);
        std::tm local{};
        localtime_s(&local, &t);
        local.tm_hour = hour;
        local.tm_min = minute;
        local.tm_sec = second;
        local.tm_isdst = -1;
        const auto offset = system_clock::from_time_t(std::mktime(&local)) - now;
        rtl::SetTimeSource([offset] { return system_clock::now() + offset; });
        ASSERT_EQ(rtl::LocalNow().minute, minute);
        // The report was written a minute ago by this clock: fresh, and quiet.
        testsupport::SetLastWriteTime(folder.File("wxreport.txt"), rtl::Now() - std::chrono::minutes(1));
    }

    // The window with the station entered and uploads going to the port
    // given (manual server mode).
    void Build(const std::string& port) {
        form = std::make_unique<TForm1>();
        form->Callsign->SetText("CW1234");
        form->Validation->SetText("-1");
        form->AutoServer->SetChecked(false);
        form->serverNameEdit->SetText("127.0.0.1");
        form->ServerPortEdit->SetText(port);
        form->FileLocationDisplay->SetText(folder.Write("wxreport.txt", Report(30)));
        testsupport::SetLastWriteTime(folder.File("wxreport.txt"), rtl::Now() - std::chrono::minutes(1));
    }
    // Whether an upload attempt started since the last call: every attempt
    // reads the report and shows its first line.
    bool Uploaded() {
        const bool read = !form->Label1->Text().empty();
        form->Label1->SetText("");
        return read;
    }
    void Tick(int times = 1) {
        for (int i = 0; i < times; ++i) form->ThreadTimer1Timer(&form->Timer2);
    }

    testsupport::ErrorRecorder errors;
    TempFolder folder;
    std::unique_ptr<TForm1> form;
};

// Interval 10, a callsign ending in 4, the window created at 10:23:40.
TEST_F(SchedulerTest, WorkedTimeline) {
    LoopbackServer server(ClosingServer());
    SetLocalClock(10, 23, 40);
    Build(server.PortText());
    EXPECT_EQ(form->MinuteCounter, 10) << "the first tick after the alignment uploads";
    form->RearmSchedule();  // as a save with the callsign entered does
    EXPECT_EQ(form->StartDigit, 4);
    EXPECT_TRUE(form->DelayTimer.Enabled());
    EXPECT_EQ(form->DelayTimer.Interval(), 60000u);
    EXPECT_FALSE(form->Timer2.Enabled());

    // A check in a minute that does not end in 4 changes nothing.
    form->DelayTimerTimer(&form->DelayTimer);
    EXPECT_TRUE(form->DelayTimer.Enabled());
    EXPECT_FALSE(form->Timer2.Enabled());

    // 10:24:40: aligned; the 100 ms ticks start.
    SetLocalClock(10, 24, 40);
    form->DelayTimerTimer(&form->DelayTimer);
    EXPECT_FALSE(form->DelayTimer.Enabled());
    EXPECT_TRUE(form->Timer2.Enabled());
    EXPECT_EQ(form->Timer2.Interval(), 100u);

    // 10:24:40.1: the first tick uploads and the ticks slow to one a minute.
    // Within seconds, not at the next minute's tick (how soon exactly
    // depends on the machine's load: no timing is asserted beyond that).
    ASSERT_TRUE(server.WaitForConnections(1, 5000)) << "the 100 ms tick uploads";
    EXPECT_EQ(form->MinuteCounter, 0);
    EXPECT_TRUE(form->Timer2.Enabled());
    EXPECT_GT(form->Timer2.Interval(), 30000u) << "a minute's tick, back at the aligned second";
    ASSERT_TRUE(PumpUntil([&] { return !form->Upload.UploadBusy; }, 8000));
    Uploaded();

    // 10:25:40 to 10:33:40: counting; 10:34:40: the next upload.
    for (int minute = 1; minute <= 9; ++minute) {
        Tick();
        EXPECT_EQ(form->MinuteCounter, minute);
        EXPECT_FALSE(Uploaded()) << minute;
    }
    Tick();
    EXPECT_TRUE(Uploaded());
    EXPECT_EQ(form->MinuteCounter, 0);
    EXPECT_GT(form->Timer2.Interval(), 30000u) << "a minute's tick, back at the aligned second";
    ASSERT_TRUE(server.WaitForConnections(2, 3000)) << "the packet, not delivered yet, is sent again";
}

TEST_F(SchedulerTest, StartDigitComesFromTheCallsignsLastCharacter) {
    Build(std::to_string(LoopbackServer::UnusedPort()));
    form->FileLocationDisplay->SetText("");  // no upload from these alignments
    const std::pair<const char*, int> cases[] = {{"CW1234", 4}, {"G4ABC", 7}, {"", 1}, {"CW123 ", 2}};
    for (const auto& [callsign, digit] : cases) {
        SCOPED_TRACE(std::string("'") + callsign + "'");
        form->Callsign->SetText(callsign);
        form->RearmSchedule();
        EXPECT_EQ(form->StartDigit, digit);

        SetLocalClock(17, 30 + (digit + 1) % 10, 0);
        form->DelayTimerTimer(&form->DelayTimer);
        EXPECT_TRUE(form->DelayTimer.Enabled()) << "not the start minute";
        EXPECT_FALSE(form->Timer2.Enabled());

        SetLocalClock(17, 30 + digit, 0);
        form->DelayTimerTimer(&form->DelayTimer);
        EXPECT_FALSE(form->DelayTimer.Enabled()) << "the start minute";
        EXPECT_TRUE(form->Timer2.Enabled());
    }
}

// The schedule as the window starts it, from saved settings: Interval is at
// least 10, the counter starts at Interval, the digit is the saved callsign's.
TEST_F(SchedulerTest, StartsFromTheSavedSettings) {
    const char* key = testsupport::kSettingsKey;
    const double zero = 0;
    for (const char* name : {"LatDeg", "LatMin", "LonDeg", "LonMin", "LatHem", "LonHem"})
        testsupport::SetDword(HKEY_LOCAL_MACHINE, key, name, 0);
    testsupport::SetRawValue(HKEY_LOCAL_MACHINE, key, "LatSec", REG_BINARY, &zero, sizeof zero);
    testsupport::SetRawValue(HKEY_LOCAL_MACHINE, key, "LonSec", REG_BINARY, &zero, sizeof zero);
    testsupport::SetText(HKEY_LOCAL_MACHINE, key, "FileLocation", "");
    testsupport::SetText(HKEY_LOCAL_MACHINE, key, "CallSign", "G4ABC");
    testsupport::SetText(HKEY_LOCAL_MACHINE, key, "Validation", "-1");
    testsupport::SetDword(HKEY_LOCAL_MACHINE, key, "Interval", 5);
    testsupport::SetDword(HKEY_LOCAL_MACHINE, key, "AutoServer", 0);
    testsupport::SetText(HKEY_LOCAL_MACHINE, key, "ServerName", "127.0.0.1");
    testsupport::SetText(HKEY_LOCAL_MACHINE, key, "ServerPort", std::to_string(LoopbackServer::UnusedPort()));

    form = std::make_unique<TForm1>();
    if (!form->RegistryMode) GTEST_SKIP() << "no settings are restored from the registry in file mode";
    ASSERT_EQ(form->Callsign->Text(), "G4ABC") << "the saved settings were restored";
    EXPECT_EQ(form->Interval->Value(), 10);
    EXPECT_EQ(form->MinuteCounter, 10);
    EXPECT_EQ(form->StartDigit, 7);
    EXPECT_TRUE(form->DelayTimer.Enabled());
    EXPECT_FALSE(form->Timer2.Enabled());
}

TEST_F(SchedulerTest, TheIntervalIsReadAtEveryTick) {
    Build(std::to_string(LoopbackServer::UnusedPort()));
    form->DelayTimer.SetEnabled(false);
    form->Interval->SetValue(30);
    Tick();  // 10 -> 11
    Tick(4);
    EXPECT_EQ(form->MinuteCounter, 15);
    EXPECT_FALSE(Uploaded());

    // Lowered below the count: the next tick uploads.
    form->Interval->SetValue(10);
    Tick();
    EXPECT_TRUE(Uploaded());
    EXPECT_EQ(form->MinuteCounter, 0);
    EXPECT_GT(form->Timer2.Interval(), 30000u) << "a minute's tick, back at the aligned second";

    // "Update Now" between scheduled uploads leaves the schedule alone.
    Tick(3);
    ASSERT_TRUE(PumpUntil([&] { return !form->Upload.UploadBusy; }, 3000)) << "the refused attempt has ended";
    form->abcButton1->Click();
    EXPECT_TRUE(Uploaded());
    EXPECT_EQ(form->MinuteCounter, 3);
    EXPECT_GT(form->Timer2.Interval(), 30000u) << "a minute's tick, back at the aligned second";
}

// A save five minutes after an upload: once the start minute comes again,
// the 100 ms ticks count on from 5 and upload half a second later.
TEST_F(SchedulerTest, ASaveWaitsForTheStartMinuteAgain) {
    LoopbackServer server(ClosingServer());
    Build(server.PortText());
    // Running: uploads a minute apart, five minutes since the last.
    form->DelayTimer.SetEnabled(false);
    form->Timer2.SetInterval(60000);
    form->Timer2.SetEnabled(true);
    form->MinuteCounter = 5;

    form->Callsign->SetText("G4ABC");
    form->RearmSchedule();
    EXPECT_FALSE(form->Timer2.Enabled());
    EXPECT_TRUE(form->DelayTimer.Enabled());
    EXPECT_EQ(form->StartDigit, 7);
    EXPECT_EQ(form->MinuteCounter, 5) << "the count is kept";

    SetLocalClock(9, 57, 3);
    form->DelayTimerTimer(&form->DelayTimer);
    ASSERT_TRUE(form->Timer2.Enabled());
    const ULONGLONG aligned = GetTickCount64();
    ASSERT_TRUE(server.WaitForConnections(1, 5000)) << "within seconds, not at a minute's tick";
    const ULONGLONG after = server.Connections()[0].acceptedAtMs - aligned;
    EXPECT_GE(after, 400u) << "five ticks of 100 ms";
    EXPECT_EQ(form->MinuteCounter, 0);
    EXPECT_GT(form->Timer2.Interval(), 30000u) << "a minute's tick, back at the aligned second";
    EXPECT_FALSE(form->DelayTimer.Enabled());
}

// Each scheduled upload first moves an unfinished cycle on to the next
// server; moving past the last one ends the cycle, and the upload starts a
// new one from the other list. No report here, so nothing is contacted.
TEST_F(SchedulerTest, TheAdvanceMovesTheCycleOnAndItsWrapEndsIt) {
    Build("1");
    form->AutoServer->SetChecked(true);
    form->FileLocationDisplay->SetText(folder.File("missing.txt"));
    form->Upload.UploadBusy = true;  // and were there one, no attempt would start
    const upload::ServerList own{upload::ServerEntry{"127.0.0.1", "1"}, upload::ServerEntry{"127.0.0.1", "2"},
                                 upload::ServerEntry{"127.0.0.1", "3"}};
    form->Session.ActiveServers = own;
    form->Session.CycleActive = true;
    form->Session.ServerIndex = 1;

    form->MinuteCounter = 9;
    Tick();
    EXPECT_EQ(form->Session.ServerIndex, 2);
    EXPECT_TRUE(form->Session.CycleActive);
    EXPECT_EQ(form->Session.ActiveServers, own) << "the cycle's list is kept";

    form->Session.ServerIndex = 3;
    form->MinuteCounter = 9;
    Tick();
    EXPECT_FALSE(form->Session.CycleActive);
    EXPECT_EQ(form->Session.ServerIndex, 1);
    EXPECT_EQ(form->Session.ActiveServers, upload::CandidatesFor(upload::CallsignClass::Cwop).primary)
        << "a new cycle from the next list";
    EXPECT_TRUE(form->Session.UseAlternate);
    EXPECT_FALSE(Uploaded());
}

// A resume from sleep, logged with the suspend, starts the alignment again
// with the counter at Interval; each minute's tick is then set back to the
// second at which the alignment matched (the clock stands still but where
// the test moves it); a changed time zone counts for the local minute.
TEST_F(SchedulerTest, AResumeRealignsAndEachMinuteTickKeepsTheAlignedSecond) {
    Build(std::to_string(LoopbackServer::UnusedPort()));
    form->FileLocationDisplay->SetText("");  // an attempt ends at the reading
    form->UploadLog = upload::TUploadLog(folder.File("log"));
    form->DelayTimer.SetEnabled(false);  // running, three minutes after an upload
    form->Timer2.SetInterval(60000);
    form->Timer2.SetEnabled(true);
    form->MinuteCounter = 3;
    EXPECT_EQ(SendMessageA(form->Handle(), WM_POWERBROADCAST, PBT_APMSUSPEND, 0), TRUE);
    EXPECT_EQ(SendMessageA(form->Handle(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0), TRUE);
    EXPECT_FALSE(form->Timer2.Enabled());
    EXPECT_TRUE(form->DelayTimer.Enabled());
    EXPECT_EQ(form->MinuteCounter, 10);
    const std::string log = TempFolder::Read(form->UploadLog.FilePath());
    EXPECT_LT(log.find("suspends"), log.find("resumed")) << log;

    SetLocalClock(10, 34, 3);
    const auto now = std::make_shared<rtl::TimePoint>(rtl::Now());
    const rtl::TimePoint aligned = *now;
    rtl::SetTimeSource([now] { return *now; });
    form->DelayTimerTimer(&form->DelayTimer);
    Tick();
    EXPECT_EQ(form->MinuteCounter, 0) << "the first tick uploads";
    EXPECT_EQ(form->Timer2.Interval(), 60000u);
    *now = aligned + std::chrono::minutes(1) + std::chrono::milliseconds(1250);
    Tick();
    EXPECT_EQ(form->Timer2.Interval(), 58750u);
    *now = aligned + std::chrono::seconds(220);  // a tick late by 2:40: minutes are counted, not ticks
    Tick();
    EXPECT_EQ(form->MinuteCounter, 4);

    _putenv("TZ=EST5");
    SendMessageA(form->Handle(), WM_TIMECHANGE, 0, 0);
    EXPECT_EQ(rtl::LocalNow().hour, (rtl::ToUtc(*now).hour + 19) % 24);
    _putenv("TZ=");
    SendMessageA(form->Handle(), WM_TIMECHANGE, 0, 0);
}

}  // namespace
