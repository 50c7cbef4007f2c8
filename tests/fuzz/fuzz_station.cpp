// The station's request reader and the upload's mapping: any bytes, cut
// into reads at sizes the input chooses, are read as they are read whole,
// never held beyond 16 KiB, and whatever is taken becomes two lines of the
// report's shape.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <regex>
#include <string>

#include "station/Receiver.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

const std::regex kWeather(
    R"([0-9.]{3}/[0-9.]{3}g[0-9.]{3}t(-[0-9]{2}|[0-9]{3}|\.{3})(r[0-9]{3})?(p[0-9]{3})?(P[0-9]{3})?(h[0-9]{2})?)"
    R"(b([0-9]{5}|\.{5})([Ll][0-9]{3})?)");

void Take(station::Receiver& receiver, const station::HttpRequest& request, bool withHeight) {
    const station::Taking t = receiver.Take(request, "192.168.1.50", rtl::TimePoint{}, {withHeight ? 300.0 : std::optional<double>{}, ""});
    Check(t.status == (t.verdict == station::Taking::Verdict::Taken ? 200 : t.verdict == station::Taking::Verdict::Unreadable ? 400 : 403));
    if (t.verdict != station::Taking::Verdict::Taken) return;
    const station::StationReading& r = *receiver.Latest();
    Check(r.lines.timestamp == "Jan 01 1970 00:00");
    Check(std::regex_match(r.lines.weather, kWeather));
    Check(!t.keyToPin.empty() && t.keyToPin.size() <= 64 && t.keyToPin.find(',') == std::string::npos);
    Check(r.stationType.size() <= 64);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t piece = size % 13 + 1;

    station::RequestReader whole, pieces;
    whole.Feed(bytes.data(), bytes.size());
    station::RequestReader::State last = station::RequestReader::State::Reading;
    for (std::size_t i = 0; i < bytes.size(); i += piece) {
        const auto state = pieces.Feed(bytes.data() + i, std::min(piece, bytes.size() - i));
        Check(pieces.Buffered() <= station::kMaxRequestBytes);
        Check(last == station::RequestReader::State::Reading || state == last);
        last = state;
    }
    Check(whole.Current() == pieces.Current());
    station::Receiver receiver;
    if (whole.Current() == station::RequestReader::State::Complete) {
        const station::HttpRequest& a = whole.Request();
        const station::HttpRequest& b = pieces.Request();
        Check(a.method == b.method && a.target == b.target && a.version == b.version && a.body == b.body);
        Check(a.headers.size() == b.headers.size());
        Take(receiver, a, false);
    }
    // The same bytes as a form body, whatever the head.
    station::HttpRequest form{"POST", "/data/report/", "HTTP/1.1", {}, bytes};
    Take(receiver, form, true);
    Take(receiver, form, false);
    return 0;
}
