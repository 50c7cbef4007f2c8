// Taking a reading of the weather report on real files under Wine: looking
// at reports of every shape, held open by their writer or not, and the
// window's upload taking only a whole reading, against the tests' own server
// on 127.0.0.1.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "LoopbackServer.h"
#include "SettingsSupport.h"
#include "TestSupport.h"
#include "Teskaprs1.h"
#include "rtl/Application.h"
#include "rtl/Clock.h"
#include "rtl/SpinRules.h"
#include "rtl/Text.h"
#include "rtl/Timer.h"
#include "ui/abctray.h"
#include "upload/Intake.h"
#include "upload/Packet.h"

using namespace std::string_literals;
using testsupport::LoopbackServer;
using testsupport::TempFolder;
using upload::AttemptOutcome;
using upload::LookAtReport;

namespace {

const std::string kL1 = "Jan 05 2008 14:30";
const std::string kL2 = "180/005g010t065r000p000P000h55b10150";
const std::string kExamplePacket =
    "CW1234>APRS,TCPXX*:@051430z5128.50N/00007.25W_180/005g010t065r000p000P000h55b10150v31\r\n";

// The names in a folder.
std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found{};
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return names;
}

// A writer of the report that holds it open, sharing everything, as the
// console program may while it writes.
struct Writer {
    explicit Writer(const std::string& path)
        : file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, CREATE_ALWAYS, 0, nullptr)) {}
    ~Writer() { CloseHandle(file); }
    bool Write(const std::string& bytes) {
        DWORD written = 0;
        return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    }
    HANDLE file;
};

// The settings of the worked example, read from the fields' text the way the
// window reads them.
upload::PacketSettings ExampleSettings() {
    upload::PacketSettings s;
    s.callsign = "CW1234";
    s.validation = "-1";
    s.latDeg = rtl::ReadIntegerField("51", 0);
    s.latMin = rtl::ReadIntegerField("28", 0);
    s.latSec = rtl::ReadDecimalField("30.000", '.');
    s.lonDeg = rtl::ReadIntegerField("0", 0);
    s.lonMin = rtl::ReadIntegerField("7", 0);
    s.lonSec = rtl::ReadDecimalField("15,000", ',');
    s.modelIndex = 4;
    s.modelText = "Davis Vantage Pro";
    return s;
}

// The clock of the program, run ahead by a second at each reading of it:
// every wait of a second is over at once.
struct FastClock {
    FastClock() {
        rtl::SetTimeSource([t = rtl::Now()]() mutable { return t += std::chrono::seconds(1); });
    }
    ~FastClock() { rtl::SetTimeSource({}); }
};

TEST(Intake, LooksAtReportsOfEveryShape) {
    testsupport::ErrorRecorder errors;
    TempFolder folder;
    std::string filler;
    while (filler.size() < 10 * 1024 * 1024) filler += "further line that nobody reads\r\n";
    const std::string whole = kL1 + "\r\n" + kL2 + "\r\n";
    const struct Case {
        const char* what;
        std::string bytes, read;  // read: the bytes looked at
    } cases[] = {
        {"CR LF", whole, whole},
        {"NUL bytes", kL1 + "\0\r\n"s + kL2 + "\0\0"s, kL1 + "\0\r\n"s + kL2 + "\0\0"s},
        // Only the head of a long report is read.
        {"10 MB of lines", whole + filler, (whole + filler).substr(0, upload::kReportReadLimit)},
    };
    for (const Case& c : cases) {
        const std::string report = folder.Write("wxreport.txt", c.bytes);
        const rtl::TimePoint now = rtl::Now();
        const upload::ReportLook look = LookAtReport(report, now);
        ASSERT_TRUE(look.readable) << c.what;
        EXPECT_TRUE(look.bytes == c.read) << c.what;
        EXPECT_FALSE(look.changedWhileRead) << c.what;
        EXPECT_FALSE(look.quietForTwoSeconds) << c.what << ": just written";
        EXPECT_TRUE(LookAtReport(report, now + std::chrono::seconds(3)).quietForTwoSeconds) << c.what;
        EXPECT_FALSE(LookAtReport(report, now - std::chrono::hours(1)).quietForTwoSeconds) << c.what;
        ASSERT_TRUE(testsupport::AgeFile(report));
        EXPECT_TRUE(LookAtReport(report, rtl::Now()).quietForTwoSeconds) << c.what << ": written long ago";
    }

    // Held open by its writer, sharing everything: read. Held by a program
    // that shares nothing, a folder, nothing: not read, and the error told.
    const std::string report = folder.Write("wxreport.txt", whole);
    {
        Writer writer(report);
        ASSERT_TRUE(writer.Write(kL1 + "\r\n"));
        const upload::ReportLook look = LookAtReport(report, rtl::Now());
        EXPECT_TRUE(look.readable && look.bytes == kL1 + "\r\n");
    }
    HANDLE held = CreateFileA(report.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const upload::ReportLook refused = LookAtReport(report, rtl::Now());
    CloseHandle(held);
    EXPECT_FALSE(refused.readable);
    EXPECT_EQ(refused.error, static_cast<unsigned long>(ERROR_SHARING_VIOLATION));
    for (const std::string& path : {folder.Path(), folder.File("missing.txt"), report + "\0x"s}) {
        EXPECT_TRUE(LookAtReport(path, rtl::Now()).missing) << path;
        EXPECT_FALSE(LookAtReport(path, rtl::Now()).readable) << path;
    }
    EXPECT_FALSE(LookAtReport(report, rtl::Now()).missing);
    EXPECT_EQ(Listing(folder.Path()), std::vector<std::string>{"wxreport.txt"}) << "nothing beside the report";
    EXPECT_TRUE(errors.shown.empty());
}

// The window's upload of a report in a folder of its own, to the tests' own
// server.
class IntakeUpload : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::InitApplication();
        testsupport::ForgetSavedSettings();
        ASSERT_TRUE(CreateDirectoryA(station.c_str(), nullptr));
        form = std::make_unique<TForm1>();
        form->DelayTimer.SetEnabled(false);
        form->UploadLog = upload::TUploadLog(folder.File("log"));
        form->Callsign->SetText("CW1234");
        form->Validation->SetText("-1");
        form->FileLocationDisplay->SetText(report);
        form->AutoServer->SetChecked(false);
        form->serverNameEdit->SetText("127.0.0.1");
        form->ServerPortEdit->SetText(server.PortText());
    }
    void TearDown() override {
        form.reset();
        testsupport::ForgetSavedSettings();
        EXPECT_EQ(Listing(station), std::vector<std::string>{"wxreport.txt"}) << "nothing beside the report";
        EXPECT_TRUE(errors.shown.empty());
    }
    std::string StatusLine() const {
        const HWND line = form->LoginStatus->Handle();
        return (GetWindowLongPtrA(line, GWL_STYLE) & WS_VISIBLE) ? rtl::Trimmed(testsupport::WindowText(line)) : "";
    }
    std::string LastLogEvent() const {
        std::string text = TempFolder::Read(form->UploadLog.FilePath()).erase(0, 3);  // after the byte-order mark
        if (text.size() < 23) return "";
        text.resize(text.size() - 2);
        return text.substr(text.rfind("\n") + 1 + 21);  // after the time
    }

    testsupport::ErrorRecorder errors;
    TempFolder folder;
    const std::string station = folder.File("station"), report = station + "\\wxreport.txt";
    LoopbackServer server{LoopbackServer::AprsIs()};
    std::unique_ptr<TForm1> form;
};

TEST_F(IntakeUpload, AReportCaughtHalfWrittenGoesOutOnceAndWhole) {
    Writer writer(report);
    ASSERT_TRUE(writer.Write(kL1 + "\r\n" + kL2.substr(0, 30)));
    // The writer finishes 0.8 s after the click, from a timer of this thread:
    // the upload's waits let it run. Whether it ran before the connection is
    // recorded where it runs.
    std::size_t connectionsWhenFinished = 99;
    rtl::TTimer finish(800, true);
    finish.SetOnTimer([&] {
        finish.SetEnabled(false);
        connectionsWhenFinished = server.ConnectionCount();
        ASSERT_TRUE(writer.Write(kL2.substr(30) + "\r\nline 3\r\n"));
    });
    form->abcButton1->Click();
    ASSERT_TRUE(server.WaitForEnd(0, 15000));
    ASSERT_TRUE(testsupport::PumpUntil([&] { return !form->Upload.UploadBusy; }, 8000));
    rtl::PumpMessagesFor(200);
    EXPECT_EQ(connectionsWhenFinished, 0u);
    EXPECT_EQ(server.ConnectionCount(), 1u);
    const std::string packet = upload::ComposePacket(kL1, kL2, form->ReadPacketSettings());
    EXPECT_EQ(server.Received(0), "user CW1234 pass -1 vers Teskaprs " + form->FileVersion() + "\r\n" + packet);
    EXPECT_EQ(form->LastOutcome, AttemptOutcome::Delivered);
}

TEST_F(IntakeUpload, AttemptsThatSendNothingSayWhy) {
    const FastClock clock;
    const std::string whole = kL1 + "\r\n" + kL2 + "\r\n";
    std::unique_ptr<Writer> writer;
    const rtl::TimePoint old = rtl::Now() - std::chrono::minutes(21);
    const std::string written = upload::ClockText(rtl::ToLocal(old), rtl::LocalNow());
    const struct Case {
        const char* what;
        std::function<void()> prepare;
        AttemptOutcome outcome;
        std::string status, logged;
    } cases[] = {
        {"a writer that never finishes",
         [&] {
             writer = std::make_unique<Writer>(report);
             ASSERT_TRUE(writer->Write(kL1 + "\r\n" + kL2.substr(0, 30)));
         },
         AttemptOutcome::ReportIncomplete, "Report incomplete: nothing sent",
         "report incomplete for 10 seconds, nothing sent: line 2 holds no whole pressure: " + report},
        {"no report", [&] { DeleteFileA(report.c_str()); }, AttemptOutcome::ReportMissing,
         "Report missing: nothing sent", "reading skipped: report missing or unreadable: " + report},
        {"a callsign that would reshape the login",
         [&] {
             folder.Write("station\\wxreport.txt", whole);
             form->Callsign->SetText("CW1234 pass 1");
         },
         AttemptOutcome::PacketRefused, "Callsign not valid for APRS-IS: nothing sent",
         "callsign not valid for APRS-IS, nothing sent: \"CW1234 PASS 1\""},
        {"a validation number that would reshape the login",
         [&] {
             folder.Write("station\\wxreport.txt", whole);
             form->Validation->SetText("123 4");
         },
         AttemptOutcome::PacketRefused, "Validation number not valid for APRS-IS: nothing sent",
         "validation number not valid for APRS-IS (-1 or one to five digits), nothing sent"},
        {"a packet over 510 characters",
         [&] { folder.Write("station\\wxreport.txt", kL1 + "\r\n" + std::string(500, 'x') + kL2 + "\r\n"); },
         AttemptOutcome::PacketRefused, "Packet too long for APRS-IS: nothing sent",
         "packet of 583 characters, APRS-IS takes at most 510: nothing sent"},
        {"a report last written 21 minutes ago",
         [&] {
             folder.Write("station\\wxreport.txt", whole);
             ASSERT_TRUE(testsupport::SetLastWriteTime(report, old));
         },
         AttemptOutcome::ReportOld, "Report old: written " + written + ", nothing sent",
         "report old, nothing sent: last written " + written + ", more than 20 minutes ago: " + report},
        {"no value left in the weather line",
         [&] { folder.Write("station\\wxreport.txt", kL1 + "\r\n.../...g...t150h..b.....\r\n"); },
         AttemptOutcome::NoWeather, "No weather in report: nothing sent",
         "no weather in report, nothing sent: no value a station can measure: " + report},
        {"the packet delivered last time",
         [&] {
             folder.Write("station\\wxreport.txt", whole);
             form->StorePacket(upload::ComposePacket(kL1, kL2, form->ReadPacketSettings()));
         },
         AttemptOutcome::ReportUnchanged, "", "packet unchanged since the last delivery: not sent"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        form->Callsign->SetText("CW1234");
        form->Validation->SetText("-1");
        form->ShowStatusLine("");
        form->LastOutcome = AttemptOutcome::Delivered;
        writer.reset();
        ASSERT_NO_FATAL_FAILURE(c.prepare());
        form->abcButton1->Click();
        EXPECT_FALSE(form->Upload.UploadBusy);
        EXPECT_EQ(form->LastOutcome, c.outcome);
        EXPECT_EQ(StatusLine(), c.status);
        if (!c.status.empty()) {
            EXPECT_EQ(form->abcTrayIcon1->Hint(), c.status);
        }
        EXPECT_EQ(LastLogEvent(), c.logged);
    }
    rtl::PumpMessagesFor(200);
    EXPECT_EQ(server.ConnectionCount(), 0u);
    writer.reset();
}

// A look that never ends (a share whose computer is off, here a look that
// blocks): the window goes on meanwhile, and the attempt ends at the deadline.
// While that look still hangs, the next attempt starts no other and ends at
// once; once it has returned, looks go on; a look that fails in itself is
// an unreadable report.
TEST_F(IntakeUpload, AReportThatCannotBeReachedHoldsUpNothing) {
    folder.Write("station\\wxreport.txt", kL1 + "\r\n" + kL2 + "\r\n");
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> looks{0};
    upload::SetReportLookerForTests([&looks, release](const std::string& path, rtl::TimePoint now) {
        ++looks;
        if (WaitForSingleObject(release, 30000) != WAIT_OBJECT_0) throw std::runtime_error("never released");
        return upload::LookAtReport(path, now);
    });
    form->ReportLookDeadlineMs = 500;
    int ticks = 0;
    rtl::TTimer tick(50, true);
    tick.SetOnTimer([&] { ticks += form->Upload.UploadBusy ? 1 : 0; });
    form->abcButton1->Click();
    EXPECT_GT(ticks, 0) << "the timers ran while the look was held";
    EXPECT_FALSE(form->Upload.UploadBusy);
    EXPECT_EQ(form->LastOutcome, AttemptOutcome::ReportNotReachable);
    EXPECT_EQ(StatusLine(), "Report not reachable: nothing sent");
    EXPECT_EQ(LastLogEvent(), "report not reachable within 10 seconds, nothing sent: " + report);
    form->LastOutcome = AttemptOutcome::Delivered;
    form->abcButton1->Click();
    EXPECT_EQ(form->LastOutcome, AttemptOutcome::ReportNotReachable);
    EXPECT_EQ(looks, 1) << "no second look while the first hangs";
    SetEvent(release);
    ASSERT_TRUE(upload::WaitForAbandonedLookForTests(10000));

    // The stuck look has returned: the next attempt looks again, and a look
    // that fails in itself ends as unreadable.
    upload::SetReportLookerForTests([&](const std::string&, rtl::TimePoint) -> upload::ReportLook {
        ++looks;
        throw std::bad_alloc();
    });
    form->ReportLookDeadlineMs = 10000;
    rtl::SetMonotonicSource([t = rtl::MonotonicNow()]() mutable { return t += std::chrono::seconds(1); });
    form->abcButton1->Click();
    rtl::SetMonotonicSource(nullptr);
    upload::SetReportLookerForTests(nullptr);
    EXPECT_GT(looks, 2);
    EXPECT_EQ(form->LastOutcome, AttemptOutcome::ReportIncomplete);
    EXPECT_EQ(LastLogEvent(), "report incomplete for 10 seconds, nothing sent: it cannot be read (error 8): " + report);
    EXPECT_EQ(server.ConnectionCount(), 0u);
    CloseHandle(release);
}

TEST(Intake, NumberRulesHoldInTheWindowsBuild) {
    // The same long double rules as natively, with the Windows runtime's
    // compiler and library: half-to-even, the carry, the field texts.
    EXPECT_EQ(upload::Hundredths(1.5L), 2);
    EXPECT_EQ(upload::Hundredths(4.5L), 8);
    EXPECT_EQ(upload::Hundredths(3), 5);
    EXPECT_EQ(upload::LatitudeDigits(51, 28, rtl::ReadDecimalField("59.800", '.')), "5129.00");
    EXPECT_EQ(upload::LongitudeDigits(0, 59, rtl::ReadDecimalField("59,9", ',')), "00100.00");
    EXPECT_EQ(rtl::FormatSeconds(rtl::ClampSeconds(75), '.'), "59.999");
    EXPECT_EQ(rtl::FormatSeconds(rtl::ReadDecimalField("1,5", ','), ','), "1,500");
    EXPECT_EQ(rtl::ReadIntegerField("", 10), 10);
    EXPECT_EQ(upload::ComposePacket(kL1, kL2, ExampleSettings()), kExamplePacket);
}

}  // namespace
