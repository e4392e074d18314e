// CommPort on a network port under Winsock, against a scripted device
// server on 127.0.0.1 in the test's own process: it echoes data, answers
// every COM-port command with its value and counts the purges.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <atomic>
#include <thread>
#include <vector>

#include "link/comm_port.h"
#include "link/link_errors.h"
#include "platform/telnet_codec.h"
#include "support/port_transfers.h"

namespace q7k {
namespace {

class ScriptedServer : private TelnetEvents {
 public:
  explicit ScriptedServer(Bytes greeting) {
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof a;
    bind(listener_, reinterpret_cast<sockaddr*>(&a), length);
    listen(listener_, 1);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this, greeting] {
      connection_ = accept(listener_, nullptr, nullptr);
      Send(greeting);
      TelnetDecoder decoder;
      char in[512];
      for (int n; (n = recv(connection_, in, sizeof in, 0)) > 0;) {
        Bytes got;
        decoder.Feed(reinterpret_cast<uint8_t*>(in), n, &got, this);
        Bytes out;
        AppendTelnetData(got.data(), got.size(), &out);
        Send(out);
      }
      closesocket(connection_);
    });
  }
  // The port goes first: its close ends the session.
  ~ScriptedServer() {
    thread_.join();
    closesocket(listener_);
    WSACleanup();
  }
  std::string Url(const std::string& host = "127.0.0.1") const {
    return "rfc2217://" + host + ":" + std::to_string(port_);
  }
  void Send(const Bytes& bytes) {
    send(connection_, reinterpret_cast<const char*>(bytes.data()),
         static_cast<int>(bytes.size()), 0);
  }
  void Drop() { shutdown(connection_, SD_BOTH); }
  int purges() const { return purges_; }

 private:
  void OnNegotiation(uint8_t, uint8_t) override {}
  void OnComPort(uint8_t code, const uint8_t* value, size_t n) override {
    if (code == telnet::kPurgeData) ++purges_;
    Bytes answer;
    AppendComPortCommand(code + telnet::kServerOffset, value, n, &answer);
    Send(answer);
  }

  bool started_ = [] {  // before the listener
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  SOCKET listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  std::atomic<SOCKET> connection_{INVALID_SOCKET};
  uint16_t port_ = 0;
  std::atomic<int> purges_{0};
  std::thread thread_;
};

TEST(Win32NetworkPortTest, ExchangePurgeAndDroppedConnection) {
  ScriptedServer server({0xFF, 0xFD, 44});  // DO COM-PORT-OPTION
  CommPort port(server.Url(), PortSettings::Instrument(115200));
  ASSERT_EQ(port.status(), 0) << port.osError();
  Bytes all;  // 0xFF and the Telnet command bytes among them
  for (int i = 0; i < 300; ++i) all.push_back(static_cast<uint8_t>(i));
  Bytes got(all.size());
  EXPECT_EQ(ExchangeDirect(port, all, &got), 0);
  EXPECT_EQ(got, all);
  // What the server sent unasked goes at a purge, which it hears of before
  // the next exchange's data.
  server.Send(Bytes(50, 0x55));
  ASSERT_TRUE(port.WaitForRx(49, kPortDeadline));
  ASSERT_EQ(port.PurgeRx(), 0);
  EXPECT_EQ(port.RxCount(), 0);
  got.assign(2, 0);
  EXPECT_EQ(ExchangeDirect(port, {1, 2}, &got), 0);
  EXPECT_EQ(got, Bytes({1, 2}));
  EXPECT_GE(server.purges(), 1);
  server.Drop();
  got.assign(1, 0);
  EXPECT_EQ(ExchangeDirect(port, {}, &got), kPortOsError);
}

TEST(Win32NetworkPortTest, OpeningFailsWithTheCodeAUserCanActOn) {
  ScriptedServer refusing({0xFF, 0xFE, 44});  // DONT COM-PORT-OPTION
  const std::string closed = "rfc2217://127.0.0.1:1";
  const struct {
    std::string url;
    int32_t status;
    uint32_t osError;
  } cases[] = {{refusing.Url("localhost"), kPortOsError, WSAEPROTONOSUPPORT},
               {closed, kPortNotFound, WSAECONNREFUSED}};
  for (const auto& c : cases) {
    CommPort port(c.url, PortSettings::Instrument(115200));
    EXPECT_EQ(port.status(), c.status) << c.url;
    EXPECT_EQ(port.osError(), c.osError) << c.url;
  }
}

}  // namespace
}  // namespace q7k
