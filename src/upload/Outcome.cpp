#include "upload/Outcome.h"

namespace upload {

std::string OutcomeReason(AttemptOutcome outcome) {
    switch (outcome) {
    case AttemptOutcome::Delivered: return "delivered";
    case AttemptOutcome::ReportMissing: return "report missing";
    case AttemptOutcome::ReportNotPlain: return "report not a plain file";
    case AttemptOutcome::ReportNotReachable: return "report not reachable";
    case AttemptOutcome::ReportIncomplete: return "report incomplete";
    case AttemptOutcome::ReportOld: return "report old";
    case AttemptOutcome::StationSilent: return "station silent";
    case AttemptOutcome::NoWeather: return "no weather in report";
    case AttemptOutcome::ReportUnchanged: return "report unchanged";
    case AttemptOutcome::PacketRefused: return "packet not sendable";
    case AttemptOutcome::NoServerAnswered: return "no server answered";
    case AttemptOutcome::SessionEnded: return "server ended the session";
    case AttemptOutcome::LoginNotVerified: return "login not verified";
    case AttemptOutcome::ServerDidNotConfirm: return "server did not confirm";
    }
    return "unknown";
}

}  // namespace upload
