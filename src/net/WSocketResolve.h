// The text side of the sockets binding: the failure class of the TCP client,
// the names of the Windows Sockets error codes, and the rules that turn the
// protocol, port and host texts into numbers. The lookups themselves (service,
// protocol and host names, the address parser) belong to the sockets library
// and come in through ResolverLibrary; WSocket.h binds them to wsock32.dll.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "rtl/Exceptions.h"

namespace net {

// A failure of the TCP client or of the sockets binding.
class ESocketException : public rtl::Exception {
public:
    using rtl::Exception::Exception;
};

// The text without blanks and control characters at either end.
std::string TrimBlanks(const std::string& text);

// The text of a Windows Sockets error code ("Connection refused" for 10061);
// "Not a WinSock error" for a code outside the table.
std::string SocketErrorText(int code);

// Whether the text is a dotted quad: blanks first are skipped, it must not
// start with a dot, it has decimal groups (each at most 255) separated by
// exactly three dots, each dot followed by a digit, and only blanks after the
// last group.
bool WSocketIsDottedIP(const std::string& text);

// The lookups of the sockets library that the resolution rules need.
class ResolverLibrary {
public:
    virtual ~ResolverLibrary() = default;
    // Protocol number of a protocol name.
    virtual std::optional<int> ProtocolByName(const std::string& name) = 0;
    // Port of a service name for a protocol, in host byte order.
    virtual std::optional<std::uint16_t> ServiceByName(const std::string& service, const std::string& proto) = 0;
    // The library's dotted-address parser: network byte order, all ones when
    // the text is not an address.
    virtual std::uint32_t ParseAddress(const std::string& text) = 0;
    // First IPv4 address of a host name, network byte order.
    virtual std::optional<std::uint32_t> HostByName(const std::string& name) = 0;
    // Error code of the last failed lookup.
    virtual int LastError() = 0;
};

// Protocol text -> protocol number. "tcp", "udp" and "raw" in any letter case
// (6, 17, 255) and numbers need no lookup. Raises ESocketException.
int ResolveProto(const std::string& text, ResolverLibrary& library);

// Port text (a number, or a service name looked up for the protocol text) ->
// port number in host byte order. Raises ESocketException.
std::uint16_t ResolvePort(const std::string& port, const std::string& proto, ResolverLibrary& library);

// Host text (a dotted quad, or a name looked up with the blocking lookup) ->
// IPv4 address in network byte order. Raises ESocketException.
std::uint32_t ResolveHost(const std::string& text, ResolverLibrary& library);

// Whether ResolveHost would look the text up as a host name: it is not a
// dotted quad, and not refused as an invalid host name first.
bool HostNeedsLookup(const std::string& text);

// The failure of a host-name lookup: "WSocketResolveHost: Cannot convert host
// address '<text>', Error #<code>".
std::string HostLookupFailure(const std::string& text, int code);

}  // namespace net
