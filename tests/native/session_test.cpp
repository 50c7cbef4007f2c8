// The upload session's portable rules: which servers a station goes to, the
// login line, how the position moves on; the schedule's counting and its
// minute ticks' phase; when a silence is shown, and how.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "upload/Scheduler.h"
#include "upload/Session.h"
#include "upload/Silence.h"

namespace {

using upload::CallsignClass;
using upload::ServerEntry;
using upload::ServerList;
using upload::SessionState;

const char* ClassName(CallsignClass c) { return c == CallsignClass::Cwop ? "CWOP" : "APRS-IS"; }

TEST(Session, CallsignClass) {
    struct Case {
        const char* callsign;
        const char* validation;
        CallsignClass expected;
    };
    const Case cases[] = {
        {"CW1234", "-1", CallsignClass::Cwop},
        {"CW1234", "12345", CallsignClass::Cwop},  // whatever the validation holds
        {"CW1234", "", CallsignClass::Cwop},
        {"DW1234", "12345", CallsignClass::Cwop},
        {"DW1234", " -1", CallsignClass::Cwop},
        {"  CW1234 ", "12345", CallsignClass::Cwop},  // the callsign is trimmed
        {"\tDW9", "7", CallsignClass::Cwop},
        {"G4ABC", "-1", CallsignClass::Cwop},
        {"G4ABC", " -1", CallsignClass::AprsIs},  // the validation is not trimmed
        {"G4ABC", "-1 ", CallsignClass::AprsIs},
        {"G4ABC", "-01", CallsignClass::AprsIs},
        {"G4ABC", "12345", CallsignClass::AprsIs},
        {"G4ABC", "", CallsignClass::AprsIs},
        {"cw1234", "12345", CallsignClass::AprsIs},  // case counts
        {"Cw1234", "12345", CallsignClass::AprsIs},
        {"dW1234", "-1", CallsignClass::Cwop},
        {"C", "12345", CallsignClass::AprsIs},
        {"", "12345", CallsignClass::AprsIs},
        {"", "-1", CallsignClass::Cwop},
        {"ACW123", "12345", CallsignClass::AprsIs},
        // As sent: a control character inside the callsign never reaches the
        // wire, so "C\x01W1" is the CWOP station CW1.
        {"C\x01W1", "12345", CallsignClass::Cwop},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("callsign '") + c.callsign + "' validation '" + c.validation + "'");
        EXPECT_STREQ(ClassName(upload::ClassOf(c.callsign, c.validation)), ClassName(c.expected));
    }
}

ServerEntry At(const char* host) { return ServerEntry{host, "14580"}; }

TEST(Session, CandidateListsByClass) {
    const upload::CandidateLists cwop = upload::CandidatesFor(CallsignClass::Cwop);
    EXPECT_EQ(cwop.primary, (ServerList{At("cwop.aprs.net"), At("cwop2.aprs.net"), At("cwop1.aprs.net")}));
    EXPECT_EQ(cwop.alternate, (ServerList{At("cwop.aprs.net"), At("cwop1.aprs.net"), At("cwop3.aprs.net")}));
    const upload::CandidateLists aprsIs = upload::CandidatesFor(CallsignClass::AprsIs);
    const ServerList rotation{At("rotate.aprs.net"), At("rotate.aprs2.net"), At("cwop.aprs.net")};
    EXPECT_EQ(aprsIs.primary, rotation);
    EXPECT_EQ(aprsIs.alternate, rotation);
}

TEST(Session, LoginLineIsOneLineOfExactBytes) {
    struct Case {
        std::string callsign, validation, version, expected;
    };
    const Case cases[] = {
        {"CW1234", "-1", "1.9.8.0", "user CW1234 pass -1 vers Teskaprs 1.9.8.0\r\n"},
        {" G4ABC  ", "\t12345 ", "1.9.8.0", "user G4ABC pass 12345 vers Teskaprs 1.9.8.0\r\n"},
        {"CW1234", "-1", "", "user CW1234 pass -1 vers Teskaprs \r\n"},  // no version entry
        {"", "", "1.9.8.0", "user  pass  vers Teskaprs 1.9.8.0\r\n"},
        // No control character from the settings reaches the wire.
        {"CW12\r\n34", "-1\r\nuser X", "1.9.8.0", "user CW1234 pass -1user X vers Teskaprs 1.9.8.0\r\n"},
        {std::string("CW\0" "1", 4), std::string("1\x7f" "2", 3), "1.9\n.8.0",
         "user CW1 pass 12 vers Teskaprs 1.9.8.0\r\n"},
        // Other bytes of the code page are sent as typed.
        {"G\xe9X", "1", "1.0.0.0", "user G\xe9X pass 1 vers Teskaprs 1.0.0.0\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        const std::string line = upload::LoginLine(c.callsign, c.validation, c.version);
        EXPECT_EQ(line, c.expected);
        EXPECT_EQ(line.find_first_of(std::string("\r\n\0", 3)), line.size() - 2) << "exactly one line";
    }
}

// ChooseServers as "Update Now" runs it, with AutoServer and the typed server.
void Choose(SessionState& s, bool automatic, const char* callsign = "CW1234", const char* validation = "-1") {
    s.ChooseServers(callsign, validation, automatic, "typed.example", "1234");
}

TEST(Session, AutomaticModeAlternatesTheListsFromPositionOne) {
    SessionState s;
    const upload::CandidateLists cwop = upload::CandidatesFor(CallsignClass::Cwop);
    // Each delivery completes (the cycle ends) before the next "Update Now".
    const std::vector<ServerList> expected{cwop.primary, cwop.alternate, cwop.primary, cwop.alternate};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        s.ServerIndex = 3;
        Choose(s, true);
        EXPECT_EQ(s.ActiveServers, expected[i]);
        EXPECT_EQ(s.ServerIndex, 1);
        EXPECT_EQ(s.Current(), At("cwop.aprs.net"));
        EXPECT_EQ(s.UseAlternate, i % 2 == 0) << "flips at every fill";
        EXPECT_EQ(s.PrimaryServers, cwop.primary);
        EXPECT_EQ(s.AlternateServers, cwop.alternate);
    }
}

TEST(Session, AnActiveCycleKeepsItsListAndPosition) {
    SessionState s;
    Choose(s, true);
    s.CycleActive = true;
    s.ServerIndex = 2;
    const ServerList kept = s.ActiveServers;
    // The class changed meanwhile: the candidate lists follow it, the list
    // being worked through does not.
    Choose(s, true, "G4ABC", "12345");
    EXPECT_EQ(s.ActiveServers, kept);
    EXPECT_EQ(s.ServerIndex, 2);
    EXPECT_TRUE(s.UseAlternate) << "no fill, no flip";
    EXPECT_EQ(s.PrimaryServers, upload::CandidatesFor(CallsignClass::AprsIs).primary);
    EXPECT_EQ(s.Current(), At("cwop2.aprs.net"));
}

TEST(Session, ManualModeTriesTheTypedServerAtEveryPosition) {
    SessionState s;
    s.CycleActive = true;
    s.ServerIndex = 3;
    s.ChooseServers("CW1234", "-1", false, " host name ", "port");
    const ServerEntry typed{" host name ", "port"};  // as typed
    EXPECT_EQ(s.ActiveServers, (ServerList{typed, typed, typed}));
    EXPECT_EQ(s.ServerIndex, 1);
    EXPECT_TRUE(s.CycleActive);
    EXPECT_FALSE(s.UseAlternate);
    s.AdvanceForWatchdog();
    EXPECT_EQ(s.Current(), typed) << "rotation retries the same server";
}

TEST(Session, PositionAdvances) {
    enum class Rule { Watchdog, Schedule, ConnectFailure };
    struct Case {
        Rule rule;
        int from;
        int to;
        bool cycleAfter;  // with the cycle active before
        bool tryNext;     // ConnectFailure only
    };
    const Case cases[] = {
        {Rule::Watchdog, 1, 2, true, false},
        {Rule::Watchdog, 2, 3, true, false},
        {Rule::Watchdog, 3, 1, true, false},  // wraps; the cycle goes on
        {Rule::Schedule, 1, 2, true, false},
        {Rule::Schedule, 2, 3, true, false},
        {Rule::Schedule, 3, 1, false, false},  // the wrap ends the cycle
        {Rule::ConnectFailure, 1, 2, true, true},
        {Rule::ConnectFailure, 2, 3, true, true},
        {Rule::ConnectFailure, 3, 1, false, false},  // the last position: give up
        // Positions outside the list never leave it.
        {Rule::Watchdog, 0, 1, true, false},
        {Rule::Watchdog, -2147483647 - 1, 1, true, false},
        {Rule::Schedule, 2147483647, 1, false, false},
        {Rule::ConnectFailure, 7, 1, false, false},
        {Rule::ConnectFailure, -5, 1, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.rule)) + " from " + std::to_string(c.from));
        SessionState s;
        s.CycleActive = true;
        s.ServerIndex = c.from;
        bool tryNext = false;
        switch (c.rule) {
        case Rule::Watchdog: s.AdvanceForWatchdog(); break;
        case Rule::Schedule: s.AdvanceForSchedule(); break;
        case Rule::ConnectFailure: tryNext = s.AdvanceAfterConnectFailure(); break;
        }
        EXPECT_EQ(s.ServerIndex, c.to);
        EXPECT_EQ(s.CycleActive, c.cycleAfter);
        EXPECT_EQ(tryNext, c.tryNext);
    }
}

TEST(Session, WatchdogWorksThroughTheSameListAgainAndAgain) {
    SessionState s;
    Choose(s, true);
    s.CycleActive = true;
    std::vector<std::string> tried{s.Current().host};
    for (int i = 0; i < 6; ++i) {
        s.AdvanceForWatchdog();
        Choose(s, true);  // the watchdog's "Update Now"
        tried.push_back(s.Current().host);
    }
    EXPECT_EQ(tried, (std::vector<std::string>{"cwop.aprs.net", "cwop2.aprs.net", "cwop1.aprs.net", "cwop.aprs.net",
                                               "cwop2.aprs.net", "cwop1.aprs.net", "cwop.aprs.net"}));
    EXPECT_TRUE(s.CycleActive);
}

TEST(Session, ScheduleWrapStartsTheOtherList) {
    SessionState s;
    Choose(s, true);  // primary
    s.CycleActive = true;
    s.ServerIndex = 3;
    s.AdvanceForSchedule();
    Choose(s, true);
    EXPECT_EQ(s.ActiveServers, upload::CandidatesFor(CallsignClass::Cwop).alternate);
    EXPECT_EQ(s.ServerIndex, 1);
}

TEST(Session, CurrentRefusesAPositionOutsideTheList) {
    SessionState s;
    for (int index : {0, 4, -1}) {
        s.ServerIndex = index;
        EXPECT_THROW(s.Current(), std::out_of_range) << index;
    }
}

TEST(Scheduler, StartDigit) {
    const std::pair<const char*, int> cases[] = {
        {"CW1234", 4}, {"G4ABC", 7}, {"", 1}, {"CW123 ", 2}, {"N0CALL-9", 9}, {"K1AB0", 0}, {"g4abc", 9},
        {"\xff", 5},  // code 255
    };
    for (const auto& [callsign, digit] : cases) EXPECT_EQ(upload::StartDigitOf(callsign), digit) << callsign;
}

TEST(Scheduler, StartMinute) {
    EXPECT_TRUE(upload::IsStartMinute(24, 4));
    EXPECT_TRUE(upload::IsStartMinute(4, 4));
    EXPECT_TRUE(upload::IsStartMinute(0, 0));
    EXPECT_TRUE(upload::IsStartMinute(50, 0));
    EXPECT_FALSE(upload::IsStartMinute(23, 4));
    EXPECT_FALSE(upload::IsStartMinute(40, 4));
    EXPECT_TRUE(upload::IsStartMinute(57, 7));
    EXPECT_FALSE(upload::IsStartMinute(7, 17)) << "a digit is 0 to 9";
}

TEST(Scheduler, TicksCountUpToTheInterval) {
    // The worked timeline: created with Interval 10, the counter starts at
    // 10, so the first tick after the alignment uploads; then every tenth.
    int counter = 10;
    std::vector<int> uploads;
    for (int tick = 1; tick <= 25; ++tick)
        if (upload::CountTick(counter, 10)) uploads.push_back(tick);
    EXPECT_EQ(uploads, (std::vector<int>{1, 11, 21}));
    EXPECT_EQ(counter, 4);

    // A save five minutes after an upload does not reset the counter: five
    // more ticks upload.
    counter = 5;
    int ticks = 0;
    while (!upload::CountTick(counter, 10)) ++ticks;
    EXPECT_EQ(ticks, 4);
    EXPECT_EQ(counter, 0);

    // Lowering the interval below the counter uploads at the next tick.
    counter = 15;
    EXPECT_TRUE(upload::CountTick(counter, 10));
    EXPECT_EQ(counter, 0);
    counter = 15;
    EXPECT_FALSE(upload::CountTick(counter, 30));
    EXPECT_EQ(counter, 16);

    // The counter never overflows.
    counter = 2147483647;
    EXPECT_TRUE(upload::CountTick(counter, 999));
    EXPECT_EQ(counter, 0);
}

TEST(Scheduler, EachMinuteTickComesBackToTheAlignedSecond) {
    using namespace std::chrono;
    const rtl::TimePoint aligned = system_clock::from_time_t(1700000000) + milliseconds(300);
    const std::pair<milliseconds, unsigned> cases[] = {
        {minutes(1), 60000}, {minutes(1) + milliseconds(1250), 58750}, {minutes(7) - milliseconds(500), 60500},
        {minutes(1) + milliseconds(29999), 30001}, {minutes(1) + seconds(30), 90000},  // from half a minute: early
        {-minutes(3) + milliseconds(40), 59960},  // the clock set back past the alignment
    };
    for (const auto& [after, period] : cases)
        EXPECT_EQ(upload::NextTickPeriod(aligned, aligned + after), period) << after.count();
}

// Minutes since the alignment count, not ticks. From an upload at minute 0: minute, interval, upload, count.
TEST(Scheduler, CountsTheMinutesSinceTheAlignment) {
    int counter = 0;
    std::optional<long long> counted = 0;
    const std::tuple<long long, int, bool, int> ticks[] = {
        {1, 10, false, 1}, {4, 10, false, 4},   // two ticks that never came
        {11, 10, true, 1}, {20, 10, true, 0},   // late for minute 10: the next upload stays at 20
        {20, 10, false, 1}, {-30, 10, false, 2},  // the clock standing still, or set back: one at least
        {-29, 2, true, 0},                      // an interval lowered below the count
        {1000000, 10, true, 9},                 // the clock set forward: one upload, the minute kept
    };
    for (const auto& [minute, interval, uploads, after] : ticks)
        EXPECT_EQ((std::pair{upload::CountMinutes(counter, interval, counted, minute), counter}),
                  std::pair(uploads, after)) << minute;
}

TEST(Silence, BeginsAtThreeIntervalsAndHoldsUntilADelivery) {
    using namespace std::chrono;
    using upload::AttemptOutcome;
    using Change = upload::SilenceWatch::Change;
    const rtl::TimePoint start = system_clock::from_time_t(1700000000);
    upload::SilenceWatch watch(start);
    // When, the outcome of an attempt (none: a check), the interval as it reads then, what changes.
    const std::tuple<seconds, std::optional<AttemptOutcome>, int, Change> steps[] = {
        {minutes(30) - seconds(1), {}, 10, Change::None},
        {minutes(30), {}, 15, Change::None},
        {minutes(45), AttemptOutcome::ReportUnchanged, 15, Change::Begins},
        {minutes(50), AttemptOutcome::Delivered, 10, Change::Ends},
        {minutes(40), {}, 10, Change::None},  // the clock set back before the delivery: counted from here
        {minutes(70), {}, 10, Change::Begins},
    };
    for (const auto& [at, outcome, interval, change] : steps)
        EXPECT_EQ(outcome ? watch.Note(*outcome, start + at, interval) : watch.Check(start + at, interval), change)
            << at.count();
    upload::SilenceWatch slept(start);
    slept.Suspended(start + minutes(5));
    slept.Resumed(start + minutes(65));
    EXPECT_EQ(slept.Check(start + minutes(89), 10), Change::None) << "the hour asleep is not counted";
    EXPECT_EQ(slept.Check(start + minutes(90), 10), Change::Begins);

    const rtl::LocalTime nine{2026, 12, 7, 9, 5, 0}, today{2026, 12, 7, 23, 0, 0}, tomorrow{2026, 12, 8, 0, 1, 0};
    EXPECT_EQ(upload::SilenceText(nine, today, AttemptOutcome::ReportUnchanged), "No upload since 09:05: report unchanged");
    EXPECT_EQ(upload::SilenceText(nine, tomorrow, AttemptOutcome::ReportOld),
              "No upload since 2026-12-07 09:05: report old");
    EXPECT_EQ(upload::TipText(std::string(63, 'x')), std::string(63, 'x'));
    EXPECT_EQ(upload::TipText(std::string(64, 'x')), std::string(60, 'x') + "...");
    // A cut never leaves half of a character ("\xC2\xB0" is the degree sign).
    EXPECT_EQ(upload::TipText(std::string(59, 'x') + "\xC2\xB0" "F 2"), std::string(59, 'x') + "...");
}

}  // namespace
