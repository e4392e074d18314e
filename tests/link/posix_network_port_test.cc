// CommPort on network ports: the system's device server in front of a
// pseudo-terminal whose far end echoes, and a scripted server for what the
// device server will not do.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <thread>
#include <vector>

#include "link/comm_port.h"
#include "link/link_errors.h"
#include "platform/serial_io.h"
#include "support/device_server.h"
#include "support/port_transfers.h"
#include "support/pty_pair.h"

namespace q7k {
namespace {

std::unique_ptr<CommPort> OpenPort(const std::string& url) {
  return std::make_unique<CommPort>(url, PortSettings::Instrument(115200));
}

class NetworkPortTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (!DeviceServer::Installed()) GTEST_SKIP() << "ser2net not installed";
    ASSERT_TRUE(pty_.ok()) << pty_.error();
    ASSERT_TRUE(server_.Start()) << server_.error();
    port_ = OpenPort(server_.Url(GetParam()));
    ASSERT_EQ(port_->status(), 0) << port_->osError();
  }

  PtyPair pty_;
  PtyPeer peer_{pty_.master(), [](const Bytes& chunk) { return chunk; }};
  DeviceServer server_{pty_.slavePath()};
  std::unique_ptr<CommPort> port_;
};

TEST_P(NetworkPortTest, EveryByteValuePurgeAndBreak) {
  Bytes all;  // 0xFF and the Telnet command bytes among them
  for (int i = 0; i < 512; ++i) all.push_back(static_cast<uint8_t>(i));
  Bytes got(all.size());
  EXPECT_EQ(ExchangeDirect(*port_, all, &got), 0);
  EXPECT_EQ(got, all);
  // A purge drops what arrived, and the line goes on.
  peer_.Send(Bytes(100, 0x55));
  ASSERT_TRUE(port_->WaitForRx(99, kPtyDeadline));
  ASSERT_EQ(port_->PurgeRx(), 0);
  EXPECT_EQ(port_->RxCount(), 0);
  // What follows a break still arrives whole.
  ASSERT_EQ(port_->SendBreak(20), 0);
  got.assign(3, 0);
  EXPECT_EQ(ExchangeDirect(*port_, {1, 0xFF, 2}, &got), 0);
  EXPECT_EQ(got, Bytes({1, 0xFF, 2}));
}

TEST_P(NetworkPortTest, ServerGoneFailsTheWaitingReadAndReopenWorks) {
  std::thread killer([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    server_.Stop();
  });
  Bytes got(4);  // one byte more than comes back: still waiting
  EXPECT_EQ(ExchangeDirect(*port_, {7, 8, 9}, &got), kPortOsError);
  killer.join();
  port_.reset();
  ASSERT_TRUE(server_.Start()) << server_.error();
  port_ = OpenPort(server_.Url(GetParam()));
  got.assign(3, 0);
  EXPECT_EQ(ExchangeDirect(*port_, {7, 8, 9}, &got), 0);
}

TEST_P(NetworkPortTest, ControlledPortSetsTheDevicesLineAndIsExclusive) {
  if (!GetParam()) GTEST_SKIP() << "a raw byte stream has no line control";
  ASSERT_EQ(port_->Configure(9600, 'E', 7, 2), 0);
  const int fd = open(pty_.slavePath().c_str(), O_RDWR | O_NOCTTY);
  termios t = {};
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  close(fd);
  // A pseudo-terminal keeps neither parity nor character size: the rate and
  // the stop bits show that the server set the device.
  EXPECT_EQ(cfgetospeed(&t), B9600);
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
}

TEST_P(NetworkPortTest, ASecondClientIsTurnedAwayAsInUse) {
  // The server says why before it closes, with or without Telnet.
  EXPECT_EQ(OpenPort(server_.Url(GetParam()))->status(), kPortInUse);
}

INSTANTIATE_TEST_SUITE_P(Kinds, NetworkPortTest, ::testing::Bool(),
                         [](const auto& info) {
                           return info.param ? "rfc2217" : "socket";
                         });

// One connection: sends greeting, then answers every COM-port command with
// its own value, except that the data size stays 8.
class ScriptedServer {
 public:
  explicit ScriptedServer(Bytes greeting) {
    thread_ = std::thread([this, greeting] {
      const int fd = accept(listener_, nullptr, nullptr);
      send(fd, greeting.data(), greeting.size(), MSG_NOSIGNAL);
      uint8_t in[512];
      for (ssize_t n; (n = recv(fd, in, sizeof in, 0)) > 0;) {
        Bytes out;
        for (ssize_t i = 0; i + 4 < n; ++i) {
          if (in[i] != 0xFF || in[i + 1] != 0xFA || in[i + 2] != 44) continue;
          out.insert(out.end(), {0xFF, 0xFA, 44, uint8_t(in[i + 3] + 100)});
          for (ssize_t j = i + 4; j < n && in[j] != 0xFF; ++j) {
            out.push_back(in[i + 3] == 2 ? 8 : in[j]);
          }
          out.insert(out.end(), {0xFF, 0xF0});
        }
        send(fd, out.data(), out.size(), MSG_NOSIGNAL);
      }
      if (fd >= 0) close(fd);
    });
  }
  ~ScriptedServer() {
    shutdown(listener_, SHUT_RDWR);
    thread_.join();
    close(listener_);
  }
  std::string Url(const std::string& host = "127.0.0.1") const {
    return "rfc2217://" + host + ":" + std::to_string(port_);
  }

 private:
  uint16_t port_ = 0;
  int listener_ = ListenOnLoopback(&port_);
  std::thread thread_;
};

TEST(NetworkPortFaultTest, OpeningFailsWithTheCodeAUserCanActOn) {
  const struct {
    Bytes greeting;
    uint32_t osError;
  } refusals[] = {{{0xFF, 0xFE, 44}, EPROTONOSUPPORT},  // no COM-port control
                  {{}, ETIMEDOUT}};                     // never negotiates
  for (const auto& c : refusals) {
    ScriptedServer server(c.greeting);
    auto port = OpenPort(server.Url());
    EXPECT_EQ(port->status(), kPortOsError);
    EXPECT_EQ(port->osError(), c.osError);
  }
  const std::string closed = std::to_string(FreeLoopbackPort());
  for (const std::string& url :
       {"rfc2217://127.0.0.1:" + closed, "socket://[::1]:" + closed,
        std::string("socket://no-such-host.invalid:4000"),
        std::string("rfc2217://missing-port")}) {
    EXPECT_EQ(OpenPort(url)->status(), kPortNotFound) << url;
  }
}

TEST(NetworkPortFaultTest, AFormatTheServerDoesNotTakeIsRefused) {
  ScriptedServer server({0xFF, 0xFD, 44});
  auto port = OpenPort(server.Url());
  ASSERT_EQ(port->status(), 0) << port->osError();
  EXPECT_EQ(port->Configure(-1, -1, 7, -1), kPortOsError);
  EXPECT_EQ(port->osError(), static_cast<uint32_t>(EINVAL));
  EXPECT_EQ(port->status(), 0);  // it keeps running at 8 data bits
  EXPECT_EQ(port->dataBits(), 8);
}

TEST(NetworkPortFaultTest, WhatTheDeviceSentBeforeTheConnectionIsDropped) {
  const struct {
    Bytes greeting;
    const char* host;  // a name too: looked up on a thread of its own
  } cases[] = {{{'o', 'l', 'd', 0xFF, 0xFD, 44}, "127.0.0.1"},  // before
               {{0xFF, 0xFD, 44, 'o', 0xFF, 0xFF, 'd'}, "localhost"}};
  for (const auto& c : cases) {
    ScriptedServer server(c.greeting);
    SerialIo io;
    ASSERT_EQ(io.Open(server.Url(c.host)), 0u) << c.host;
    uint8_t got[16];
    uint32_t error = 0;
    EXPECT_EQ(io.Read(got, sizeof got, &error), 0) << c.host;
  }
}

}  // namespace
}  // namespace q7k
