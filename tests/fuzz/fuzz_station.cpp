// The station's request reader and mapping: any bytes, cut into reads at
// sizes the input chooses, are read as when read whole and never held
// beyond 16 KiB; whatever is taken becomes two lines of a whole report.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "station/Receiver.h"
#include "upload/Report.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void Take(station::Receiver& receiver, const station::HttpRequest& request, std::optional<double> height) {
    const station::Taking t = receiver.Take(request, "192.168.1.50", rtl::TimePoint{}, {height, ""});
    if (t.verdict != station::Taking::Verdict::Taken) return Check(t.status == 400 || t.status == 403);
    const upload::ReportLines& lines = receiver.Latest()->lines;
    Check(t.status == 200 && !t.keyToPin.empty() && t.keyToPin.find(',') == std::string::npos);
    Check(lines.timestamp == "Jan 01 1970 00:00");
    Check(upload::ReportShape(lines.timestamp + "\r\n" + lines.weather + "\r\n") == upload::ReadingVerdict::Counts);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t piece = size % 13 + 1;
    station::RequestReader whole, pieces;
    whole.Feed(bytes.data(), bytes.size());
    for (std::size_t i = 0; i < bytes.size(); i += piece) {
        const auto before = pieces.Current();
        const auto state = pieces.Feed(bytes.data() + i, std::min(piece, bytes.size() - i));
        Check(pieces.Buffered() <= station::kMaxRequestBytes);
        Check(before == state || before == station::RequestReader::State::Reading);
    }
    Check(whole.Current() == pieces.Current());
    station::Receiver receiver;
    if (whole.Current() == station::RequestReader::State::Complete) {
        Check(whole.Request().target == pieces.Request().target && whole.Request().body == pieces.Request().body);
        Take(receiver, whole.Request(), {});
    }
    // The same bytes as a form body, whatever the head.
    const station::HttpRequest form{"POST", "/data/report/", "HTTP/1.1", {}, bytes};
    Take(receiver, form, 300.0);
    Take(receiver, form, {});
    return 0;
}
