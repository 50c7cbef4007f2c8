#include "net/WSocketResolve.h"

namespace net {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string LowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

std::string TrimBlanks(const std::string& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
    return text.substr(first, last - first);
}

std::string SocketErrorText(int code) {
    switch (code) {
    case 0: return "No Error";
    case 10004: return "Interrupted system call";
    case 10009: return "Bad file number";
    case 10013: return "Permission denied";
    case 10014: return "Bad address";
    case 10022: return "Invalid argument";
    case 10024: return "Too many open files";
    case 10035: return "Operation would block";
    case 10036: return "Operation now in progress";
    case 10037: return "Operation already in progress";
    case 10038: return "Socket operation on non-socket";
    case 10039: return "Destination address required";
    case 10040: return "Message too long";
    case 10041: return "Protocol wrong type for socket";
    case 10042: return "Protocol not available";
    case 10043: return "Protocol not supported";
    case 10044: return "Socket type not supported";
    case 10045: return "Operation not supported on socket";
    case 10046: return "Protocol family not supported";
    case 10047: return "Address family not supported by protocol family";
    case 10048: return "Address already in use";
    case 10049: return "Address not available";
    case 10050: return "Network is down";
    case 10051: return "Network is unreachable";
    case 10052: return "Network dropped connection on reset";
    case 10053: return "Connection aborted";
    case 10054: return "Connection reset by peer";
    case 10055: return "No buffer space available";
    case 10056: return "Socket is already connected";
    case 10057: return "Socket is not connected";
    case 10058: return "Can't send after socket shutdown";
    case 10059: return "Too many references: can't splice";
    case 10060: return "Connection timed out";
    case 10061: return "Connection refused";
    case 10062: return "Too many levels of symbolic links";
    case 10063: return "File name too long";
    case 10064: return "Host is down";
    case 10065: return "No route to host";
    case 10066: return "Directory not empty";
    case 10067: return "Too many processes";
    case 10068: return "Too many users";
    case 10069: return "Disc quota exceeded";
    case 10070: return "Stale NFS file handle";
    case 10071: return "Too many levels of remote in path";
    case 10091: return "Network sub-system is unusable";
    case 10092: return "WinSock DLL cannot support this application";
    case 10093: return "WinSock not initialized";
    case 11001: return "Host not found";
    case 11002: return "Non-authoritative host not found";
    case 11003: return "Non-recoverable error";
    case 11004: return "No Data";
    default: return "Not a WinSock error";
    }
}

bool WSocketIsDottedIP(const std::string& text) {
    const size_t n = text.size();
    size_t i = 0;
    while (i < n && text[i] == ' ') ++i;
    if (i < n && text[i] == '.') return false;
    int dots = 0;
    int group = 0;  // value of the current group, held at 256 once above 255
    for (; i < n; ++i) {
        const char c = text[i];
        if (c == '.') {
            if (++dots > 3 || group > 255) return false;
            group = 0;
            if (i + 1 >= n || !IsDigit(text[i + 1])) return false;
        } else if (IsDigit(c)) {
            group = group * 10 + (c - '0');
            if (group > 255) group = 256;
        } else {
            // Only blanks may follow the last group.
            while (i < n && text[i] == ' ') ++i;
            if (i < n) return false;
            break;
        }
    }
    return dots == 3 && group <= 255;
}

int ResolveProto(const std::string& text, ResolverLibrary& library) {
    if (text.empty() || text.size() >= 32) throw ESocketException("WSocketResolveProto: Invalid Protocol.");
    if (IsDigit(text[0])) {
        unsigned value = 0;
        for (size_t i = 0; i < text.size() && IsDigit(text[i]); ++i) value = value * 10 + (text[i] - '0');
        return static_cast<int>(value);
    }
    const std::string name = LowerAscii(TrimBlanks(text));
    if (name == "tcp") return 6;
    if (name == "udp") return 17;
    if (name == "raw") return 255;
    if (auto number = library.ProtocolByName(name)) return *number;
    throw ESocketException("WSocketResolveProto: Cannot convert protocol '" + text + "', Error #" +
                           std::to_string(library.LastError()));
}

std::uint16_t ResolvePort(const std::string& port, const std::string& proto, ResolverLibrary& library) {
    if (port.empty() || port.size() >= 32) throw ESocketException("WSocketResolvePort: Invalid Port.");
    if (proto.empty() || proto.size() >= 32) throw ESocketException("WSocketResolvePort: Invalid Proto.");
    if (IsDigit(port[0])) {
        // The leading digits, kept to 16 bits.
        std::uint32_t value = 0;
        for (size_t i = 0; i < port.size() && IsDigit(port[i]); ++i) value = (value * 10 + (port[i] - '0')) & 0xFFFF;
        return static_cast<std::uint16_t>(value);
    }
    if (auto number = library.ServiceByName(TrimBlanks(port), TrimBlanks(proto))) return *number;
    throw ESocketException("WSocketResolvePort: Cannot convert port '" + port + "', Error #" +
                           std::to_string(library.LastError()));
}

namespace {

// Blanks only, or a NUL that would cut the name short, name no host either.
bool IsValidHostText(const std::string& text, const std::string& name) {
    return !text.empty() && text.size() <= 256 && !name.empty() && name.find('\0') == std::string::npos;
}

}  // namespace

bool HostNeedsLookup(const std::string& text) {
    const std::string name = TrimBlanks(text);
    return IsValidHostText(text, name) && !WSocketIsDottedIP(name);
}

std::string HostLookupFailure(const std::string& text, int code) {
    return "WSocketResolveHost: Cannot convert host address '" + text + "', Error #" + std::to_string(code);
}

std::uint32_t ResolveHost(const std::string& text, ResolverLibrary& library) {
    const std::string name = TrimBlanks(text);
    if (!IsValidHostText(text, name)) throw ESocketException("WSocketResolveHost: '" + text + "' Invalid Hostname.");
    if (WSocketIsDottedIP(name)) {
        const std::uint32_t address = library.ParseAddress(name);
        if (address == 0xFFFFFFFFu && name != "255.255.255.255")
            throw ESocketException("WSocketResolveHost: '" + text + "' Invalid IP address.");
        return address;
    }
    if (auto address = library.HostByName(name)) return *address;
    throw ESocketException(HostLookupFailure(text, library.LastError()));
}

}  // namespace net
