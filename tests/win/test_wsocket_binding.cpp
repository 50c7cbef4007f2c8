// The sockets binding under Wine: wsock32.dll loaded from the system folder on
// first use and kept while the program runs, its start-up version, its
// failures, the resolution routines against the real library, and the
// hidden window.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "LoopbackServer.h"
#include "TestSupport.h"
#include "net/WSocket.h"

namespace {

using net::TWSocket;
using testsupport::LoopbackServer;

template <class F>
std::string MessageOf(F&& f) {
    return testsupport::MessageOf<net::ESocketException>(f);
}

// As at the program's end: no component, no lookup, the library let go.
void ReleaseLibrary() {
    ASSERT_TRUE(net::WSocketReleaseLibrary());
    ASSERT_FALSE(net::WSocketLibraryLoaded());
}

class WSocketBinding : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::InitApplication();
        ReleaseLibrary();
    }
    void TearDown() override {
        // Leave the version as the program has it.
        TWSocket restore;
        restore.SetReqVerLow(1);
        restore.SetReqVerHigh(1);
    }
    testsupport::ErrorRecorder recorder;
};

TEST_F(WSocketBinding, LoadedOnFirstUseAndKeptWhileTheProgramRuns) {
    auto a = std::make_unique<TWSocket>();
    auto b = std::make_unique<TWSocket>();
    a->SetAddr("127.0.0.1");
    a->SetPort("14580");
    EXPECT_FALSE(net::WSocketLibraryLoaded()) << "construction and setters do not load it";
    EXPECT_EQ(net::WSocketResolvePort("14580", "tcp"), 14580);
    EXPECT_EQ(net::WSocketResolveProto("TCP"), 6);
    EXPECT_FALSE(net::WSocketLibraryLoaded()) << "numbers and tcp need no library call";
    EXPECT_EQ(net::WSocketResolveHost("127.0.0.1"), htonl(INADDR_LOOPBACK));
    EXPECT_TRUE(net::WSocketLibraryLoaded());
    // The program itself does not link the sockets library.
    EXPECT_NE(GetModuleHandleA("wsock32.dll"), nullptr);
    EXPECT_EQ(net::WSocketGetProc("send"), GetProcAddress(GetModuleHandleA("wsock32.dll"), "send"));
    a.reset();
    EXPECT_FALSE(net::WSocketReleaseLibrary()) << "one component is still alive";
    b.reset();
    EXPECT_TRUE(net::WSocketLibraryLoaded()) << "not unloaded with the last component";
}

TEST_F(WSocketBinding, VersionCanOnlyChangeBeforeLoading) {
    TWSocket ws;
    EXPECT_EQ(ws.ReqVerLow(), 1);
    EXPECT_EQ(ws.ReqVerHigh(), 1);
    ws.SetReqVerHigh(2);
    EXPECT_EQ(ws.ReqVerHigh(), 2);
    ws.SetReqVerHigh(1);
    net::WSocketResolveHost("127.0.0.1");
    ASSERT_TRUE(net::WSocketLibraryLoaded());

    ws.SetReqVerLow(1);  // the same value is no change
    const std::string low = MessageOf([&] { ws.SetReqVerLow(2); });
    const std::string high = MessageOf([&] { ws.SetReqVerHigh(0); });
    EXPECT_EQ(low.rfind("Error ", 0), 0u) << low;
    EXPECT_NE(low.find(" in function SetReqVerLow: WinSock version can't be changed now\r\n"), std::string::npos) << low;
    EXPECT_NE(high.find(" in function SetReqVerHigh: WinSock version can't be changed now\r\n"), std::string::npos)
        << high;
    EXPECT_EQ(ws.ReqVerLow(), 1);
    EXPECT_EQ(ws.ReqVerHigh(), 1);

    int errors = 0;
    ws.OnError = [&](TWSocket*) { ++errors; };
    ws.SetReqVerLow(3);
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(ws.ReqVerLow(), 1);
}

TEST_F(WSocketBinding, StartUpFailureIsReportedAndTheLibraryLetGo) {
    TWSocket ws;
    ws.SetReqVerLow(0);
    ws.SetReqVerHigh(0);
    const std::string message = MessageOf([] { net::WSocketResolveHost("127.0.0.1"); });
    EXPECT_EQ(message.rfind("wsock32.dll: WSAStartup error #", 0), 0u) << message;
    EXPECT_NE(message, "wsock32.dll: WSAStartup error #0");
    EXPECT_FALSE(net::WSocketLibraryLoaded());

    // Inside Connect it is one of the resolution failures.
    ws.SetAddr("127.0.0.1");
    ws.SetPort("14580");
    EXPECT_EQ(MessageOf([&] { ws.Connect(); }), "connect: " + message);
    EXPECT_EQ(ws.State(), net::wsClosed);

    // Not loaded, so the version can still be mended, and then it starts.
    ws.SetReqVerLow(1);
    ws.SetReqVerHigh(1);
    EXPECT_EQ(net::WSocketResolveHost("127.0.0.1"), htonl(INADDR_LOOPBACK));
    EXPECT_TRUE(net::WSocketLibraryLoaded());
}

TEST_F(WSocketBinding, MissingProcedureIsReported) {
    EXPECT_EQ(MessageOf([] { net::WSocketGetProc("NoSuchProcedure"); }),
              "Procedure NoSuchProcedure not found in wsock32.dll Error #127");
}

// Wine can be told not to load a DLL for one program: a copy of this test
// program under a name of its own gets wsock32.dll disabled in the registry
// (AppDefaults\<name>\DllOverrides) and writes the message it got to a file.
TEST_F(WSocketBinding, LibraryThatCannotBeLoadedIsReported) {
    if (const char* out = std::getenv("TESKAPRS_WSOCK_DISABLED_OUT")) {
        const std::string message = MessageOf([] { net::WSocketResolveHost("127.0.0.1"); });
        FILE* f = std::fopen(out, "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(message.data(), 1, message.size(), f);
        std::fclose(f);
        return;
    }
    testsupport::TempFolder folder;
    const std::string name = "wsock-disabled-" + std::to_string(GetCurrentProcessId()) + ".exe";
    const std::string copy = folder.File(name);
    const std::string out = folder.File("message.txt");
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    ASSERT_TRUE(CopyFileA(exe, copy.c_str(), FALSE));

    const std::string appKey = "Software\\Wine\\AppDefaults\\" + name;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (appKey + "\\DllOverrides").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "wsock32", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
    RegCloseKey(key);

    std::string command = "\"" + copy + "\" --gtest_filter=WSocketBinding.LibraryThatCannotBeLoadedIsReported";
    SetEnvironmentVariableA("TESKAPRS_WSOCK_DISABLED_OUT", out.c_str());
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                                        nullptr, &si, &pi);
    const DWORD startError = GetLastError();
    SetEnvironmentVariableA("TESKAPRS_WSOCK_DISABLED_OUT", nullptr);
    DWORD exitCode = 1;
    if (started) {
        WaitForSingleObject(pi.hProcess, 60000);
        GetExitCodeProcess(pi.hProcess, &exitCode);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, (appKey + "\\DllOverrides").c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, appKey.c_str());
    ASSERT_TRUE(started) << startError;
    EXPECT_EQ(exitCode, 0u);
    const std::string message = testsupport::TempFolder::Read(out);
    EXPECT_EQ(message.rfind("Unable to load wsock32.dll Error #", 0), 0u) << message;
    EXPECT_NE(message, "Unable to load wsock32.dll Error #0");
}

TEST_F(WSocketBinding, ResolvesAgainstTheRealLibrary) {
    EXPECT_EQ(net::WSocketResolvePort("http", "tcp"), 80);
    EXPECT_EQ(net::WSocketResolvePort(" http ", "TCP "), 80);
    EXPECT_EQ(net::WSocketResolveProto("icmp"), 1);
    EXPECT_EQ(net::WSocketResolveHost("localhost"), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(net::WSocketResolveHost(" 127.0.0.1 "), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(net::WSocketResolveHost("255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(MessageOf([] { net::WSocketResolveHost("1.2.3.09"); }),
              "WSocketResolveHost: '1.2.3.09' Invalid IP address.");
    const std::string port = MessageOf([] { net::WSocketResolvePort("nosuchservice", "tcp"); });
    EXPECT_EQ(port, "WSocketResolvePort: Cannot convert port 'nosuchservice', Error #11004");
    const std::string proto = MessageOf([] { net::WSocketResolveProto("nosuchproto"); });
    EXPECT_EQ(proto, "WSocketResolveProto: Cannot convert protocol 'nosuchproto', Error #11004");

    // A name that cannot resolve (reserved domain, first label longer than
    // DNS allows: it fails before any query is sent); time it.
    const std::string name = std::string(64, 'x') + ".invalid";
    const ULONGLONG start = GetTickCount64();
    const std::string host = MessageOf([&] { net::WSocketResolveHost(name); });
    const ULONGLONG elapsed = GetTickCount64() - start;
    std::printf("failed lookup took %llu ms: %s\n", elapsed, host.c_str());
    EXPECT_EQ(host.rfind("WSocketResolveHost: Cannot convert host address '" + name + "', Error #", 0), 0u) << host;
}

TEST_F(WSocketBinding, HiddenWindowHoldsTheComponent) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    EXPECT_FALSE(GetClassInfoA(instance, "XSocketWindowClass", &wc)) << "no component, no class";
    auto a = std::make_unique<TWSocket>();
    auto b = std::make_unique<TWSocket>();
    ASSERT_TRUE(GetClassInfoA(instance, "XSocketWindowClass", &wc));
    EXPECT_EQ(wc.cbWndExtra, static_cast<int>(sizeof(LONG_PTR)));
    EXPECT_EQ(wc.style, 0u);
    for (TWSocket* ws : {a.get(), b.get()}) {
        HWND w = ws->Handle();
        ASSERT_TRUE(IsWindow(w));
        char name[64] = {};
        GetClassNameA(w, name, sizeof name);
        EXPECT_STREQ(name, "XSocketWindowClass");
        EXPECT_EQ(GetWindowLongPtrA(w, 0), reinterpret_cast<LONG_PTR>(ws));
        EXPECT_FALSE(IsWindowVisible(w));
        EXPECT_EQ(GetParent(w), nullptr);
        EXPECT_TRUE(GetWindowLongA(w, GWL_STYLE) & WS_POPUP);
        EXPECT_TRUE(GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
        char title[8] = "x";
        GetWindowTextA(w, title, sizeof title);
        EXPECT_STREQ(title, "");
    }
    EXPECT_NE(a->Handle(), b->Handle());
    HWND first = a->Handle();
    a.reset();
    EXPECT_FALSE(IsWindow(first));
    EXPECT_TRUE(GetClassInfoA(instance, "XSocketWindowClass", &wc)) << "still used by the other one";
    // Other messages get default processing.
    EXPECT_EQ(SendMessageA(b->Handle(), WM_USER + 4, 0, 0), 0);
    b.reset();
    EXPECT_FALSE(GetClassInfoA(instance, "XSocketWindowClass", &wc));
}

// A host lookup runs to its end whatever becomes of the component that
// started it (under Wine even a cancelled one does): its buffer and the
// library stay until its answer has come, and that answer starts nothing.
// Once with the tests' lookup, once with the library's own.
TEST_F(WSocketBinding, ALookupOutlivesTheComponentThatStartedIt) {
    testsupport::ScriptedLookup scripted(300);
    for (const bool library : {false, true}) {
        SCOPED_TRACE(library ? "the library's lookup" : "the tests' lookup");
        int events = 0;
        {
            TWSocket ws;
            ws.OnDataSent = [&](TWSocket*, std::uint16_t) { ++events; };
            ws.OnSessionClosed = [&](TWSocket*, std::uint16_t) { ++events; };
            ws.OnError = [&](TWSocket*) { ++events; };
            if (!library) ws.SetHostLookup(&scripted);
            ws.SetAddr(library ? "localhost" : std::string(64, 'n') + ".invalid");
            ws.SetPort("http");  // a service name: the library is loaded for it
            ws.Connect();
            ASSERT_EQ(ws.State(), net::wsConnecting);
            EXPECT_EQ(net::WSocketPendingLookups(), 1u);
        }
        EXPECT_FALSE(net::WSocketReleaseLibrary()) << "the lookup may still run in it";
        ASSERT_TRUE(testsupport::PumpUntil([] { return net::WSocketPendingLookups() == 0; }, 5000));
        EXPECT_EQ(events, 0);
        ASSERT_NO_FATAL_FAILURE(ReleaseLibrary()) << "released once the lookup is over";
    }
    EXPECT_EQ(scripted.AnswersPosted(), 1u);
    EXPECT_EQ(scripted.StrayWrites(), 0u) << "the late answer wrote into memory still owned";
}

TEST_F(WSocketBinding, DestructionClosesWithoutAnEvent) {
    LoopbackServer server;
    int closed = 0;
    {
        TWSocket ws;
        ws.OnSessionClosed = [&](TWSocket*, std::uint16_t) { ++closed; };
        ws.SetAddr(LoopbackServer::Address());
        ws.SetPort(server.PortText());
        ws.Connect();
        ASSERT_TRUE(testsupport::PumpUntil([&] { return ws.State() == net::wsConnected; }, 5000));
        ASSERT_EQ(ws.SendStr("last words\r\n"), 12);
    }
    EXPECT_EQ(closed, 0);
    ASSERT_TRUE(server.WaitForEnd(0, 5000));
    EXPECT_EQ(server.Connections()[0].Received(), "last words\r\n");
    EXPECT_EQ(server.Connections()[0].end, testsupport::PeerEnd::Fin);
}

}  // namespace
