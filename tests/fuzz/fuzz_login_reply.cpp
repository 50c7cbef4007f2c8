// The login reply recogniser against a plain reading of its rules, with the
// server's bytes cut into reads at sizes the input chooses.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "upload/LoginReply.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool HasControl(const std::string& s) {
    for (char c : s)
        if ((c >= 0 && c < 32) || c == 127) return true;
    return false;
}

// Whole lines ended by CR or LF; the first of at most 512 bytes that is a
// reply to the login counts.
upload::LoginVerdict Reference(const std::string& bytes) {
    std::string line;
    for (char c : bytes) {
        if (c != '\r' && c != '\n') {
            line += c;
            continue;
        }
        if (line.size() <= upload::LoginReplyReader::kMaxLine) {
            const upload::LoginVerdict v = upload::ParseLoginReply(line);
            if (v.kind != upload::LoginVerdictKind::None) return v;
        }
        line.clear();
    }
    return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::size_t piece = data[0] % 16 + 1;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    upload::LoginReplyReader reader;
    for (std::size_t i = 0; i < bytes.size(); i += piece)
        reader.Feed(bytes.data() + i, std::min(piece, bytes.size() - i));
    const upload::LoginVerdict& v = reader.Verdict();
    const upload::LoginVerdict expected = Reference(bytes);
    Check(v.kind == expected.kind);
    Check(v.server == expected.server && v.callsign == expected.callsign && v.line == expected.line);
    Check(v.line.size() <= upload::LoginReplyReader::kMaxLine);
    Check(!HasControl(v.line) && !HasControl(v.server) && !HasControl(v.callsign));

    // What the window would be told stays short and on one line.
    const upload::LoginNotice n = upload::NoticeFor(bytes.substr(0, 8), v);
    Check(n.hint.size() <= 63 && !HasControl(n.status) && !HasControl(n.hint));
    Check(n.Empty() == n.hint.empty());
    return 0;
}
