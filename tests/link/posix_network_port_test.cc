// CommPort on network ports: the system's device server in front of a
// pseudo-terminal whose far end echoes, and a scripted server for what the
// device server will not do.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>
#include <fcntl.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <thread>
#include <vector>

#include "link/comm_port.h"
#include "link/link_errors.h"
#include "support/device_server.h"
#include "support/pty_pair.h"

namespace q7k {
namespace {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

std::unique_ptr<CommPort> OpenPort(const std::string& url) {
  return std::make_unique<CommPort>(url, PortSettings::Instrument(115200));
}

// Sends bytes on the client-thread path and takes count bytes back.
Bytes Exchange(CommPort& port, const Bytes& bytes, size_t count) {
  EXPECT_EQ(port.WriteDirect(bytes.data(), static_cast<int32_t>(bytes.size())),
            0);
  Bytes got(count);
  size_t have = 0;
  const auto deadline = std::chrono::steady_clock::now() + kPtyDeadline;
  while (have < count && std::chrono::steady_clock::now() < deadline) {
    const PortTransfer t = port.ReadDirect(got.data() + have, count - have,
                                           deadline);
    if (t.status != 0) break;
    have += t.count;
  }
  got.resize(have);
  return got;
}

Bytes Echo(const Bytes& chunk) { return chunk; }

// Every value 0..255 twice, so 0xFF and the Telnet command bytes go by.
Bytes AllBytes() {
  Bytes b;
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 256; ++i) b.push_back(static_cast<uint8_t>(i));
  }
  return b;
}

class NetworkPortTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (DeviceServer::Program().empty()) GTEST_SKIP() << "ser2net not installed";
    ASSERT_TRUE(pty_.ok()) << pty_.error();
    server_ = std::make_unique<DeviceServer>(pty_.slavePath());
    ASSERT_TRUE(server_->Start()) << server_->error();
  }
  std::string Url() const { return server_->Url(GetParam()); }

  PtyPair pty_;
  PtyPeer peer_{pty_.master(), Echo};
  std::unique_ptr<DeviceServer> server_;
};

TEST_P(NetworkPortTest, ExchangesEveryByteValueOnBothPaths) {
  auto port = OpenPort(Url());
  ASSERT_EQ(port->status(), 0) << port->osError();
  const Bytes all = AllBytes();
  EXPECT_EQ(Exchange(*port, all, all.size()), all);
  // The queued path, with a break between: what follows it still arrives.
  ASSERT_EQ(port->Write(all.data(), 300), 0);
  ASSERT_EQ(port->SendBreak(20), 0);
  ASSERT_EQ(port->Write(all.data() + 300, 212), 0);
  size_t have = 0;
  while (have < all.size() && port->WaitForRx(have, kPtyDeadline)) {
    have = static_cast<size_t>(port->RxCount());
  }
  Bytes got(have + 1);
  ASSERT_EQ(port->Read(got.data(), static_cast<int32_t>(have)), 0);
  got.resize(have);
  EXPECT_EQ(got, all);
  EXPECT_EQ(port->status(), 0);
}

TEST_P(NetworkPortTest, PurgeDropsWhatArrivedAndTheLineGoesOn) {
  auto port = OpenPort(Url());
  ASSERT_EQ(port->status(), 0) << port->osError();
  peer_.Send(Bytes(100, 0x55));
  ASSERT_TRUE(port->WaitForRx(99, kPtyDeadline));
  ASSERT_EQ(port->PurgeRx(), 0);
  EXPECT_EQ(port->RxCount(), 0);
  const Bytes probe = {1, 0xFF, 2};
  EXPECT_EQ(Exchange(*port, probe, 3), probe);
}

TEST_P(NetworkPortTest, ServerGoneFailsAtOnceAndReopenWorks) {
  auto port = OpenPort(Url());
  ASSERT_EQ(port->status(), 0) << port->osError();
  peer_.SetReading(false);  // a transaction left waiting for its answer
  const Bytes probe = {7, 8, 9};
  ASSERT_EQ(port->WriteDirect(probe.data(), 3), 0);
  std::thread killer([&] {
    std::this_thread::sleep_for(milliseconds(50));
    server_->Stop();
  });
  uint8_t buffer[4];
  const auto deadline = std::chrono::steady_clock::now() + kPtyDeadline;
  PortTransfer t;
  while (t.status == 0 && std::chrono::steady_clock::now() < deadline) {
    t = port->ReadDirect(buffer, 3, deadline);
  }
  killer.join();
  EXPECT_EQ(t.status, kPortOsError);
  port.reset();
  peer_.SetReading(true);
  ASSERT_TRUE(server_->Start()) << server_->error();
  port = OpenPort(Url());
  ASSERT_EQ(port->status(), 0) << port->osError();
  EXPECT_EQ(Exchange(*port, probe, 3).size(), 3u);
}

TEST_P(NetworkPortTest, ControlledPortSetsTheDevicesLineAndIsExclusive) {
  if (!GetParam()) GTEST_SKIP() << "a raw byte stream has no line control";
  auto port = OpenPort(Url());
  ASSERT_EQ(port->status(), 0) << port->osError();
  ASSERT_EQ(port->Configure(9600, 'E', 7, 2), 0);
  const int fd = open(pty_.slavePath().c_str(), O_RDWR | O_NOCTTY);
  struct termios t = {};
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  close(fd);
  // A pseudo-terminal keeps neither parity nor character size: the rate and
  // the stop bits show that the server set the device.
  EXPECT_EQ(cfgetospeed(&t), B9600);
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  // The server turns a second client away and says why.
  EXPECT_EQ(OpenPort(Url())->status(), kPortInUse);
}

INSTANTIATE_TEST_SUITE_P(Kinds, NetworkPortTest, ::testing::Bool(),
                         [](const auto& info) {
                           return info.param ? "rfc2217" : "socket";
                         });

// A one-connection server that greets and then answers every COM-port
// command with its own value, except that it always keeps 8 data bits.
class ScriptedServer {
 public:
  explicit ScriptedServer(Bytes greeting) : port_(FreeLoopbackPort()) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port_);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listener_, 1);
    thread_ = std::thread([this, greeting] {
      const int fd = accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      send(fd, greeting.data(), greeting.size(), MSG_NOSIGNAL);
      uint8_t in[512];
      ssize_t n;
      while ((n = recv(fd, in, sizeof in, 0)) > 0) {
        Bytes out;
        for (ssize_t i = 0; i + 4 < n; ++i) {
          if (in[i] != 0xFF || in[i + 1] != 0xFA || in[i + 2] != 44) continue;
          out.insert(out.end(), {0xFF, 0xFA, 44,
                                 static_cast<uint8_t>(in[i + 3] + 100)});
          for (ssize_t j = i + 4; j < n && in[j] != 0xFF; ++j) {
            out.push_back(in[i + 3] == 2 ? 8 : in[j]);
          }
          out.insert(out.end(), {0xFF, 0xF0});
        }
        send(fd, out.data(), out.size(), MSG_NOSIGNAL);
      }
      close(fd);
    });
  }
  ~ScriptedServer() {
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    thread_.join();
  }
  std::string Url() const {
    return "rfc2217://127.0.0.1:" + std::to_string(port_);
  }

 private:
  uint16_t port_;
  int listener_ = -1;
  std::thread thread_;
};

TEST(NetworkPortFaultTest, OpeningFailsWithTheCodeAUserCanActOn) {
  const struct {
    const char* what;
    Bytes greeting;
    int32_t status;
    uint32_t osError;
  } cases[] = {
      {"refuses COM-port control", {0xFF, 0xFE, 44}, kPortOsError,
       EPROTONOSUPPORT},
      {"never negotiates", {}, kPortOsError, ETIMEDOUT},
  };
  for (const auto& c : cases) {
    ScriptedServer server(c.greeting);
    auto port = OpenPort(server.Url());
    EXPECT_EQ(port->status(), c.status) << c.what;
    EXPECT_EQ(port->osError(), c.osError) << c.what;
    port.reset();
  }
  const uint16_t closed = FreeLoopbackPort();
  for (const std::string& url :
       {"rfc2217://127.0.0.1:" + std::to_string(closed),
        "socket://[::1]:" + std::to_string(closed),
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
  EXPECT_EQ(port->status(), 0);  // the port keeps running at 8 data bits
  EXPECT_EQ(port->dataBits(), 8);
}

}  // namespace
}  // namespace q7k
