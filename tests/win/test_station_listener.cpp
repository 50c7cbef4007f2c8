// Receiving from the station through the main window's real listener on
// 127.0.0.1: both upload forms answered and the latest one sent by "Update
// Now" to the tests' own APRS-IS server; an oversize request, an idle
// connection and one too many each closed, as the listener reports them; a
// port in use named.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "LoopbackServer.h"
#include "SettingsSupport.h"
#include "TestSupport.h"
#include "Teskaprs1.h"
#include "net/Listener.h"

namespace {

using testsupport::LoopbackServer;
using testsupport::PumpUntil;

const DWORD kWaitMs = 10000;

class StationListenerTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::InitApplication();
        testsupport::ForgetSavedSettings();
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
        form = std::make_unique<TForm1>();
        form->DelayTimer.SetEnabled(false);
        form->UploadLog = upload::TUploadLog(folder.File("log"));
        form->Callsign->SetText("CW1234");
        form->StationListen = true;
        form->StationPort = std::to_string(LoopbackServer::UnusedPort());
        form->ApplyStationSettings();
        ASSERT_TRUE(form->StationListener->Listening());
        form->StationListener->OnConnectionEnded = [this](const std::string& sender, net::ConnectionEnd end) {
            ends.push_back(sender + " " + net::ConnectionEndName(end));
        };
    }
    void TearDown() override {
        for (SOCKET s : clients) closesocket(s);
        form.reset();
        WSACleanup();
        testsupport::ForgetSavedSettings();
        EXPECT_TRUE(errors.shown.empty()) << errors.shown.front().second;
    }

    // A client connected to the listener, not blocking.
    SOCKET Connect() {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(form->StationListener->Port());
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << WSAGetLastError();
        u_long nonBlocking = 1;
        ioctlsocket(s, FIONBIO, &nonBlocking);
        clients.push_back(s);
        return s;
    }
    // Sends the request as a station does, reads the answer until the
    // listener ends its side, then closes; the listener's end follows.
    std::string Exchange(const std::string& request) {
        const SOCKET s = Connect();
        EXPECT_EQ(send(s, request.data(), static_cast<int>(request.size()), 0), static_cast<int>(request.size()));
        std::string answer;
        EXPECT_TRUE(PumpUntil([&] {
            char piece[512];
            int got;
            while ((got = recv(s, piece, sizeof piece, 0)) > 0) answer.append(piece, static_cast<size_t>(got));
            return got == 0 || WSAGetLastError() != WSAEWOULDBLOCK;
        }, kWaitMs)) << request.substr(0, 60);
        const size_t before = ends.size();
        closesocket(s);
        clients.pop_back();
        EXPECT_TRUE(PumpUntil([&] { return ends.size() > before; }, kWaitMs));
        return answer;
    }

    WSADATA wsa;
    testsupport::ErrorRecorder errors;
    testsupport::TempFolder folder;
    std::unique_ptr<TForm1> form;
    std::vector<SOCKET> clients;
    std::vector<std::string> ends;  // "<sender> <how>", as the listener reports each end
};

const char kSuccess[] =
    "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 7\r\nConnection: close\r\n\r\nsuccess";

TEST_F(StationListenerTest, BothFormsAreAnsweredAndTheLatestIsWhatUpdateNowSends) {
    const std::string body = "PASSKEY=AB12&stationtype=GW2000A_V3.1.4&tempf=61&humidity=40&winddir=90"
                             "&windspeedmph=3&windgustmph=4&baromrelin=29.5";
    EXPECT_EQ(Exchange("POST /data/report/ HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                       "application/x-www-form-urlencoded\r\nContent-Length: " +
                       std::to_string(body.size()) + "\r\n\r\n" + body),
              kSuccess);
    EXPECT_EQ(form->StationKey, "AB12");  // the first station is pinned
    EXPECT_EQ(Exchange("GET /weatherstation/updateweatherstation.php?ID=AB12&PASSWORD=x&dateutc=now&winddir=230"
                       "&windspeedmph=12&windgustmph=12&tempf=70&rainin=0&baromin=29.1&humidity=90 HTTP/1.0\r\n\r\n"),
              kSuccess);
    EXPECT_EQ(ends, (std::vector<std::string>{"127.0.0.1 answered", "127.0.0.1 answered"}));

    // The report file is not looked at: there is none.
    LoopbackServer server(LoopbackServer::AprsIs());
    form->AutoServer->SetChecked(false);
    form->serverNameEdit->SetText("127.0.0.1");
    form->ServerPortEdit->SetText(server.PortText());
    form->abcButton1->Click();
    ASSERT_TRUE(server.WaitForEnd(0, kWaitMs));
    const std::string packet = server.Received(0).substr(server.Received(0).find("\r\n") + 2);
    EXPECT_EQ(packet.substr(0, 20), "CW1234>APRS,TCPXX*:@");
    EXPECT_EQ(packet.substr(27), "0000.00N/00000.00W_230/012g012t070r000h90b09854v\r\n");
}

TEST_F(StationListenerTest, AnOversizeRequestAnIdleConnectionAndOneTooManyAreClosed) {
    // A body beyond the bound: 400, and the connection ends.
    const std::string big = "POST /data/report/ HTTP/1.1\r\nContent-Length: 20000\r\n\r\nPASSKEY=AB12&tempf=" +
                            std::string(17 * 1024, '7');
    EXPECT_EQ(Exchange(big).substr(0, 24), "HTTP/1.1 400 Bad Request");
    EXPECT_EQ(form->StationKey, "");

    // A connection that sends nothing is closed at its deadline.
    form->StationListener->RequestDeadlineMs = 200;
    Connect();
    ASSERT_TRUE(PumpUntil([&] { return ends.size() == 2; }, kWaitMs));
    EXPECT_EQ(ends.back(), "127.0.0.1 timed out");

    // Four at once: a fifth makes the first one give way.
    form->StationListener->RequestDeadlineMs = 60000;
    for (int i = 0; i < 5; ++i) Connect();
    ASSERT_TRUE(PumpUntil([&] { return ends.size() == 3; }, kWaitMs));
    EXPECT_EQ(ends.back(), "127.0.0.1 too many connections");
    // ...and a station is still heard.
    EXPECT_EQ(Exchange("GET /data/report/?PASSKEY=AB12&tempf=70 HTTP/1.1\r\n\r\n"), kSuccess);

    // A port another program has is named on the status line.
    net::TListener other;
    ASSERT_EQ(other.Listen(0), 0);
    form->StationPort = std::to_string(other.Port());
    form->ApplyStationSettings();
    EXPECT_EQ(form->LoginStatus->Text(), " Port " + form->StationPort + " in use: choose another port ");
}

}  // namespace
