// The upload session of the main window against the tests' own server on
// 127.0.0.1: the login line and the packet a second apart, the status shown
// at each step, the packet recorded as delivered, the duplicate check, the
// watchdog moving through the servers, and the failures the session absorbs.
// Every server a test lets the window contact is on 127.0.0.1.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "LoopbackServer.h"
#include "SettingsSupport.h"
#include "TestSupport.h"
#include "Teskaprs1.h"
#include "upload/Weather.h"
#include "net/WSocket.h"
#include "rtl/Application.h"
#include "rtl/Clock.h"
#include "rtl/Timer.h"
#include "ui/abctray.h"

namespace {

using testsupport::LoopbackServer;
using testsupport::PumpUntil;
using testsupport::TempFolder;
using Behaviour = LoopbackServer::Behaviour;

const COLORREF kGreen = 65280;
const COLORREF kGrey = 8421504;

// How long a whole session may take here: three paced seconds and slack.
const DWORD kSessionMs = 8000;

// The station of the worked example, CW1234 at 51 28 30 N, 0 07 15 W, no
// station model; the report's minute varies. A station with a validation
// number sends its packet by "TCPIP*".
std::string Report(int minute) {
    char line[64];
    wsprintfA(line, "Jan 05 2008 14:%02d\r\n", minute);
    return std::string(line) + "180/005g010t065r000p000P000h55b10150\r\n";
}
std::string PacketFor(int minute, const std::string& path = "TCPXX*") {
    char mm[8];
    wsprintfA(mm, "%02d", minute);
    return "CW1234>APRS," + path + ":@0514" + mm + "z5128.50N/00007.25W_180/005g010t065r000p000P000h55b10150v\r\n";
}
// The log's line for a delivery of the report's packet, with its weather in words.
std::string DeliveredLine(const std::string& where, const std::string& packet) {
    const upload::WeatherReading weather = upload::ReadWeather("180/005g010t065r000p000P000h55b10150");
    return "delivered to " + where + ": " + packet.substr(0, packet.size() - 2) + " (" +
           upload::DescribeWeather(weather, TForm1::MeasurementUnits()) + ")";
}

class UploadSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::InitApplication();
        testsupport::ForgetSavedSettings();
        form = std::make_unique<TForm1>();
        EnterStation();
        form->FileLocationDisplay->SetText(folder.Write("wxreport.txt", Report(30)));
        // Written long ago: the first look at it is a reading.
        ASSERT_TRUE(testsupport::AgeFile(form->FileLocationDisplay->Text()));
    }
    void EnterStation() {
        // No scheduled upload runs into a test, and the upload log is the test's.
        form->DelayTimer.SetEnabled(false);
        form->UploadLog = upload::TUploadLog(folder.File("log"));
        form->Callsign->SetText("CW1234");
        form->Validation->SetText("-1");
        form->LatDeg->SetValue(51);
        form->LatMin->SetValue(28);
        form->LatSec->SetValue(30);
        form->LonDeg->SetValue(0);
        form->LonMin->SetValue(7);
        form->LonSec->SetValue(15);
    }
    void TearDown() override {
        form.reset();
        testsupport::ForgetSavedSettings();
        EXPECT_TRUE(errors.shown.empty()) << errors.shown.front().second;
    }

    // Manual server mode: every attempt goes to this server.
    void UseServer(const std::string& port) {
        form->AutoServer->SetChecked(false);
        form->serverNameEdit->SetText("127.0.0.1");
        form->ServerPortEdit->SetText(port);
    }
    std::string Hint() const { return form->abcTrayIcon1->Hint(); }

    // What the window shows of the session, in one line.
    std::string Status() const {
        return "step=" + std::to_string(form->Attempt.SendStep) + " lamp=" + std::to_string(form->LED->Color()) +
               " hint=" + Hint() + " label=" + form->Label22->Text() + " server=" + form->serverNameEdit->Text() +
               ":" + form->ServerPortEdit->Text() + " busy=" + std::to_string(form->Upload.UploadBusy) +
               " cycle=" + std::to_string(form->Session.CycleActive);
    }
    std::string StatusOf(int step, COLORREF lamp, const std::string& hint, const std::string& label,
                         const std::string& port, bool busy, bool cycle) const {
        return "step=" + std::to_string(step) + " lamp=" + std::to_string(lamp) + " hint=" + hint +
               " label=" + label + " server=127.0.0.1:" + port + " busy=" + std::to_string(busy) +
               " cycle=" + std::to_string(cycle);
    }

    // Records the status where it changes: as each data-sent event has been
    // handled, and as each session-closed event begins, with the times of
    // the event (the program's steps happen inside them). beforeDataSent,
    // when set, runs first at each data-sent event.
    struct Seen {
        std::string status;
        ULONGLONG from, to;
    };
    void RecordAtEvents() {
        seen.clear();
        auto sent = form->WSocket1->OnDataSent;
        form->WSocket1->OnDataSent = [this, sent](net::TWSocket* sender, std::uint16_t code) {
            if (beforeDataSent) beforeDataSent();
            const ULONGLONG from = GetTickCount64();
            sent(sender, code);
            seen.push_back({Status(), from, GetTickCount64()});
        };
        auto closed = form->WSocket1->OnSessionClosed;
        form->WSocket1->OnSessionClosed = [this, closed](net::TWSocket* sender, std::uint16_t code) {
            seen.push_back({Status(), GetTickCount64(), GetTickCount64()});
            closed(sender, code);
        };
    }

    // Counts the connections that ended, noting the server shown and the
    // position at each end.
    struct Ending {
        std::string port;
        int index;
        bool cycle;
    };
    void RecordEndings() {
        auto original = form->WSocket1->OnSessionClosed;
        form->WSocket1->OnSessionClosed = [this, original](net::TWSocket* sender, std::uint16_t code) {
            endings.push_back(Ending{form->ServerPortEdit->Text(), form->Session.ServerIndex,
                                     form->Session.CycleActive});
            original(sender, code);
        };
    }

    // The upload log's events from the skip-th on, each without its UTC
    // time (which must be there). The reports here carry a time of 2008:
    // the line that says so once is left out unless asked for.
    std::vector<std::string> LogEvents(std::size_t skip = 0, bool withClock = false) const {
        std::vector<std::string> events;
        const std::string text = TempFolder::Read(form->UploadLog.FilePath());
        for (std::size_t at = 3, end; at < text.size(); at = end + 2) {
            end = std::min(text.find("\r\n", at), text.size());
            const std::string line = text.substr(at, end - at);
            EXPECT_TRUE(line.size() > 21 && line[10] == 'T' && line.compare(19, 2, "Z ") == 0) << line;
            if (line.size() > 21 && (withClock || line.compare(21, 17, "the report's time") != 0))
                events.push_back(line.substr(21));
        }
        events.erase(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(std::min(skip, events.size())));
        return events;
    }
    // The login status line's text while it is shown, "" while hidden.
    std::string LoginStatusShown() const {
        const HWND status = form->LoginStatus->Handle();
        return (GetWindowLongPtrA(status, GWL_STYLE) & WS_VISIBLE) ? testsupport::WindowText(status) : "";
    }
    // "Update Now", and the session with server to its end.
    void RunSession(LoopbackServer& server) {
        form->abcButton1->Click();
        ASSERT_TRUE(server.WaitForEnd(0, kSessionMs));
        ASSERT_TRUE(PumpUntil([&] { return !form->Upload.UploadBusy; }, kSessionMs));
    }

    testsupport::ErrorRecorder errors;
    TempFolder folder;
    std::unique_ptr<TForm1> form;
    std::vector<Seen> seen;
    std::function<void()> beforeDataSent;
    std::vector<Ending> endings;
};

TEST_F(UploadSessionTest, OneSessionSendsTheLoginAndThePacketASecondApartAndRecordsThePacket) {
    LoopbackServer::Options options;
    options.greeting = "# aprsc 2.1.19 test\r\n";
    options.loginReply = "# logresp CW1234 unverified, server TEST\r\n";
    LoopbackServer server(options);
    const std::string port = server.PortText();
    UseServer(port);
    const std::string login = "user CW1234 pass -1 vers Teskaprs " + form->FileVersion() + "\r\n";
    const std::string packet = PacketFor(30);
    RecordAtEvents();
    // What is typed once the attempt has begun counts from the next one on.
    beforeDataSent = [&] {
        form->Callsign->SetText("X FILTER");
        form->Validation->SetText("1");
    };

    form->abcButton1->Click();
    // The connect request: the server being tried is shown, the watchdog runs.
    const std::string trying = "Trying server : ";
    EXPECT_EQ(Status(), StatusOf(0, kGrey, trying + "127.0.0.1", trying, port, true, true));
    EXPECT_TRUE(form->Timer1.Enabled());
    EXPECT_EQ(form->Label20->Text(), packet);

    ASSERT_TRUE(server.WaitForEnd(0, kSessionMs));
    ASSERT_TRUE(PumpUntil([&] { return !form->Upload.UploadBusy; }, kSessionMs));

    const auto connections = server.Connections();
    ASSERT_EQ(connections.size(), 1u);
    const auto& c = connections[0];
    EXPECT_EQ(c.Received(), login + packet) << "exactly the two lines";
    EXPECT_EQ(c.end, testsupport::PeerEnd::Fin) << "an orderly end, though the server's lines were never read";

    // The status at each step: connected (login sent), login out (packet
    // sent), the close, and closed: the lamp grey, waiting, the packet
    // recorded, the cycle over.
    const std::string sending = "Sending data to 127.0.0.1", using_ = "Using server : ";
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].status, StatusOf(1, kGreen, trying + "127.0.0.1", trying, port, true, true));
    EXPECT_EQ(seen[1].status, StatusOf(2, kGreen, sending, using_, port, true, true));
    EXPECT_EQ(seen[2].status, StatusOf(3, kGreen, sending, using_, port, true, true));
    EXPECT_EQ(seen[3].status, StatusOf(3, kGrey, "Waiting", using_, port, false, false));
    EXPECT_EQ(Status(), seen[3].status);
    // At least a second between the connection, the login line, the packet
    // and the close (a few milliseconds for the two clocks' granularity).
    EXPECT_GE(seen[0].to + 5, seen[0].from + 1000);
    EXPECT_GE(seen[1].to + 5, seen[0].to + 1000);
    EXPECT_GE(seen[2].from + 5, seen[1].to + 1000);
    EXPECT_EQ(form->ReadStoredPacket(), packet);
    EXPECT_EQ(form->LastOutcome, upload::AttemptOutcome::Delivered);
    EXPECT_FALSE(form->Timer1.Enabled());
}

TEST_F(UploadSessionTest, TheLoginLineCarriesTheProgramsVersion) {
    LoopbackServer::Options options;
    options.behaviour = Behaviour::CloseAfterFirstLine;
    LoopbackServer server(options);
    UseServer(server.PortText());
    form->Callsign->SetText(" CW1234 ");
    form->Validation->SetText(" -1 ");
    form->abcButton1->Click();
    ASSERT_TRUE(server.WaitForEnd(0, kSessionMs));
    EXPECT_EQ(server.Received(0), "user CW1234 pass -1 vers Teskaprs " + form->FileVersion() + "\r\n");
    EXPECT_EQ(form->FileVersion(), "1.9.8.0");
}

TEST_F(UploadSessionTest, AnUnchangedReportSendsNothingAChangedOneSendsAndUpdateNowDuringASessionStartsNothing) {
    LoopbackServer server(LoopbackServer::AprsIs());
    UseServer(server.PortText());
    form->abcButton1->Click();
    ASSERT_TRUE(server.WaitForEnd(0, kSessionMs));
    ASSERT_TRUE(PumpUntil([&] { return !form->Upload.UploadBusy; }, kSessionMs));
    ASSERT_EQ(form->ReadStoredPacket(), PacketFor(30));

    // The same report again: read and shown, but no connection.
    form->Label20->SetText("");
    form->abcButton1->Click();
    EXPECT_EQ(form->Label20->Text(), PacketFor(30));
    EXPECT_FALSE(form->Upload.UploadBusy) << "the attempt ends at once";
    EXPECT_FALSE(form->Session.CycleActive);
    EXPECT_FALSE(form->Timer1.Enabled());
    rtl::PumpMessagesFor(300);
    EXPECT_EQ(server.ConnectionCount(), 1u);

    // A newer report is sent. "Update Now" pressed while its session is
    // under way (here while the window waits to send the login line) starts
    // nothing more.
    folder.Write("wxreport.txt", Report(31));
    int clicks = 0;
    auto click = form->abcButton1->OnClick;
    form->abcButton1->OnClick = [&, click](rtl::TControl* sender) {
        ++clicks;
        click(sender);
    };
    RecordAtEvents();
    beforeDataSent = [&] {
        if (seen.empty()) PostMessageA(form->abcButton1->Handle(), BM_CLICK, 0, 0);
    };
    form->abcButton1->Click();
    ASSERT_TRUE(server.WaitForEnd(1, kSessionMs));
    ASSERT_TRUE(PumpUntil([&] { return !form->Upload.UploadBusy; }, kSessionMs));
    rtl::PumpMessagesFor(300);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(server.ConnectionCount(), 2u);
    EXPECT_EQ(server.Received(1), "user CW1234 pass -1 vers Teskaprs " + form->FileVersion() + "\r\n" + PacketFor(31));
    EXPECT_EQ(form->ReadStoredPacket(), PacketFor(31));
    EXPECT_FALSE(form->Session.CycleActive);

    // After a restart: in registry mode the last packet delivered is still
    // known, so the same report is not sent again; otherwise it is.
    const std::string port = server.PortText();
    form.reset();
    form = std::make_unique<TForm1>();
    EnterStation();
    UseServer(port);
    form->FileLocationDisplay->SetText(folder.File("wxreport.txt"));
    form->abcButton1->Click();
    EXPECT_EQ(form->Label20->Text(), PacketFor(31));
    if (form->RegistryMode) {
        EXPECT_FALSE(form->Upload.UploadBusy);
        rtl::PumpMessagesFor(300);
        EXPECT_EQ(server.ConnectionCount(), 2u);
    } else {
        EXPECT_TRUE(server.WaitForConnections(3, kSessionMs));
    }
}

TEST_F(UploadSessionTest, ARefusedConnectionWaitsForTheWatchdogWhichTriesAgain) {
    const std::string port = std::to_string(LoopbackServer::UnusedPort());
    UseServer(port);
    RecordEndings();
    form->Timer1.SetInterval(400);  // ten seconds in the program
    // The watchdog's own runs, recorded where it runs: how many attempts had ended then.
    std::vector<std::size_t> endedWhenWatchdogRan;
    form->Timer1.SetOnTimer([&] {
        endedWhenWatchdogRan.push_back(endings.size());
        form->Timer1Timer(&form->Timer1);
    });

    form->abcButton1->Click();
    ASSERT_TRUE(PumpUntil([&] { return endings.size() >= 1; }, 3000));
    EXPECT_EQ(Status(), StatusOf(0, kGrey, "Waiting", "Trying server : ", port, false, true));
    EXPECT_TRUE(form->Timer1.Enabled()) << "the watchdog still runs";
    EXPECT_EQ(form->ReadStoredPacket(), "");

    // The watchdog tries again (manual mode: the same server).
    ASSERT_TRUE(PumpUntil([&] { return endings.size() >= 2; }, 3000));
    form->Timer1.SetEnabled(false);
    ASSERT_FALSE(endedWhenWatchdogRan.empty());
    EXPECT_EQ(endedWhenWatchdogRan[0], 1u) << "the second attempt is the watchdog's";
    EXPECT_EQ(endings[1].port, port);
    EXPECT_TRUE(endings[1].cycle);
    EXPECT_EQ(Hint(), "Waiting");
    EXPECT_FALSE(form->Upload.UploadBusy);
    EXPECT_EQ(form->LED->Color(), kGrey);
}

// The real lists name hosts of the APRS network: a test that works in
// automatic mode puts its own entries into the active list and keeps the
// cycle active, so "Update Now" keeps them. The watchdog is guarded so that
// it never runs once that no longer holds.
class AutomaticModeTest : public UploadSessionTest {
protected:
    void UseList(const upload::ServerList& list) {
        ASSERT_TRUE(form->AutoServer->Checked());
        form->Session.ActiveServers = list;
        form->Session.ServerIndex = 1;
        form->Session.CycleActive = true;
        form->Timer1.SetInterval(300);
        form->Timer1.SetOnTimer([this] {
            if (!form->Session.CycleActive || !OnlyLoopback()) {
                form->Timer1.SetEnabled(false);
                ADD_FAILURE() << "the watchdog would have left the test's servers";
                return;
            }
            form->Timer1Timer(&form->Timer1);
        });
    }
    bool OnlyLoopback() const {
        for (const auto& entry : form->Session.ActiveServers)
            if (entry.host != "127.0.0.1") return false;
        return true;
    }
};

TEST_F(AutomaticModeTest, UnreachableServersAreTriedInTurnWhileTheCycleLasts) {
    std::vector<std::string> ports;
    while (ports.size() < 3) {
        const std::string port = std::to_string(LoopbackServer::UnusedPort());
        if (std::find(ports.begin(), ports.end(), port) == ports.end()) ports.push_back(port);
    }
    ASSERT_NO_FATAL_FAILURE(UseList({upload::ServerEntry{"127.0.0.1", ports[0]},
                                     upload::ServerEntry{"127.0.0.1", ports[1]},
                                     upload::ServerEntry{"127.0.0.1", ports[2]}}));
    RecordEndings();

    form->abcButton1->Click();
    ASSERT_TRUE(PumpUntil([&] { return endings.size() >= 4; }, 6000));
    form->Timer1.SetEnabled(false);

    ASSERT_GE(endings.size(), 4u);
    const std::vector<std::string> expectedPorts{ports[0], ports[1], ports[2], ports[0]};
    const std::vector<int> expectedIndexes{1, 2, 3, 1};
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(endings[i].port, expectedPorts[i]);
        EXPECT_EQ(endings[i].index, expectedIndexes[i]);
        EXPECT_TRUE(endings[i].cycle) << "the watchdog's wrap does not end the cycle";
    }
    EXPECT_TRUE(form->Session.CycleActive);
    EXPECT_TRUE(OnlyLoopback());
}

TEST_F(AutomaticModeTest, AConnectRequestThatFailsMovesOnToTheNextPositionAtOnce) {
    // The component raises its failures when no error handler is attached;
    // a port text this long is refused without any lookup.
    const std::string badPort(40, 'x');
    const std::string unused = std::to_string(LoopbackServer::UnusedPort());
    ASSERT_NO_FATAL_FAILURE(UseList({upload::ServerEntry{"127.0.0.1", badPort},
                                     upload::ServerEntry{"127.0.0.1", badPort},
                                     upload::ServerEntry{"127.0.0.1", unused}}));
    auto onError = form->WSocket1->OnError;
    form->WSocket1->OnError = nullptr;
    RecordEndings();

    form->abcButton1->Click();
    // Positions 1 and 2 failed inside the click; 3 was asked for.
    EXPECT_EQ(form->Session.ServerIndex, 3);
    EXPECT_TRUE(form->Session.CycleActive);
    EXPECT_TRUE(form->Upload.UploadBusy);
    EXPECT_TRUE(form->Timer1.Enabled());
    EXPECT_EQ(form->ServerPortEdit->Text(), unused);
    ASSERT_TRUE(PumpUntil([&] { return endings.size() >= 1; }, 3000));
    form->Timer1.SetEnabled(false);
    EXPECT_EQ(endings[0].port, unused);
    EXPECT_FALSE(form->Upload.UploadBusy);

    // Every position failing: the loop gives up at the last one, the cycle
    // ends, and the window is free for the next upload.
    folder.Write("wxreport.txt", Report(31));
    ASSERT_NO_FATAL_FAILURE(UseList({upload::ServerEntry{"127.0.0.1", badPort},
                                     upload::ServerEntry{"127.0.0.1", badPort},
                                     upload::ServerEntry{"127.0.0.1", badPort}}));
    form->Session.ServerIndex = 2;  // the servers from here to the last are tried once
    form->abcButton1->Click();
    EXPECT_EQ(form->Session.ServerIndex, 1);
    EXPECT_FALSE(form->Session.CycleActive);
    EXPECT_FALSE(form->Upload.UploadBusy);
    EXPECT_FALSE(form->Timer1.Enabled());
    EXPECT_EQ(form->Label20->Text(), PacketFor(31));
    EXPECT_EQ(form->ReadStoredPacket(), "");
    form->WSocket1->OnError = onError;
}

TEST_F(AutomaticModeTest, AFailureReportedInsideConnectLeavesTheMoveToTheWatchdog) {
    // With its error handler attached the component reports a port it cannot
    // use through OnError inside Connect; the attempt stays busy until the
    // watchdog moves on to the next position.
    const std::string badPort(40, 'x');
    const std::string unused = std::to_string(LoopbackServer::UnusedPort());
    ASSERT_NO_FATAL_FAILURE(UseList({upload::ServerEntry{"127.0.0.1", badPort},
                                     upload::ServerEntry{"127.0.0.1", unused},
                                     upload::ServerEntry{"127.0.0.1", unused}}));
    RecordEndings();

    form->abcButton1->Click();
    EXPECT_EQ(form->Session.ServerIndex, 1);
    EXPECT_TRUE(form->Upload.UploadBusy) << "only the watchdog moves on";
    EXPECT_TRUE(form->Timer1.Enabled());
    EXPECT_TRUE(endings.empty());

    ASSERT_TRUE(PumpUntil([&] { return endings.size() >= 1; }, 3000));
    form->Timer1.SetEnabled(false);
    EXPECT_EQ(endings[0].port, unused);
    EXPECT_EQ(endings[0].index, 2);
    EXPECT_TRUE(endings[0].cycle);
    EXPECT_TRUE(errors.shown.empty()) << "upload failures are never shown in a box";
}

// Nothing is recorded as delivered unless the program itself ended the
// connection: a server that ends it first, after the login line or even
// after reading the packet, gets the packet again with the next upload.
TEST_F(UploadSessionTest, AServerThatEndsTheSessionFirstGetsNothingRecorded) {
    const std::string login = "user CW1234 pass -1 vers Teskaprs " + form->FileVersion() + "\r\n";
    const std::string closedLogged = "connection closed by the server before delivery: ";
    const struct Case {
        const char* name;
        std::size_t lines;
        bool reset;
        std::string reply, received;
        std::string logged;  // how the log tells the end
        upload::AttemptOutcome outcome;
    } cases[] = {
        {"closes after the login line", 1, false, "", login, closedLogged, upload::AttemptOutcome::SessionEnded},
        {"closes after the packet", 2, false, "", login + PacketFor(30), closedLogged,
         upload::AttemptOutcome::SessionEnded},
        {"resets after the packet", 2, true, "", login + PacketFor(30), "connection reset by the server: ",
         upload::AttemptOutcome::SessionEnded},
        {"refuses the login and closes", 1, false, "# Invalid login string\r\n", login, closedLogged,
         upload::AttemptOutcome::LoginNotVerified},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackServer::Options options;
        options.endAfterLines = c.lines;
        options.endWithReset = c.reset;
        options.loginReply = c.reply;
        LoopbackServer server(options);
        UseServer(server.PortText());
        form->UploadLog = upload::TUploadLog(folder.File(c.name));  // a log of its own: no repeats
        // Windows names a reset in the close notification (10054); Wine
        // reports it as a plain end of the stream, so its code is put in here.
        auto closed = form->WSocket1->OnSessionClosed;
        if (c.reset)
            form->WSocket1->OnSessionClosed = [closed](net::TWSocket* sender, std::uint16_t code) {
                closed(sender, code != 0 ? code : 10054);
            };

        form->abcButton1->Click();
        ASSERT_TRUE(server.WaitForEnd(0, kSessionMs));
        ASSERT_TRUE(PumpUntil([&] { return !form->Upload.UploadBusy; }, kSessionMs));
        // The step that was waiting when the server ended the session runs out.
        rtl::PumpMessagesFor(1300);

        EXPECT_EQ(server.Received(0), c.received);
        EXPECT_TRUE(server.Connections().at(0).closedByServer);
        EXPECT_EQ(server.ConnectionCount(), 1u);
        EXPECT_EQ(form->ReadStoredPacket(), "") << "the packet was not recorded as delivered";
        EXPECT_TRUE(form->Session.CycleActive) << "the next scheduled upload goes on with the same list";
        EXPECT_FALSE(form->Upload.UploadBusy);
        EXPECT_FALSE(form->Timer1.Enabled()) << "no retry before the schedule's";
        EXPECT_EQ(form->LED->Color(), kGrey);
        EXPECT_EQ(Hint(), c.reply.empty() ? "Waiting" : "Login invalid: check callsign and validation number");
        EXPECT_EQ(form->LastOutcome, c.outcome);
        const std::string where = "127.0.0.1:" + server.PortText();
        EXPECT_EQ(LogEvents(),
                  (std::vector<std::string>{"connecting to " + where,
                                            c.reply.empty() ? "login: no reply from the server"
                                                            : "login invalid: # Invalid login string",
                                            c.logged + where}));
        form->WSocket1->OnSessionClosed = closed;
    }
}

TEST_F(UploadSessionTest, LaterDataSentEventsOnlyLightTheLampAndWaitASecond) {
    // The window stays alive during the wait: its messages keep coming.
    int ticks = 0;
    rtl::TTimer ticker(50, true);
    ticker.SetOnTimer([&] { ++ticks; });
    form->Upload.UploadBusy = true;
    form->Attempt.SendStep = 3;
    form->Session.CycleActive = true;
    const ULONGLONG start = GetTickCount64();
    form->WSocket1DataSent(form->WSocket1.get(), 0);
    const ULONGLONG waited = GetTickCount64() - start;
    EXPECT_GE(waited, 990u);
    EXPECT_LT(waited, 5000u);
    EXPECT_GE(ticks, 1) << "messages were processed during the wait";
    EXPECT_EQ(form->LED->Color(), kGreen);
    EXPECT_EQ(form->Attempt.SendStep, 4);
    EXPECT_TRUE(form->Session.CycleActive);
    EXPECT_TRUE(form->Upload.UploadBusy);
    EXPECT_EQ(form->ReadStoredPacket(), "");

    // The second is the monotonic clock's (here 0.4 s a reading): a wall
    // clock leaping an hour at every reading neither ends it nor holds it.
    auto wall = std::chrono::system_clock::now();
    rtl::SetTimeSource([&] { return wall += std::chrono::hours(1); });
    std::vector<rtl::MonotonicPoint> readings;
    rtl::SetMonotonicSource([&] {
        readings.push_back(rtl::MonotonicPoint{} + std::chrono::milliseconds(400) * readings.size());
        return readings.back();
    });
    form->WSocket1DataSent(form->WSocket1.get(), 0);
    rtl::SetTimeSource(nullptr);
    rtl::SetMonotonicSource(nullptr);
    EXPECT_EQ(readings.size(), 4u) << "at 0, 0.4, 0.8 and 1.2 s";
    EXPECT_EQ(form->Attempt.SendStep, 5);
}

// The server's close can come while the window shows that the login is out
// (the step lets messages through there), and "Update Now" can follow at
// once: the step that was waiting then sends nothing, to the old connection
// or to the new one, which gets its own two lines.
TEST_F(UploadSessionTest, AStepThatWaitedSendsNothingOnceItsConnectionHasEnded) {
    LoopbackServer server(LoopbackServer::AprsIs());
    UseServer(server.PortText());
    bool clickAfterClose = false;
    auto closed = form->WSocket1->OnSessionClosed;
    form->WSocket1->OnSessionClosed = [&, closed](net::TWSocket* sender, std::uint16_t code) {
        closed(sender, code);
        if (std::exchange(clickAfterClose, false)) PostMessageA(form->abcButton1->Handle(), BM_CLICK, 0, 0);
    };
    RecordAtEvents();
    int sent = 0;
    beforeDataSent = [&] {
        if (++sent != 2) return;  // the login is out: its server's close is queued first
        clickAfterClose = true;
        PostMessageA(form->WSocket1->Handle(), net::WM_ASYNCSELECT, form->WSocket1->HSocket(),
                     MAKELPARAM(FD_CLOSE, 0));
    };
    form->abcButton1->Click();
    ASSERT_TRUE(server.WaitForEnd(1, 2 * kSessionMs));
    ASSERT_TRUE(PumpUntil([&] { return !form->Upload.UploadBusy; }, kSessionMs));
    const std::string login = "user CW1234 pass -1 vers Teskaprs " + form->FileVersion() + "\r\n";
    EXPECT_EQ(server.ConnectionCount(), 2u);
    EXPECT_EQ(server.Received(0), login);
    EXPECT_EQ(server.Received(1), login + PacketFor(30));
    EXPECT_EQ(form->ReadStoredPacket(), PacketFor(30));
    EXPECT_EQ(form->LastOutcome, upload::AttemptOutcome::Delivered);
}

// A watchdog belongs to the attempt it watches: the one a refused attempt
// leaves running does not cut the next attempt short.
TEST_F(UploadSessionTest, TheWatchdogOfARefusedAttemptGivesTheNextOneAWholePeriod) {
    UseServer(std::to_string(LoopbackServer::UnusedPort()));
    form->Timer1.SetInterval(2000);  // ten seconds in the program
    ULONGLONG fired = 0;
    form->Timer1.SetOnTimer([&] {
        fired = GetTickCount64();
        form->Timer1.SetEnabled(false);
    });
    form->abcButton1->Click();
    ASSERT_TRUE(PumpUntil([&] { return !form->Upload.UploadBusy; }, 3000));
    EXPECT_EQ(form->LastOutcome, upload::AttemptOutcome::NoServerAnswered);
    EXPECT_TRUE(form->Timer1.Enabled()) << "the watchdog runs on after the refusal";
    rtl::PumpMessagesFor(1000);
    fired = 0;
    const ULONGLONG start = GetTickCount64();
    form->abcButton1->Click();
    ASSERT_TRUE(PumpUntil([&] { return fired != 0; }, 5000));
    EXPECT_GE(fired - start + 20, 2000u) << "a whole period (give or take a clock tick)";
}

// Recording the packet fails when the settings key cannot be written: the
// failure is absorbed (no message box), the packet is not recorded, and the
// cycle stays active so it is delivered again.
TEST_F(UploadSessionTest, AFailureToRecordThePacketIsAbsorbed) {
    if (!form->RegistryMode) GTEST_SKIP() << "the last packet is kept in memory, where nothing can fail";
    LoopbackServer server(LoopbackServer::AprsIs());
    UseServer(server.PortText());
    {
        testsupport::ReadOnlyKey readOnly(HKEY_LOCAL_MACHINE, testsupport::kSettingsKey);
        form->abcButton1->Click();
        ASSERT_TRUE(server.WaitForEnd(0, kSessionMs));
        ASSERT_TRUE(PumpUntil([&] { return !form->Upload.UploadBusy; }, kSessionMs));
        rtl::PumpMessagesFor(200);
    }
    EXPECT_EQ(server.Received(0), "user CW1234 pass -1 vers Teskaprs " + form->FileVersion() + "\r\n" + PacketFor(30));
    EXPECT_TRUE(errors.shown.empty()) << "no message box";
    EXPECT_EQ(form->ReadStoredPacket(), "");
    EXPECT_FALSE(testsupport::GetRawValue(HKEY_LOCAL_MACHINE, testsupport::kSettingsKey, "APRSpacket"));
    EXPECT_TRUE(form->Session.CycleActive);
    EXPECT_FALSE(form->Upload.UploadBusy);
    EXPECT_EQ(form->LED->Color(), kGrey);

    // The key writable again, the same report goes out again: it was never
    // recorded as delivered.
    form->abcButton1->Click();
    EXPECT_TRUE(server.WaitForConnections(2, kSessionMs));
}

// Automatic mode with the three positions of every list pointed at servers
// of the test's own (the built-in table is restored afterwards), and the
// watchdog at its real ten seconds unless a test says otherwise.
class ServerTableTest : public UploadSessionTest {
protected:
    void UseTable(const upload::ServerList& table) {
        upload::ReplaceServerTableForTests(&table);
        form->AutoServer->SetChecked(true);
    }
    void TearDown() override {
        upload::ReplaceServerTableForTests(nullptr);
        UploadSessionTest::TearDown();
    }
    // Milliseconds from start to the first connection server accepted.
    static ULONGLONG AcceptedAfter(const LoopbackServer& server, ULONGLONG start) {
        return server.Connections().at(0).acceptedAtMs - start;
    }
    // The attempts in the log, in order: each server's port and how its
    // attempt ended ("" for the delivery of the report's packet).
    void ExpectAttempts(const std::vector<std::pair<std::string, std::string>>& attempts) {
        std::vector<std::string> expected, logged;
        for (const auto& [port, end] : attempts) {
            const std::string where = "127.0.0.1:" + port;
            expected.push_back("connecting to " + where);
            expected.push_back(end.empty() ? DeliveredLine(where, PacketFor(30)) : end + where);
        }
        for (const std::string& event : LogEvents())
            if (event.rfind("login", 0) != 0) logged.push_back(event);
        EXPECT_EQ(logged, expected);
    }
    void ExpectDelivered(LoopbackServer& server) {
        ASSERT_TRUE(server.WaitForEnd(0, kSessionMs));
        ASSERT_TRUE(PumpUntil([&] { return !form->Upload.UploadBusy; }, kSessionMs));
        EXPECT_EQ(server.Received(0), "user CW1234 pass -1 vers Teskaprs " + form->FileVersion() + "\r\n" + PacketFor(30));
        EXPECT_EQ(form->ReadStoredPacket(), PacketFor(30));
        EXPECT_FALSE(form->Session.CycleActive);
    }
};

TEST_F(ServerTableTest, AServerThatNeverAnswersIsGivenUpAfterTenSecondsAndTheNextOneDelivers) {
    LoopbackServer::Options silent;
    silent.behaviour = Behaviour::NoHandshake;
    LoopbackServer never(silent), good(LoopbackServer::AprsIs());
    UseTable({upload::ServerEntry{"127.0.0.1", never.PortText()}, upload::ServerEntry{"127.0.0.1", good.PortText()},
              upload::ServerEntry{"127.0.0.1", good.PortText()}});
    const ULONGLONG start = GetTickCount64();
    form->abcButton1->Click();
    ASSERT_TRUE(good.WaitForConnections(1, 15000));
    EXPECT_GE(AcceptedAfter(good, start), 9500u);
    ExpectDelivered(good);
    EXPECT_EQ(good.ConnectionCount(), 1u);
    ExpectAttempts({{never.PortText(), "no connection within 10 seconds: "}, {good.PortText(), ""}});
}

TEST_F(ServerTableTest, ARefusingThenASilentServerStillLeaveTheThirdToDeliver) {
    LoopbackServer::Options silent;
    silent.behaviour = Behaviour::NoHandshake;
    LoopbackServer never(silent), good(LoopbackServer::AprsIs());
    const std::string refusing = std::to_string(LoopbackServer::UnusedPort());
    UseTable({upload::ServerEntry{"127.0.0.1", refusing}, upload::ServerEntry{"127.0.0.1", never.PortText()},
              upload::ServerEntry{"127.0.0.1", good.PortText()}});
    form->Timer1.SetInterval(1500);  // ten seconds in the program
    const ULONGLONG start = GetTickCount64();
    form->abcButton1->Click();
    ASSERT_TRUE(good.WaitForConnections(1, 10000));
    EXPECT_GE(AcceptedAfter(good, start), 2900u) << "two watchdog periods";
    ExpectDelivered(good);
    ExpectAttempts({{refusing, "no connection (refused, unreachable or unknown host): "},
                    {never.PortText(), "no connection within 10 seconds: "},
                    {good.PortText(), ""}});
}

// A name server that does not answer: the lookup is held for 15 seconds.
// The window keeps answering, the watchdog gives the lookup up at ten
// seconds and moves on, and the answer that comes at last changes nothing.
TEST_F(ServerTableTest, AHeldLookupNeitherFreezesTheWindowNorOutlivesTheWatchdog) {
    LoopbackServer good(LoopbackServer::AprsIs()), late;
    testsupport::ScriptedLookup held(15000);
    form->WSocket1->SetHostLookup(&held);
    const std::string name = std::string(64, 'h') + ".invalid";  // never a real query
    UseTable({upload::ServerEntry{name, late.PortText()}, upload::ServerEntry{"127.0.0.1", good.PortText()},
              upload::ServerEntry{"127.0.0.1", good.PortText()}});
    RecordEndings();

    // Another thread asks the window for an answer every 50 ms; a window
    // held by the lookup would leave it unanswered for seconds.
    std::atomic<bool> stop{false};
    std::atomic<int> pings{0}, unanswered{0};
    const HWND window = form->Handle();
    std::thread pinger([&] {
        while (!stop) {
            DWORD_PTR result = 0;
            if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 3000, &result)) ++unanswered;
            ++pings;
            Sleep(50);
        }
    });

    const ULONGLONG start = GetTickCount64();
    form->abcButton1->Click();
    EXPECT_LT(GetTickCount64() - start, 5000u) << "the click returned without waiting for the lookup";
    EXPECT_EQ(form->WSocket1->State(), net::wsConnecting);
    EXPECT_EQ(held.Names(), std::vector<std::string>{name});
    ASSERT_TRUE(good.WaitForConnections(1, 15000));
    EXPECT_GE(AcceptedAfter(good, start), 9500u);
    EXPECT_EQ(net::WSocketPendingLookups(), 1u) << "the lookup given up still runs";
    ExpectDelivered(good);
    const std::size_t endingsBefore = endings.size();

    // The answer arrives at 15 s, for an attempt given up long ago.
    ASSERT_TRUE(PumpUntil([&] { return net::WSocketPendingLookups() == 0; }, 8000));
    stop = true;
    pinger.join();

    EXPECT_EQ(endings.size(), endingsBefore) << "nothing started or ended after the late answer";
    EXPECT_EQ(held.AnswersPosted(), 1u);
    EXPECT_EQ(held.StrayWrites(), 0u) << "the late answer wrote into memory still owned";
    EXPECT_EQ(late.ConnectionCount(), 0u);
    EXPECT_EQ(good.ConnectionCount(), 1u);
    EXPECT_EQ(form->WSocket1->State(), net::wsClosed);
    EXPECT_EQ(Status(), StatusOf(3, kGrey, "Waiting", "Using server : ", good.PortText(), false, false));
    EXPECT_GT(pings, 20);
    EXPECT_EQ(unanswered, 0);
}

// ------------------------------------------------------------ the login verdict

// The server's answer to the login, for a station with and one without a
// validation number: after the session the window tells the owner only
// what they must act on; what is sent does not change.
TEST_F(UploadSessionTest, TheServersVerdictOnTheLoginIsShownOnlyWhenTheOwnerMustAct) {
    const std::string unverified = "# logresp CW1234 unverified, server T2TEST\r\n";
    const std::string verified = "# logresp CW1234 verified, server T2TEST\r\n";
    const std::string invalid = "# Invalid login string\r\n";
    const std::string notVerified = " Server T2TEST did not verify the login: check the validation number. ";
    const std::string refused = " The server refused the login: check the callsign and the validation number. ";
    const std::string checkNumber = "Login not verified: check the validation number";
    const std::string checkBoth = "Login invalid: check callsign and validation number";
    constexpr auto Delivered = upload::AttemptOutcome::Delivered, NotVerified = upload::AttemptOutcome::LoginNotVerified,
                   NotConfirmed = upload::AttemptOutcome::ServerDidNotConfirm;
    const struct Case {
        std::string validation, reply;
        std::string status;  // the login status line; "" hidden
        std::string hint, logged;
        upload::AttemptOutcome outcome;  // only a delivery or an unverified login records the packet
    } cases[] = {
        {"12345", unverified, notVerified, checkNumber, "login unverified by server T2TEST", NotVerified},
        {"12345", verified, "", "Waiting", "login verified by server T2TEST", Delivered},  // the warning goes
        {"12345", invalid, refused, checkBoth, "login invalid: # Invalid login string", NotConfirmed},
        {"-1", unverified, "", "Waiting", "login unverified by server T2TEST", Delivered},  // as it should be without one
        {"-1", verified, "", "Waiting", "login verified by server T2TEST", Delivered},
        {"-1", "", "", "Waiting", "login: no reply from the server", NotConfirmed},
        {"-1", invalid, refused, checkBoth, "login invalid: # Invalid login string", NotConfirmed},
        {"12345", "# logresp CW9999 verified, server T2TEST\r\n", "", "Waiting", "login verified by server T2TEST",
         NotConfirmed},
    };
    int minute = 30;
    std::string stored;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.validation + " " + c.reply);
        LoopbackServer::Options options;
        options.greeting = "# aprsc 2.1.19 test\r\n";
        options.loginReply = c.reply;
        LoopbackServer server(options);
        UseServer(server.PortText());
        form->Validation->SetText(c.validation);
        form->FileLocationDisplay->SetText(folder.Write("wxreport.txt", Report(++minute)));
        const std::size_t logged = LogEvents().size();
        ASSERT_NO_FATAL_FAILURE(RunSession(server));

        const std::string packet = PacketFor(minute, c.validation == "-1" ? "TCPXX*" : "TCPIP*");
        EXPECT_EQ(server.Received(0), "user CW1234 pass " + c.validation + " vers Teskaprs 1.9.8.0\r\n" + packet);
        EXPECT_EQ(server.Connections().at(0).end, testsupport::PeerEnd::Fin);
        if (c.outcome != NotConfirmed) stored = packet;
        EXPECT_EQ(form->ReadStoredPacket(), stored);
        EXPECT_EQ(LoginStatusShown(), c.status);
        EXPECT_EQ(Hint(), c.hint);
        EXPECT_EQ(form->Label22->Text(), "Using server : ");
        const std::string where = "127.0.0.1:" + server.PortText(), sent = packet.substr(0, packet.size() - 2);
        std::vector<std::string> events{"connecting to " + where, c.logged, DeliveredLine(where, packet)};
        if (c.outcome == NotVerified)
            events.back() = "sent to " + where + ", but the login was not verified and the server drops the packet: " + sent;
        if (c.outcome == NotConfirmed)
            events.back() = "sent to " + where + ", but the server " +
                            (c.reply.empty() ? "did not answer the login"
                                             : "answered the login with \"" + c.reply.substr(0, c.reply.size() - 2) + "\"") +
                            ": not confirmed, sent again next time: " + sent;
        if (c.outcome == Delivered && c.validation != "-1")  // once a run
            events.push_back("note: APRS-IS servers log out an earlier login of CW1234 (your igate or other APRS "
                             "program) at every upload; a weather SSID such as CW1234-13 avoids it");
        EXPECT_EQ(LogEvents(logged), events);
        EXPECT_EQ(form->LastOutcome, c.outcome);
    }
    // Nothing kept for three intervals: an unverified login brings the warning.
    form->Silence = upload::SilenceWatch(rtl::Now() - std::chrono::hours(1));
    LoopbackServer::Options options;
    options.loginReply = unverified;
    LoopbackServer server(options);
    UseServer(server.PortText());
    form->Validation->SetText("12345");
    form->FileLocationDisplay->SetText(folder.Write("wxreport.txt", Report(++minute)));
    ASSERT_NO_FATAL_FAILURE(RunSession(server));
    EXPECT_TRUE(form->Silence.Warning());
    EXPECT_EQ(form->Silence.Text(), "No upload since start: login not verified");
    EXPECT_TRUE(errors.shown.empty()) << "never a message box";
}

// Replies out of the ordinary: in pieces, too long to be a reply, after
// 60 KiB of other lines; and a server that sends lines without end, of which
// 64 KiB are read before the program's Close and as many at most in it.
// Every session sends its packet, and the program ends it within seconds;
// without a reply it is not confirmed.
TEST_F(UploadSessionTest, AReplyInPiecesIsRecognisedALongLineOrAFloodIsNot) {
    std::string lines;
    while (lines.size() < 60 * 1024) lines += "# aprsc 2.1.19 filler line of the test server\r\n";
    const std::string unverified = "# logresp CW1234 unverified, server T2TEST\r\n";
    const std::string long_ = "# logresp CW1234 unverified, server " + std::string(600, 'S') + "\r\n";
    const struct Case {
        const char* name;
        Behaviour behaviour;
        std::string greeting, reply;
        std::size_t pieceBytes;
        const char* logged;  // nothing shown unless unverified
    } cases[] = {
        {"in pieces", Behaviour::Record, "", unverified, 6, "login unverified by server T2TEST"},
        {"longer than 512 bytes", Behaviour::Record, "", long_, 0, "login: no reply from the server"},
        {"after 60 KiB of other lines", Behaviour::Record, lines, unverified, 0, "login unverified by server T2TEST"},
        {"lines without end", Behaviour::Stream, "", "", 0, "login: no reply from the server"},
    };
    form->Validation->SetText("12345");
    int minute = 30;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form->ShowLoginVerdict("12345", upload::LoginVerdict{upload::LoginVerdictKind::Verified, "", "", ""});
        LoopbackServer::Options options;
        options.behaviour = c.behaviour;
        options.greeting = c.greeting;
        options.loginReply = c.reply;
        options.replyPieceBytes = c.pieceBytes;
        options.replyPauseMs = 100;
        LoopbackServer server(options);
        UseServer(server.PortText());
        form->FileLocationDisplay->SetText(folder.Write("wxreport.txt", Report(++minute)));
        form->UploadLog = upload::TUploadLog(folder.File(c.name));  // a log of its own: no repeats
        const std::size_t before = LogEvents().size();
        std::size_t reads = 0, bytesRead = 0;
        auto feed = form->WSocket1->OnDataReceived;
        form->WSocket1->OnDataReceived = [&](net::TWSocket* sender, const char* data, int length) {
            ++reads;
            bytesRead += static_cast<std::size_t>(length);
            feed(sender, data, length);
        };
        ASSERT_NO_FATAL_FAILURE(RunSession(server));
        form->WSocket1->OnDataReceived = feed;

        const std::string packet = PacketFor(minute, "TCPIP*");
        const bool unverifiedSeen = std::string(c.logged) != "login: no reply from the server";
        if (unverifiedSeen) {
            EXPECT_EQ(form->ReadStoredPacket(), packet);
        }
        EXPECT_EQ(form->LastOutcome, unverifiedSeen ? upload::AttemptOutcome::LoginNotVerified
                                                    : upload::AttemptOutcome::ServerDidNotConfirm);
        const auto connection = server.Connections().at(0);
        EXPECT_EQ(connection.Received(), "user CW1234 pass 12345 vers Teskaprs 1.9.8.0\r\n" + packet);
        EXPECT_FALSE(connection.closedByServer);
        if (c.behaviour == Behaviour::Stream) {
            EXPECT_LT(connection.endedAtMs - connection.acceptedAtMs, 5000u) << "ended by the program at once";
            EXPECT_GE(bytesRead, 64u * 1024);
            EXPECT_LE(bytesRead, 2 * 64u * 1024);
        } else {
            EXPECT_EQ(bytesRead, c.greeting.size() + c.reply.size()) << "all the server sent was read";
        }
        EXPECT_GE(reads, c.pieceBytes ? 4u : 1u);
        EXPECT_EQ(LoginStatusShown().empty(), !unverifiedSeen) << LoginStatusShown();
        const std::vector<std::string> events = LogEvents(before);
        ASSERT_GE(events.size(), 3u);
        EXPECT_EQ(events[1], c.logged);
    }
}

// ------------------------------------------------------------ the upload log

// Log-off or shut-down: the counts of repeats not yet in the log are written
// before the process may be ended.
TEST_F(UploadSessionTest, TheEndOfTheWindowsSessionWritesTheCountsOfRepeats) {
    form->UploadLog.Write("connecting to a");
    form->UploadLog.Write("connecting to a");
    SendMessageA(form->Handle(), WM_ENDSESSION, FALSE, 0);
    EXPECT_EQ(LogEvents().size(), 1u) << "a Windows session that goes on writes nothing";
    SendMessageA(form->Handle(), WM_ENDSESSION, TRUE, 0);
    const std::vector<std::string> events = LogEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].rfind("connecting to a ... repeated once since ", 0), 0u) << events[1];
}

TEST_F(UploadSessionTest, TheLogHasOneLinePerEventInOrder) {
    const std::string unused = std::to_string(LoopbackServer::UnusedPort());
    LoopbackServer::Options options;
    options.loginReply = "# logresp CW1234 unverified, server T2TEST\r\n";
    LoopbackServer server(options);
    LoopbackServer::Options silent;
    silent.behaviour = Behaviour::NoHandshake;
    LoopbackServer never(silent);
    RecordEndings();

    // A refused server (the watchdog's retry is not waited for).
    UseServer(unused);
    form->abcButton1->Click();
    ASSERT_TRUE(PumpUntil([&] { return endings.size() >= 1; }, 3000));
    form->Timer1.SetEnabled(false);
    // A delivered session, then the same report again.
    UseServer(server.PortText());
    ASSERT_NO_FATAL_FAILURE(RunSession(server));
    form->abcButton1->Click();
    // A server that never completes the connection, given up by the
    // watchdog, whose next attempt finds the report gone.
    form->Timer1.SetInterval(500);  // ten seconds in the program
    folder.Write("wxreport.txt", Report(31));
    UseServer(never.PortText());
    form->abcButton1->Click();
    ASSERT_TRUE(form->Upload.UploadBusy);
    DeleteFileA(folder.File("wxreport.txt").c_str());
    ASSERT_TRUE(PumpUntil([&] { return !form->Upload.UploadBusy; }, 3000));
    EXPECT_FALSE(form->Timer1.Enabled());

    const std::string refusedAt = "127.0.0.1:" + unused, deliveredAt = "127.0.0.1:" + server.PortText();
    const std::string silentAt = "127.0.0.1:" + never.PortText(), packet = PacketFor(30);
    EXPECT_EQ(LogEvents(0, true), (std::vector<std::string>{
                               "the report's time (Jan 05 2008 14:30) is neither UTC nor local time by its "
                               "file's write time: sent as read",
                               "connecting to " + refusedAt,
                               "no connection (refused, unreachable or unknown host): " + refusedAt,
                               "connecting to " + deliveredAt,
                               "login unverified by server T2TEST",
                               DeliveredLine(deliveredAt, packet),
                               "packet unchanged since the last delivery: not sent",
                               "connecting to " + silentAt,
                               "no connection within 10 seconds: " + silentAt,
                               "reading skipped: report missing or unreadable: " + folder.File("wxreport.txt"),
                           }));

    // A log that cannot be written (a file where its folder should be)
    // changes nothing for the upload.
    folder.Write("blocked", "not a folder");
    form->UploadLog = upload::TUploadLog(folder.File("blocked"));
    form->FileLocationDisplay->SetText(folder.Write("wxreport.txt", Report(32)));
    UseServer(server.PortText());
    form->abcButton1->Click();
    ASSERT_TRUE(server.WaitForEnd(1, kSessionMs));
    ASSERT_TRUE(PumpUntil([&] { return !form->Upload.UploadBusy; }, kSessionMs));
    EXPECT_EQ(form->ReadStoredPacket(), PacketFor(32));
    EXPECT_EQ(TempFolder::Read(folder.File("blocked")), "not a folder");
    EXPECT_TRUE(errors.shown.empty());
}

}  // namespace
