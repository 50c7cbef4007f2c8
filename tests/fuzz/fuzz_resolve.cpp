// The text rules of name resolution: any Addr, Port or Proto text gives a
// number or an ESocketException, never another failure, and texts that the
// rules settle themselves never reach the sockets library.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/WSocketResolve.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// Stands in for the sockets library: answers every lookup and counts them.
class CountingLibrary : public net::ResolverLibrary {
public:
    int lookups = 0;
    std::optional<int> ProtocolByName(const std::string&) override { return ++lookups, std::optional<int>(); }
    std::optional<std::uint16_t> ServiceByName(const std::string&, const std::string&) override {
        return ++lookups, std::optional<std::uint16_t>(7);
    }
    std::uint32_t ParseAddress(const std::string&) override { return 0x0100007F; }
    std::optional<std::uint32_t> HostByName(const std::string&) override {
        return ++lookups, std::optional<std::uint32_t>();
    }
    int LastError() override { return 11001; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const bool digitFirst = !text.empty() && text[0] >= '0' && text[0] <= '9';

    // The fake name lookup always fails, so a host resolves only as a dotted
    // quad, and a dotted quad is never looked up by name.
    const bool dotted = net::WSocketIsDottedIP(net::TrimBlanks(text));
    CountingLibrary library;
    try {
        net::ResolveHost(text, library);
        Check(dotted);
    } catch (const net::ESocketException&) {
    }
    if (dotted) Check(library.lookups == 0);

    library.lookups = 0;
    try {
        net::ResolvePort(text, "tcp", library);
    } catch (const net::ESocketException&) {
    }
    if (digitFirst) Check(library.lookups == 0);

    library.lookups = 0;
    try {
        net::ResolveProto(text, library);
    } catch (const net::ESocketException&) {
    }
    if (digitFirst) Check(library.lookups == 0);
    return 0;
}
