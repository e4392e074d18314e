// The emulator served over TCP (--listen): one client at a time on IPv4
// and IPv6, a second one refused, the next one let in after the first
// leaves or is closed by a fault; a scripted Telnet com-port client whose
// every request is answered byte for byte.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "emulator/host_line.h"
#include "line_server.h"

namespace q7k {
namespace testing_emu {
namespace {

constexpr uint8_t IAC = 255, SB = 250, SE = 240, WILL = 251, WONT = 252,
                  DO = 253, COM = 44;

Bytes Escaped(const Bytes& data) {
  Bytes out;
  for (uint8_t b : data) {
    out.push_back(b);
    if (b == IAC) out.push_back(IAC);
  }
  return out;
}

Bytes Sub(std::initializer_list<uint8_t> body) {
  return Concat({{IAC, SB, COM}, Bytes(body), {IAC, SE}});
}

// The reply to command, 0xFF undoubled for Telnet.
Frame Exchange(HostLine& line, uint16_t command, bool telnet) {
  const Bytes request = LineBytes(RequestFrame(command, {}));
  line.SendRaw(telnet ? Escaped(request) : request);
  if (!telnet) return Parse(Decode(line.ReadLine()));
  Bytes got, frame;
  while (TakeFrame(got, &frame) == 0) {
    const Bytes next = line.Next(1);
    if (next.empty()) break;
    got.push_back(next[0]);
    if (next[0] == IAC) line.Next(1);
  }
  return Parse(frame);
}

TEST(EmulatorListener, OneClientAtATimeOnBothFamiliesAndTheNextAfterIt) {
  const struct {
    const char* listen;
    bool faultCloses;  // the first client's line is closed by a fault
  } cases[] = {{"socket://127.0.0.1:0", true},
               {"socket://[::1]:0", false},
               {"rfc2217://127.0.0.1:0", false},
               {"rfc2217://[::1]:0", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.listen);
    const std::string listen = c.listen;
    const bool telnet = listen.rfind("rfc2217", 0) == 0;
    EmulatorOptions options;
    options.line.listen = listen;
    Emulator emulator(options);
    const std::string url = emulator.Start();
    ASSERT_NE(url, "") << emulator.error();
    EXPECT_EQ(url.substr(0, url.rfind(':')),
              listen.substr(0, listen.rfind(':')));
    EXPECT_NE(url.substr(url.rfind(':')), ":0");
    {
      HostLine first(Connect(url));
      ASSERT_TRUE(first.ok());
      EXPECT_TRUE(Exchange(first, 0x0002, telnet).Ack());
      {
        HostLine second(Connect(url));
        Bytes said;
        EXPECT_TRUE(second.ReadUntilClosed(&said));
        EXPECT_EQ(std::string(said.begin(), said.end()),
                  emu::kClientRefusedText);
      }
      if (c.faultCloses) {
        emulator.AddFault("close@once");
        first.Send(0x0001);
        Bytes cut;
        EXPECT_TRUE(first.ReadUntilClosed(&cut));
        EXPECT_FALSE(cut.empty());
      }
    }
    HostLine next(Connect(url));
    const Frame info = Exchange(next, 0x0001, telnet);
    ASSERT_TRUE(info.Ack());
    EXPECT_EQ(std::string(info.payload.begin() + 1, info.payload.begin() + 4),
              "Q7I");
    emulator.Stop();
    EXPECT_FALSE(HostLine(Connect(url)).ok());
  }
}

TEST(EmulatorListener, AClientThatLeftWithBytesUnreadDoesNotKeepTheNextOut) {
  EmulatorOptions options;
  options.line.listen = "socket://127.0.0.1:0";
  options.line.turnaroundMs = 400;  // busy with the first request meanwhile
  Emulator emulator(options);
  const std::string url = emulator.Start();
  {
    HostLine first(Connect(url));
    first.Send(0x0001);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    first.Send(0x0002);
  }
  HostLine next(Connect(url));
  EXPECT_TRUE(Exchange(next, 0x0002, false).Ack());
}

TEST(EmulatorListener, ComPortControlIsAnsweredWithTheSettingsInEffect) {
  EmulatorOptions options;
  options.line.listen = "rfc2217://127.0.0.1:0";
  options.line.baud = 115200;  // paced: a rate taken besides the instrument's
  Emulator emulator(options);
  HostLine client(Connect(emulator.Start()));
  ASSERT_TRUE(client.ok());
  const struct {
    const char* what;
    Bytes send;
    Bytes reply;
  } steps[] = {
      {"options taken and refused",
       {IAC, WILL, COM, IAC, DO, 0, IAC, WILL, 0, IAC, DO, 99},
       {IAC, DO, COM, IAC, WILL, 0, IAC, DO, 0, IAC, WONT, 99}},
      {"an option already on is not answered again",
       Concat({{IAC, WILL, COM}, Sub({0})}),
       Sub({100, 'q', '7', 'k', '-', 'e', 'm', 'u', 'l', 'a', 't', 'o', 'r'})},
      {"the paced rate in effect", Sub({1, 0, 0, 0, 0}),
       Sub({101, 0, 1, 0xC2, 0})},
      {"an instrument rate taken", Sub({1, 0, 1, 0xB7, 0x74}),
       Sub({101, 0, 1, 0xB7, 0x74})},
      {"a rate it cannot take", Sub({1, 0, 0, 1, 0x2C}),
       Sub({101, 0, 1, 0xB7, 0x74})},
      {"7E2 answered as 8N1", Concat({Sub({2, 7}), Sub({3, 3}), Sub({4, 2})}),
       Concat({Sub({102, 8}), Sub({103, 1}), Sub({104, 1})})},
      {"DTR off, break on, no hardware flow",
       Concat({Sub({5, 9}), Sub({5, 5}), Sub({5, 3}), Sub({5, 4})}),
       Concat({Sub({105, 9}), Sub({105, 5}), Sub({105, 1}), Sub({105, 5})})},
      {"purges acknowledged", Concat({Sub({12, 1}), Sub({12, 3})}),
       Concat({Sub({112, 1}), Sub({112, 3})})},
      {"modem state sent once asked for", Sub({11, IAC, IAC}),
       Concat({Sub({111, IAC, IAC}), Sub({107, 0xB0})})},
      {"0xFF escaped both ways in an exchange",
       Escaped(LineBytes(RequestFrame(0x00FF, {}))),
       Escaped(LineBytes(NakFrame(0x00FF, 3)))},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    client.SendRaw(s.send);
    EXPECT_EQ(client.Next(s.reply.size()), s.reply);
  }
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
