#include "upload/Session.h"

#include <optional>
#include <stdexcept>

#include "rtl/Text.h"

namespace upload {

namespace {

ServerEntry Entry(const char* host) { return ServerEntry{host, kServerPort}; }

// Set by tests only.
std::optional<ServerList> testTable;

}  // namespace

void ReplaceServerTableForTests(const ServerList* list) {
    if (list)
        testTable = *list;
    else
        testTable.reset();
}

CallsignClass ClassOf(const std::string& callsign, const std::string& validation) {
    const std::string prefix = AsSent(callsign).substr(0, 2);
    if (prefix == "CW" || prefix == "DW") return CallsignClass::Cwop;
    if (validation == "-1") return CallsignClass::Cwop;
    return CallsignClass::AprsIs;
}

CandidateLists CandidatesFor(CallsignClass kind) {
    if (testTable) return CandidateLists{*testTable, *testTable};
    if (kind == CallsignClass::Cwop) {
        return CandidateLists{
            {Entry(kCwopIngestHost), Entry(kCwopAlternateHost2), Entry(kCwopAlternateHost1)},
            {Entry(kCwopIngestHost), Entry(kCwopAlternateHost1), Entry(kCwopAlternateHost3)},
        };
    }
    const ServerList rotation{Entry(kAprsIsRotationHost), Entry(kAprsIsWeatherRotationHost), Entry(kCwopIngestHost)};
    return CandidateLists{rotation, rotation};
}

std::string LoginLine(const std::string& callsign, const std::string& validation, const std::string& fileVersion) {
    return "user " + AsSent(callsign) + " pass " + AsSent(validation) +
           " vers Teskaprs " + rtl::WithoutControls(fileVersion) + "\r\n";
}

const ServerEntry& SessionState::Current() const {
    if (ServerIndex < 1 || ServerIndex > ServerCount) throw std::out_of_range("no server at this position");
    return ActiveServers[static_cast<std::size_t>(ServerIndex - 1)];
}

void SessionState::ChooseServers(const std::string& callsign, const std::string& validation, bool automatic,
                                 const std::string& manualHost, const std::string& manualPort) {
    const CandidateLists lists = CandidatesFor(ClassOf(callsign, validation));
    PrimaryServers = lists.primary;
    AlternateServers = lists.alternate;
    if (!automatic) {
        ActiveServers.fill(ServerEntry{manualHost, manualPort});
        ServerIndex = 1;
    } else if (!CycleActive) {
        ActiveServers = UseAlternate ? AlternateServers : PrimaryServers;
        UseAlternate = !UseAlternate;
        ServerIndex = 1;
    }
}

bool SessionState::Advance() {
    if (ServerIndex >= ServerCount) {
        ServerIndex = 1;
        return true;
    }
    // A position below the list counts as being before its start.
    ServerIndex = ServerIndex < 1 ? 1 : ServerIndex + 1;
    return false;
}

void SessionState::AdvanceForWatchdog() { Advance(); }

void SessionState::AdvanceForSchedule() {
    if (Advance()) CycleActive = false;
}

bool SessionState::AdvanceAfterConnectFailure() {
    const bool wasLast = ServerIndex >= ServerCount;
    if (Advance()) CycleActive = false;
    return !wasLast;
}

}  // namespace upload
