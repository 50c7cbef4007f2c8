// The main window's upload: "Update Now", the stages of an upload, the
// session with the server, the connection watchdog and the schedule.
//
// Everything runs on the user-interface thread. Several steps let pending
// messages through while they wait, so timer ticks, socket events and clicks
// run nested inside them; the plain flags UploadBusy and CycleActive keep an
// upload from being entered twice.
#include "Teskaprs1.h"

#include <chrono>

#include "net/WSocket.h"
#include "rtl/Application.h"
#include "rtl/Clock.h"
#include "rtl/Files.h"
#include "rtl/Utf.h"
#include "rtl/Text.h"
#include "upload/Scheduler.h"
#include "upload/UploadLog.h"

namespace {

// The status lamp: green while the connection takes data, grey otherwise.
const COLORREF kLampSending = RGB(0, 255, 0);
const COLORREF kLampIdle = RGB(128, 128, 128);

// What the sockets library reports for a connection the peer reset.
constexpr int kConnectionAborted = 10053;  // WSAECONNABORTED
constexpr int kConnectionReset = 10054;    // WSAECONNRESET

// A report not yet whole and settled is looked at again each second for
// this many seconds.
constexpr int kReadingSeconds = 10;

// What the status line and the tray tip say of an attempt that sends nothing.
const char* const kReportMissing = "Report missing: nothing sent";
const char* const kReportIncomplete = "Report incomplete: nothing sent";
const char* const kCallsignNotValid = "Callsign not valid for APRS-IS: nothing sent";
const char* const kValidationNotValid = "Validation number not valid for APRS-IS: nothing sent";
const char* const kPacketTooLong = "Packet too long for APRS-IS: nothing sent";
const char* const kNoWeather = "No weather in report: nothing sent";
const char* const kReportNotReachable = "Report not reachable: nothing sent";
const char* const kReportNotPlain = "Report not a plain file: nothing sent";

}  // namespace

// Windows' measurement setting: metric or U.S. units, read afresh for each
// reading (the owner may change it at any time).
upload::Units TForm1::MeasurementUnits() {
    wchar_t measure[4] = L"";
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IMEASURE, measure, 4) > 0 && measure[0] == L'1')
        return upload::Units::US;
    return upload::Units::Metric;
}

void TForm1::SetUpUpload() {
    WSocket1 = std::make_unique<net::TWSocket>();
    WSocket1->OnDataSent = [this](net::TWSocket* sender, std::uint16_t errCode) { WSocket1DataSent(sender, errCode); };
    WSocket1->OnSessionClosed = [this](net::TWSocket* sender, std::uint16_t errCode) {
        WSocket1SessionClosed(sender, errCode);
    };
    WSocket1->OnError = [this](net::TWSocket* sender) { WSocket1Error(sender); };
    // What the server sends is dropped, but its reply to the login is
    // looked for on the way (also in what Close reads before it ends).
    WSocket1->OnDataReceived = [this](net::TWSocket*, const char* data, int length) {
        if (length > 0) Attempt.loginReply.Feed(data, static_cast<std::size_t>(length));
    };
    Timer1.SetOnTimer([this] { Timer1Timer(&Timer1); });
    Timer2.SetOnTimer([this] { ThreadTimer1Timer(&Timer2); });
    DelayTimer.SetOnTimer([this] { DelayTimerTimer(&DelayTimer); });
    SilenceTimer.SetOnTimer([this] { SilenceTimerTimer(&SilenceTimer); });
    abcButton1->OnClick = [this](rtl::TControl* sender) { abcButton1Click(sender); };
}

// ---------------------------------------------------------------- Update Now

void TForm1::abcButton1Click(rtl::TControl*) {
    // The servers to try are chosen even when the upload itself will not
    // start because an earlier attempt is still under way.
    Session.ChooseServers(Callsign->Text(), Validation->Text(), AutoServer->Checked(), serverNameEdit->Text(),
                          ServerPortEdit->Text());
    DoUpload();
}

void TForm1::DoUpload() {
    // First stage: a fresh reading of the report (nothing while an earlier
    // attempt is under way, or when there is no report).
    if (Upload.UploadBusy) return;
    const std::string reportPath = StationListen ? "the station's uploads" : FileLocationDisplay->Text();
    // The station's settings as they are now: what is typed while the
    // attempt runs counts from the next one on.
    const upload::PacketSettings settings = ReadPacketSettings();
    Upload.UploadBusy = true;
    const unsigned attempt = ++Upload.Attempts;

    // Whatever happens from here on, an attempt that is not handed to the
    // connection must not stay marked busy, or no later upload could start.
    // An attempt the connection takes over stays busy until its session has
    // ended (or the watchdog gives up on it).
    struct EndAttempt {
        upload::UploadState& state;
        bool handedOver = false;
        ~EndAttempt() {
            if (!handedOver) state.UploadBusy = false;
        }
    } endAttempt{Upload};

    // Only a whole report that has settled is read: one caught while the
    // console program writes it is looked at again a second later, for up
    // to ten seconds, the window alive meanwhile. Correct data or none.
    upload::ReportSettler settler;
    upload::ReportLook look;
    // Receiving from the station: its latest reading, when fresh, instead
    // of a look at the report; written when it was received.
    std::optional<upload::ReportLines> received;
    if (StationListen) {
        if (!(received = TakeStationReading())) return;
        look.lastWrite = StationReceiver.Latest()->received;
    }
    for (int second = 0; !received; ++second) {
        // Each look runs off this thread, the window alive meanwhile, and
        // has ten seconds (a report on a share whose computer is off).
        upload::NoLook why = upload::NoLook::TimedOut;
        const std::optional<upload::ReportLook> looked =
            upload::LookAtReportOffThread(reportPath, rtl::Now(), ReportLookDeadlineMs, &why);
        if (Upload.Attempts != attempt) {  // ended meanwhile, and another begun
            endAttempt.handedOver = true;
            return;
        }
        if (!looked) {
            if (rtl::Application().Terminated()) return;
            UploadLog.Write(upload::LogReportNotReachable(reportPath, why == upload::NoLook::StillRunning));
            ShowStatusLine(kReportNotReachable);
            SetTrayHint(kReportNotReachable);
            NoteOutcome(upload::AttemptOutcome::ReportNotReachable);
            return;
        }
        look = *looked;
        if (look.missing) {
            UploadLog.Write(upload::LogReadingSkipped(reportPath));
            ShowStatusLine(kReportMissing);
            SetTrayHint(kReportMissing);
            NoteOutcome(upload::AttemptOutcome::ReportMissing);
            return;
        }
        if (look.notPlainFile) {
            UploadLog.Write(upload::LogReportNotPlain(reportPath));
            ShowStatusLine(kReportNotPlain);
            SetTrayHint(kReportNotPlain);
            NoteOutcome(upload::AttemptOutcome::ReportNotPlain);
            return;
        }
        const upload::ReadingVerdict verdict = settler.Judge(look);
        if (verdict == upload::ReadingVerdict::Counts) break;
        if (second == kReadingSeconds) {
            UploadLog.Write(upload::LogReadingGivenUp(verdict, look.error, reportPath));
            ShowStatusLine(kReportIncomplete);
            SetTrayHint(kReportIncomplete);
            NoteOutcome(upload::AttemptOutcome::ReportIncomplete);
            return;
        }
        const bool goOn = PaceOneSecond();
        // Another attempt began while this one waited (the watchdog of an
        // earlier one ended this one): it is that attempt's to finish.
        if (Upload.Attempts != attempt) {
            endAttempt.handedOver = true;
            return;
        }
        if (!goOn) {  // the program is ending
            NoteOutcome(upload::AttemptOutcome::ReportIncomplete);
            return;
        }
    }
    const upload::ReportLines lines = received ? *received : upload::ReadReportLines(look.bytes);

    // Only the weather now: CWOP files a report as of its arrival, so a
    // report the console program stopped writing long ago is not sent.
    const rtl::TimePoint now = rtl::Now();
    if (!received && upload::ReportIsOld(look.lastWrite, now)) {
        const std::string written = upload::ClockText(rtl::ToLocal(look.lastWrite), rtl::ToLocal(now));
        UploadLog.Write(upload::LogReportOld(written, reportPath));
        const std::string status = "Report old: written " + written + ", nothing sent";
        ShowStatusLine(status);
        SetTrayHint(status);
        NoteOutcome(upload::AttemptOutcome::ReportOld);
        return;
    }

    // Second stage: the weather read field by field, implausible values
    // and jumps no sensor makes not sent; the packet composed from it; the
    // reading, its words and the packet shown.
    upload::WeatherReading weather = upload::ReadWeather(upload::WeatherText(lines.weather), lines.weatherEnded);
    WatchSensors(lines, weather);
    for (const std::string& rejection : upload::WeatherRejections(weather))
        UploadLog.Write(upload::LogWeatherNotSent(rejection));
    const std::string lineOne = rtl::Utf8OrAnsi(lines.timestamp, rtl::AnsiToUtf8);  // as the window shows it
    // The packet's time is UTC: a report written in local time is told by
    // its file's write time, and its time converted.
    const upload::StampInUtc stamp = upload::StampToUtc(upload::StampOf(lines.timestamp).value_or(upload::ReportStamp{}),
                                                        look.lastWrite, rtl::ZoneOffsets(look.lastWrite));
    if (stamp.clock != ReportClock.clock || stamp.offsetMinutes != ReportClock.offsetMinutes) {
        if (stamp.clock != upload::StampClock::Utc) UploadLog.Write(upload::LogReportClock(stamp, lineOne));
        ReportClock = stamp;
    }
    Upload.CurrentPacket = upload::ComposePacket(stamp.utc, weather, settings);
    Upload.CurrentWords = upload::DescribeWeather(weather, MeasurementUnits());
    Label1->SetText(lineOne);
    Label2->SetText(lines.weather);
    ReadingWords->SetText(Upload.CurrentWords);
    Label20->SetText(Upload.CurrentPacket);
    if (!weather.AnyValue()) {
        // A reading whose only values jumped says which were held back.
        const std::string held = upload::HeldBackNames(weather);
        const std::string status = held.empty() ? kNoWeather : "Held back: " + held + ", nothing sent";
        UploadLog.Write(upload::LogNoWeather(reportPath, held));
        ShowStatusLine(status);
        SetTrayHint(status);
        NoteOutcome(upload::AttemptOutcome::NoWeather);
        return;
    }

    // Only a packet APRS-IS takes as one line of this station goes out.
    const upload::PacketFault fault =
        upload::CheckPacket(settings.callsign, settings.validation, Upload.CurrentPacket);
    if (fault != upload::PacketFault::None) {
        UploadLog.Write(upload::LogPacketRefused(fault, settings.callsign, Upload.CurrentPacket.size() - 2));
        const char* status = fault == upload::PacketFault::CallsignNotValid     ? kCallsignNotValid
                             : fault == upload::PacketFault::ValidationNotValid ? kValidationNotValid
                                                                                : kPacketTooLong;
        ShowStatusLine(status);
        SetTrayHint(status);
        NoteOutcome(upload::AttemptOutcome::PacketRefused);
        return;
    }

    // Third stage: a packet equal to the last one delivered is not sent again.
    std::string stored;
    try {
        stored = ReadStoredPacket();
    } catch (...) {
        // Unreadable counts as nothing delivered yet: the packet goes out.
    }
    if (stored == Upload.CurrentPacket) {
        UploadLog.Write(upload::LogPacketUnchanged());
        NoteOutcome(upload::AttemptOutcome::ReportUnchanged);
        return;
    }

    Session.CycleActive = true;
    endAttempt.handedOver = ConnectToServer({settings.callsign, settings.validation, Upload.CurrentPacket});
}

bool TForm1::ConnectToServer(const upload::AttemptSend& send) {
    // One upload attempt, whichever positions it takes: its outcome is noted
    // once, when it ends.
    Attempt.outcomeDue = true;
    for (;;) {
        try {
            const upload::ServerEntry server = Session.Current();
            WSocket1->SetSocksAuthentication(net::socksNoAuthentication);
            WSocket1->SetProto("tcp");
            WSocket1->SetAddr(server.host);
            WSocket1->SetPort(server.port);
            Attempt.SendStep = 0;
            Attempt.send = send;
            Attempt.server = server;
            SetTrayHint("Trying server : " + server.host);
            Label22->SetText("Trying server : ");
            serverNameEdit->SetText(server.host);
            ServerPortEdit->SetText(server.port);
            // Let the window show the new state.
            rtl::Application().ProcessMessages();
            // A new attempt: nothing heard from its server yet.
            ++Attempt.connection;
            Attempt.watchedUpload = Upload.Attempts;
            Attempt.loginReply.Reset();
            Attempt.loginSent = false;
            Attempt.ownClose = false;
            Attempt.ended = false;
            UploadLog.Write(upload::LogConnecting(server));
            // The watchdog's period starts when it goes from off to on, and
            // it watches this attempt: one left running by an earlier
            // attempt (whose connection was refused) starts over.
            Timer1.SetEnabled(false);
            Timer1.SetEnabled(true);
            WSocket1->Connect();
            return true;
        } catch (...) {
            // The request itself failed: the next position at once, up to
            // the end of the list.
            Timer1.SetEnabled(false);
            if (!Attempt.ended) {
                Attempt.ended = true;
                UploadLog.Write(upload::LogSessionFailed(upload::SessionFailure::Refused, Attempt.server));
            }
            const bool tryNext = Session.AdvanceAfterConnectFailure();
            WSocket1->Abort();
            if (!tryNext) {
                if (TakeOutcomeDue()) NoteOutcome(upload::AttemptOutcome::NoServerAnswered);
                return false;
            }
        }
    }
}

bool TForm1::TakeOutcomeDue() {
    const bool due = Attempt.outcomeDue;
    Attempt.outcomeDue = false;
    return due;
}

// ---------------------------------------------------------------- session

void TForm1::WSocket1DataSent(net::TWSocket*, std::uint16_t) {
    // Taken before any message is let through: if the server closes the
    // connection while this handler waits, or a newer attempt has started
    // meanwhile, nothing more goes out and nothing is recorded as delivered
    // (the cycle stays active, so the packet goes out again).
    const unsigned attempt = Attempt.connection, closes = Attempt.sessionCloses;
    auto stillCurrent = [&] { return Attempt.connection == attempt && Attempt.sessionCloses == closes; };

    // Connected (first event) or a text handed over (later ones).
    Timer1.SetEnabled(false);
    LED->SetColor(kLampSending);
    if (Attempt.SendStep == 1) {
        // The login line is out: this server is in use. It is the server
        // the connection was asked for, not whatever ServerIndex holds now:
        // a schedule tick may have moved the position during the session.
        SetTrayHint("Sending data to " + Attempt.server.host);
        rtl::Application().ProcessMessages();
        if (!stillCurrent()) return;
        Label22->SetText("Using server : ");
        serverNameEdit->SetText(Attempt.server.host);
        ServerPortEdit->SetText(Attempt.server.port);
    }
    ++Attempt.SendStep;

    // Servers take a station's lines a second apart.
    if (!PaceOneSecond()) return;
    if (!stillCurrent()) return;

    switch (Attempt.SendStep) {
    case 1:
        // The login the attempt checked when it started, whatever is typed now.
        WSocket1->SendStr(upload::LoginLine(Attempt.send.callsign, Attempt.send.validation, FileVersion()));
        Attempt.loginSent = true;
        break;
    case 2:
        WSocket1->SendStr(Attempt.send.packet);
        break;
    case 3: {
        const upload::AttemptSend send = Attempt.send;
        const upload::ServerEntry server = Attempt.server;
        // The session-closed event runs inside Close: UploadBusy is clear
        // before the packet is recorded. A failure to record it ends the
        // handler here, and the cycle stays active; the server has the
        // packet all the same.
        Attempt.ownClose = true;
        WSocket1->Close();
        Attempt.ownClose = false;
        const bool noteOutcome = TakeOutcomeDue();
        // Only the server's reply to this station's login makes it a delivery.
        const upload::LoginVerdict verdict = Attempt.loginReply.Verdict();
        const upload::LoginOutcome login = upload::OutcomeOfLogin(send.callsign, send.validation, verdict);
        if (!login.storePacket) {
            // Not recorded, so the next attempt sends it again while the
            // report is fresh; the cycle goes on to the next server.
            UploadLog.Write(upload::LogSentUnconfirmed(server, verdict, send.packet));
            if (noteOutcome) NoteOutcome(login.outcome);
            break;
        }
        try {
            StorePacket(send.packet);
        } catch (...) {
            if (noteOutcome) NoteOutcome(login.outcome);
            throw;
        }
        Session.CycleActive = false;
        // A server that did not verify a validation number drops the
        // packet: sent, and not sent again, but no delivery.
        if (login.outcome != upload::AttemptOutcome::Delivered) {
            UploadLog.Write(upload::LogSentUnverified(server, send.packet));
            if (noteOutcome) NoteOutcome(login.outcome);
            break;
        }
        UploadLog.Write(upload::LogDelivered(server, send.packet, Upload.CurrentWords));
        if (!ssidAdviceGiven_ && upload::WantsWeatherSsid(send.callsign, send.validation)) {
            ssidAdviceGiven_ = true;
            UploadLog.Write(upload::LogSsidAdvice(rtl::Trimmed(send.callsign)));
        }
        if (noteOutcome) NoteOutcome(upload::AttemptOutcome::Delivered);
        break;
    }
    default:
        break;
    }
}

bool TForm1::PaceOneSecond() {
    using std::chrono::milliseconds;
    const milliseconds pace(1000);
    // On the monotonic clock: the wall clock set meanwhile (by hand, or by
    // the time service) neither holds the pace nor cuts it short.
    const rtl::MonotonicPoint start = rtl::MonotonicNow();
    for (;;) {
        const auto elapsed = std::chrono::duration_cast<milliseconds>(rtl::MonotonicNow() - start);
        if (elapsed >= pace) return true;
        // Ends at its deadline, however many messages keep coming.
        rtl::PumpMessagesFor(static_cast<DWORD>((pace - elapsed).count()));
        if (rtl::Application().Terminated()) return false;
    }
}

void TForm1::WSocket1SessionClosed(net::TWSocket*, std::uint16_t errCode) {
    ++Attempt.sessionCloses;
    const unsigned attempt = Attempt.connection;
    // The attempt's end is noted before the steps below let other events
    // run, one of which may already start the next attempt.
    const std::optional<upload::AttemptOutcome> outcome = LogSessionEnd(errCode);
    // A delivery is noted by the step that closed, once the packet is
    // recorded.
    const bool outcomeDue = outcome && outcome != upload::AttemptOutcome::Delivered && TakeOutcomeDue();
    const std::string validation = Attempt.send.validation;
    const upload::LoginVerdict verdict = Attempt.loginReply.Verdict();
    const bool verdictToShow = outcome && Attempt.loginSent;
    LED->SetColor(kLampIdle);
    SetTrayHint("Waiting");
    rtl::Application().ProcessMessages();
    // A newer attempt started meanwhile (the watchdog of this one fired) is
    // still under way.
    if (Attempt.connection == attempt) Upload.UploadBusy = false;
    // After the "Waiting" hint, so that a warning replaces it.
    if (verdictToShow) ShowLoginVerdict(validation, verdict);
    if (outcomeDue) NoteOutcome(*outcome);
}

std::optional<upload::AttemptOutcome> TForm1::LogSessionEnd(std::uint16_t errCode) {
    // Once per attempt: the close that the watchdog's Abort causes adds
    // nothing to the time-out it has logged.
    if (Attempt.ended) return std::nullopt;
    Attempt.ended = true;
    if (Attempt.SendStep == 0) {
        UploadLog.Write(upload::LogSessionFailed(upload::SessionFailure::Refused, Attempt.server));
        return upload::AttemptOutcome::NoServerAnswered;
    }
    const bool loginSent = Attempt.loginSent;
    if (loginSent) UploadLog.Write(upload::LogLoginVerdict(Attempt.loginReply.Verdict()));
    // The program's own Close after the packet: the step that closed notes
    // what the login reply makes of it.
    if (Attempt.ownClose) return upload::AttemptOutcome::Delivered;
    // A failed send ends the session through the error handler's Abort,
    // which names no error: the error it recorded tells.
    const int code = errCode != 0 ? errCode : WSocket1->LastError();
    const bool reset = code == kConnectionAborted || code == kConnectionReset;
    UploadLog.Write(upload::LogSessionFailed(
        reset ? upload::SessionFailure::Reset : upload::SessionFailure::ClosedByServer, Attempt.server));
    // A server that ends the session after refusing the login (or not
    // verifying a validation number) tells why nothing was delivered.
    if (loginSent && !upload::NoticeFor(Attempt.send.validation, Attempt.loginReply.Verdict()).Empty())
        return upload::AttemptOutcome::LoginNotVerified;
    return upload::AttemptOutcome::SessionEnded;
}

void TForm1::WSocket1Error(net::TWSocket*) { WSocket1->Abort(); }

void TForm1::Timer1Timer(rtl::TTimer*) {
    // No connection came about in time: the attempt is given up (a name
    // lookup or connection still pending would refuse the next Connect),
    // then the next server of the same list.
    Timer1.SetEnabled(false);
    // Left running by an attempt that has ended, while a newer one is still
    // reading the report: that one arms a watchdog of its own.
    if (Upload.UploadBusy && Upload.Attempts != Attempt.watchedUpload) return;
    bool timedOut = false;
    if (!Attempt.ended) {
        Attempt.ended = true;
        UploadLog.Write(upload::LogSessionFailed(upload::SessionFailure::TimedOut, Attempt.server));
        timedOut = TakeOutcomeDue();
    }
    WSocket1->Abort();
    Upload.UploadBusy = false;
    if (timedOut) NoteOutcome(upload::AttemptOutcome::NoServerAnswered);
    Session.AdvanceForWatchdog();
    rtl::Application().ProcessMessages();
    abcButton1Click(nullptr);
}

// ---------------------------------------------------------------- schedule

void TForm1::SilenceTimerTimer(rtl::TTimer*) { CheckSilence(); }

void TForm1::DelayTimerTimer(rtl::TTimer*) {
    const rtl::TimePoint now = rtl::Now();
    if (!upload::IsStartMinute(rtl::ToLocal(now).minute, StartDigit)) return;
    alignedAt_ = now;
    countedMinute_.reset();
    DelayTimer.SetEnabled(false);
    Timer2.SetInterval(upload::kCatchUpTickMs);
    Timer2.SetEnabled(true);
}

void TForm1::ThreadTimer1Timer(rtl::TTimer*) {
    const bool catchingUp = Timer2.Interval() == upload::kCatchUpTickMs;
    const rtl::TimePoint now = rtl::Now();
    const long long minute = upload::MinutesSince(alignedAt_, now);
    // Catching up, each tick counts; then the whole minutes since the
    // alignment do, so a late tick cannot move the upload minute.
    const bool uploads = catchingUp ? upload::CountTick(MinuteCounter, Interval->Value())
                                    : upload::CountMinutes(MinuteCounter, Interval->Value(), countedMinute_, minute);
    if (catchingUp && uploads) countedMinute_ = minute;
    // From the first upload after the alignment on, one tick a minute, each
    // set back to the second at which the alignment matched.
    if (uploads || !catchingUp) Timer2.SetInterval(upload::NextTickPeriod(alignedAt_, now));
    if (!uploads) return;
    Session.AdvanceForSchedule();
    abcButton1Click(nullptr);
}

void TForm1::RearmSchedule() {
    Timer2.SetEnabled(false);
    StartDigit = upload::StartDigitOf(Callsign->Text());
    // Already on: its period runs on; otherwise the first check is a minute away.
    DelayTimer.SetEnabled(true);
}

void TForm1::ResumeSchedule() {
    UploadLog.Write(upload::LogResumed());
    Silence.Resumed(rtl::Now());
    // A schedule that was never started (the settings could not be
    // restored) waits for a save, asleep or not.
    if (!DelayTimer.Enabled() && !Timer2.Enabled()) return;
    // The time zone may be another one now.
    rtl::TimeZoneChanged();
    RearmSchedule();
    // The first start minute uploads.
    MinuteCounter = Interval->Value();
}
