// The text rules of the sockets binding: error names, dotted quads, and the
// protocol, port and host resolution with its messages. The library lookups
// are played by a recorder; under Wine the same rules run against wsock32.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "net/WSocketResolve.h"

namespace {

using net::ESocketException;

// Answers lookups from tables and records every call it gets.
class RecordingLibrary : public net::ResolverLibrary {
public:
    std::map<std::string, int> protocols;
    std::map<std::string, std::uint16_t> services;       // "name/proto"
    std::map<std::string, std::uint32_t> addresses;      // parser results
    std::map<std::string, std::uint32_t> hosts;
    int lastError = 0;
    std::vector<std::string> calls;

    std::optional<int> ProtocolByName(const std::string& name) override {
        calls.push_back("proto " + name);
        auto it = protocols.find(name);
        if (it == protocols.end()) return Fail<int>(11004);
        return it->second;
    }
    std::optional<std::uint16_t> ServiceByName(const std::string& service, const std::string& proto) override {
        calls.push_back("serv " + service + "/" + proto);
        auto it = services.find(service + "/" + proto);
        if (it == services.end()) return Fail<std::uint16_t>(11004);
        return it->second;
    }
    std::uint32_t ParseAddress(const std::string& text) override {
        calls.push_back("addr " + text);
        auto it = addresses.find(text);
        return it == addresses.end() ? 0x04030201u : it->second;
    }
    std::optional<std::uint32_t> HostByName(const std::string& name) override {
        calls.push_back("host " + name);
        auto it = hosts.find(name);
        if (it == hosts.end()) return Fail<std::uint32_t>(11001);
        return it->second;
    }
    int LastError() override { return lastError; }

private:
    template <class T>
    std::optional<T> Fail(int code) {
        lastError = code;
        return std::nullopt;
    }
};

template <class F>
std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const ESocketException& e) {
        return e.what();
    }
    return "(no exception)";
}

TEST(SocketErrorText, NamesTheWinsockCodes) {
    const std::map<int, std::string> some = {
        {0, "No Error"},
        {10022, "Invalid argument"},
        {10035, "Operation would block"},
        {10047, "Address family not supported by protocol family"},
        {10053, "Connection aborted"},
        {10054, "Connection reset by peer"},
        {10057, "Socket is not connected"},
        {10059, "Too many references: can't splice"},
        {10060, "Connection timed out"},
        {10061, "Connection refused"},
        {10065, "No route to host"},
        {10093, "WinSock not initialized"},
        {11001, "Host not found"},
        {11004, "No Data"},
    };
    for (const auto& [code, text] : some) EXPECT_EQ(net::SocketErrorText(code), text) << code;
    for (int code : {-1, 1, 10000, 10003, 10072, 10090, 10094, 11000, 11005, 65535})
        EXPECT_EQ(net::SocketErrorText(code), "Not a WinSock error") << code;
}

TEST(SocketErrorText, EveryListedCodeHasItsOwnText) {
    std::vector<int> codes = {0, 10004, 10009, 10013, 10014, 10022, 10024};
    for (int code = 10035; code <= 10071; ++code) codes.push_back(code);
    for (int code : {10091, 10092, 10093, 11001, 11002, 11003, 11004}) codes.push_back(code);
    std::set<std::string> texts;
    for (int code : codes) {
        const std::string text = net::SocketErrorText(code);
        EXPECT_NE(text, "Not a WinSock error") << code;
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), codes.size());
}

TEST(WSocketIsDottedIP, FollowsTheDottedQuadRules) {
    const std::map<std::string, bool> cases = {
        {"1.2.3.4", true},
        {"0.0.0.0", true},
        {"255.255.255.255", true},
        {"127.0.0.1", true},
        {"   10.0.0.1", true},
        {"10.0.0.1   ", true},
        {"1.2.3.0004", true},
        {"", false},
        {"   ", false},
        {".1.2.3", false},
        {"  .1.2.3", false},
        {"1.2.3", false},
        {"1.2.3.4.5", false},
        {"256.1.1.1", false},
        {"1.2.3.256", false},
        {"1.300.3.4", false},
        {"99999999999999999999.1.1.1", false},
        {"1..2.3", false},
        {"1.2.3.", false},
        {"1.2.3.4x", false},
        {"1.2.3.4 x", false},
        {"1.2.3.4\t", false},
        {"1.2.3.-4", false},
        {"rotate.aprs.net", false},
        {"cwop1.aprs.net", false},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(net::WSocketIsDottedIP(text), expected) << "'" << text << "'";
}

TEST(ResolveProto, KnownNamesAndNumbersNeedNoLookup) {
    const std::map<std::string, int> cases = {
        {"tcp", 6}, {"TCP", 6}, {"Tcp", 6}, {" tcp ", 6}, {"udp", 17}, {"UDP", 17},
        {"raw", 255}, {"RaW", 255}, {"6", 6}, {"17", 17}, {"1abc", 1},
    };
    for (const auto& [text, expected] : cases) {
        RecordingLibrary library;
        EXPECT_EQ(net::ResolveProto(text, library), expected) << text;
        EXPECT_TRUE(library.calls.empty()) << text;
    }
}

TEST(ResolveProto, OtherNamesGoToTheLibrary) {
    RecordingLibrary library;
    library.protocols["icmp"] = 1;
    EXPECT_EQ(net::ResolveProto(" ICMP", library), 1);
    EXPECT_EQ(library.calls, std::vector<std::string>{"proto icmp"});
    EXPECT_EQ(MessageOf([&] { net::ResolveProto("bogus", library); }),
              "WSocketResolveProto: Cannot convert protocol 'bogus', Error #11004");
}

TEST(ResolveProto, RefusesEmptyAndOverlongTexts) {
    RecordingLibrary library;
    for (const std::string& text : {std::string(), std::string(32, 'a'), std::string(40, 't')})
        EXPECT_EQ(MessageOf([&] { net::ResolveProto(text, library); }), "WSocketResolveProto: Invalid Protocol.");
    library.protocols[std::string(31, 'a')] = 99;
    EXPECT_EQ(net::ResolveProto(std::string(31, 'a'), library), 99);
}

TEST(ResolvePort, NumbersUseTheirLeadingDigitsKeptTo16Bits) {
    const std::map<std::string, std::uint16_t> cases = {
        {"14580", 14580}, {"0", 0},         {"80abc", 80},        {"8080 ", 8080},
        {"65535", 65535}, {"65536", 0},     {"70000", 4464},      {"99999999999999999999999", 65535},
    };
    for (const auto& [text, expected] : cases) {
        RecordingLibrary library;
        EXPECT_EQ(net::ResolvePort(text, "tcp", library), expected) << text;
        EXPECT_TRUE(library.calls.empty()) << text;
    }
}

TEST(ResolvePort, ServiceNamesAreLookedUpTrimmed) {
    RecordingLibrary library;
    library.services["www/tcp"] = 80;
    EXPECT_EQ(net::ResolvePort(" www ", " tcp", library), 80);
    EXPECT_EQ(library.calls, std::vector<std::string>{"serv www/tcp"});
    EXPECT_EQ(MessageOf([&] { net::ResolvePort("nosuch", "tcp", library); }),
              "WSocketResolvePort: Cannot convert port 'nosuch', Error #11004");
}

TEST(ResolvePort, RefusesEmptyAndOverlongTexts) {
    RecordingLibrary library;
    const std::string longText(32, '1');
    EXPECT_EQ(MessageOf([&] { net::ResolvePort("", "tcp", library); }), "WSocketResolvePort: Invalid Port.");
    EXPECT_EQ(MessageOf([&] { net::ResolvePort(longText, "tcp", library); }), "WSocketResolvePort: Invalid Port.");
    EXPECT_EQ(MessageOf([&] { net::ResolvePort("", "", library); }), "WSocketResolvePort: Invalid Port.");
    EXPECT_EQ(MessageOf([&] { net::ResolvePort("80", "", library); }), "WSocketResolvePort: Invalid Proto.");
    EXPECT_EQ(MessageOf([&] { net::ResolvePort("80", std::string(32, 't'), library); }),
              "WSocketResolvePort: Invalid Proto.");
    EXPECT_EQ(net::ResolvePort(std::string(31, '1'), "tcp", library), 29127);  // 31 ones, low 16 bits
    EXPECT_TRUE(library.calls.empty());
}

TEST(ResolveHost, DottedQuadsGoToTheAddressParserNamesToTheLookup) {
    struct Case {
        std::string text;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"1.2.3.4", {"addr 1.2.3.4"}},
        {"  1.2.3.4  ", {"addr 1.2.3.4"}},
        {"1.2.3", {"host 1.2.3"}},
        {"256.1.1.1", {"host 256.1.1.1"}},
        {"1.2.3.4 x", {"host 1.2.3.4 x"}},
        {" cwop.aprs.net ", {"host cwop.aprs.net"}},
        {std::string(256, 'h'), {"host " + std::string(256, 'h')}},
    };
    for (const Case& c : cases) {
        RecordingLibrary library;
        library.hosts[net::TrimBlanks(c.text)] = 0x0A0B0C0Du;
        const std::uint32_t address = net::ResolveHost(c.text, library);
        EXPECT_EQ(library.calls, c.calls) << c.text;
        EXPECT_EQ(address, c.calls[0].rfind("addr", 0) == 0 ? 0x04030201u : 0x0A0B0C0Du) << c.text;
        // The component starts its own (asynchronous) lookup exactly where
        // this one calls the library's.
        EXPECT_EQ(net::HostNeedsLookup(c.text), c.calls[0].rfind("host", 0) == 0) << c.text;
    }
    for (const std::string& invalid : {std::string(), std::string("   "), std::string(257, 'h'), std::string("a\0b", 3)})
        EXPECT_FALSE(net::HostNeedsLookup(invalid));
    EXPECT_EQ(net::HostLookupFailure("nowhere", 11001), "WSocketResolveHost: Cannot convert host address 'nowhere', Error #11001");
}

TEST(ResolveHost, AllOnesIsAnErrorExceptForTheBroadcastAddress) {
    RecordingLibrary library;
    library.addresses["255.255.255.255"] = 0xFFFFFFFFu;
    library.addresses["1.2.3.09"] = 0xFFFFFFFFu;  // the parser rejects it (09 is no octal number)
    EXPECT_EQ(net::ResolveHost("255.255.255.255", library), 0xFFFFFFFFu);
    EXPECT_EQ(MessageOf([&] { net::ResolveHost("1.2.3.09", library); }),
              "WSocketResolveHost: '1.2.3.09' Invalid IP address.");
}

TEST(ResolveHost, Failures) {
    RecordingLibrary library;
    const std::string tooLong(257, 'h');
    EXPECT_EQ(MessageOf([&] { net::ResolveHost("", library); }), "WSocketResolveHost: '' Invalid Hostname.");
    EXPECT_EQ(MessageOf([&] { net::ResolveHost(tooLong, library); }),
              "WSocketResolveHost: '" + tooLong + "' Invalid Hostname.");
    // Blanks only, or a NUL that would shorten the name, are no host name.
    EXPECT_EQ(MessageOf([&] { net::ResolveHost("   ", library); }), "WSocketResolveHost: '   ' Invalid Hostname.");
    const std::string withNul("evil\0.example", 13);
    EXPECT_THROW(net::ResolveHost(withNul, library), ESocketException);
    EXPECT_TRUE(library.calls.empty());
    EXPECT_EQ(MessageOf([&] { net::ResolveHost("nowhere.invalid", library); }),
              "WSocketResolveHost: Cannot convert host address 'nowhere.invalid', Error #11001");
}

TEST(TrimBlanks, CutsBlanksAndControlCharactersAtTheEnds) {
    EXPECT_EQ(net::TrimBlanks("  host \r\n"), "host");
    EXPECT_EQ(net::TrimBlanks("\thost name\t"), "host name");
    EXPECT_EQ(net::TrimBlanks("   "), "");
    EXPECT_EQ(net::TrimBlanks(""), "");
}

}  // namespace
