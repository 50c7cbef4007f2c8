// Why an upload attempt delivered nothing, or that it delivered. Every
// attempt ends with exactly one of these; the window keeps the last one so
// that a long silence can say what went wrong.
#pragma once

#include <string>

namespace upload {

enum class AttemptOutcome {
    Delivered,         // the server confirmed the login, took the packet, and the program ended the session
    ReportMissing,     // no report file at the configured place
    ReportNotPlain,    // a link, mount point or device where the report should be: not read
    ReportNotReachable,  // looking at the report did not end in time (a share whose computer is off)
    ReportIncomplete,  // the report was cut or still being written: nothing sent
    ReportOld,         // the report was last written too long ago to be the weather now
    NoWeather,         // the weather line holds no value a station can measure
    ReportUnchanged,   // the packet equals the last one delivered
    PacketRefused,     // the packet cannot go out (too long, callsign not valid for APRS-IS)
    NoServerAnswered,  // no connection came about (refused, unreachable, timed out, unknown host)
    SessionEnded,      // the server closed or reset the session before the packet was delivered
    LoginNotVerified,  // the server did not verify the login
    ServerDidNotConfirm,  // the packet went out, but the server's reply did not confirm this station's login
    StationSilent,     // receiving from the station, and no fresh reading has come from it
};

// A short text for the owner: "report unchanged", "no server answered"...
std::string OutcomeReason(AttemptOutcome outcome);

}  // namespace upload
