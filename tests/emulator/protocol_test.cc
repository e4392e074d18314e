// The virtual instrument on the wire, checked against the tests' own frame
// encoder: one reply of each family byte for byte or field by field, and the
// refusals the library's own tests never provoke.
#include <gtest/gtest.h>

#include <string>

#include "emulator/host_line.h"

namespace q7k {
namespace testing_emu {
namespace {

Bytes Words(std::initializer_list<int> words) {
  Bytes b;
  for (int w : words) b = Concat({b, Le16(static_cast<uint16_t>(w))});
  return b;
}

// Fields of 8 bytes each, NUL padded.
Bytes Fields(std::initializer_list<std::string> fields) {
  Bytes b;
  for (const std::string& s : fields) {
    b.insert(b.end(), s.begin(), s.end());
    b.resize(b.size() + 8 - s.size(), 0);
  }
  return b;
}

Bytes Announce(const std::string& name, int32_t words) {
  return Concat({Fields({name, "02.01.00"}), Le32(uint32_t(words))});
}

Bytes Block(uint32_t address, const Bytes& data) {
  return Concat({Le32(address), Le16(uint16_t(data.size())), data});
}

// Runtime parameters with the voltage, a current range and the frequency.
Bytes Runtime(int16_t volts, float hertz, int16_t currentRange = 0) {
  return Concat(
      {Bytes(8, 0), Words({0, 0, volts, 7, currentRange}), LeF32(hertz)});
}

Bytes Nak(int number) { return {0x15, uint8_t(number), 0}; }
Bytes BadParam(int param) { return {0x15, 13, 0, uint8_t(param), 0}; }

// The requests that set the state, each acknowledged.
using Steps = std::vector<std::pair<uint16_t, Bytes>>;
const Steps kIdle, kTesting = {{0x0005, {}}}, kInBootLoader = {{0x0008, {}}};

TEST(EmulatorProtocol, RefusalsCarryTheirNumberAndParameter) {
  const struct {
    Steps before;
    uint16_t command;
    Bytes payload;
    Bytes reply;
  } rows[] = {
      {kIdle, 0x0003, Bytes(10, 0), Nak(2)},
      {kIdle, 0x000B, Block(0x1000, Bytes(4, 0)), Nak(9)},
      {kIdle, 0x000C, {}, Nak(9)},
      {kIdle, 0x000A, Announce("X", 0), BadParam(3)},
      {kIdle, 0x000F, {0, 0}, BadParam(1)},
      {kIdle, 0x0010, {3, 0}, BadParam(1)},
      {kIdle, 0x0011, {1, 0}, BadParam(1)},  // the running application
      {kIdle, 0x7E06, Words({0, 4, 0}), BadParam(2)},
      {kIdle, 0x7E06, Words({0, 0, 256}), BadParam(3)},
      {kIdle, 0x7E06, Words({0, 0, -1}), BadParam(3)},
      {kIdle, 0x7E07, Words({0, 0, 225}), BadParam(3)},  // 32 words past
      {kIdle, 0x0003, Concat({{2}, Bytes(31, 0)}), BadParam(1)},
      {kIdle, 0x0004, Runtime(100, 60.0f, 11), BadParam(9)},
      {kIdle, 0x0004, Runtime(100, 2000.0f), BadParam(10)},
      {kIdle, 0x0014, Concat({LeF32(60.0f), LeF32(70.0f)}), BadParam(2)},
      {kTesting, 0x0003, Bytes(32, 0), Nak(4)},
      {kTesting, 0x0008, {}, Nak(4)},
      {kTesting, 0x7E04, Bytes(8, 0), Nak(4)},
      {kInBootLoader, 0x0012, {}, Nak(3)},
      {kInBootLoader, 0x7E06, Bytes(6, 0), Nak(3)},
      // Downloads out of sequence or size: a block past the announced end,
      // less than announced, and an image without the identity record. A
      // full flash and the deletion that makes room are the library's
      // setup check's to see.
      {{{0x000A, Announce("X", 16)}, {0x000B, Block(0x1000, Bytes(4, 0))}},
       0x000B,
       Block(0x1010, Bytes(8, 0)),
       Nak(9)},
      {{{0x000A, Announce("X", 300)}}, 0x000C, {}, Nak(9)},
      {{{0x000A, Announce("X", 64)}, {0x000B, Block(0x1000, Bytes(256, 1))}},
       0x000C,
       {},
       Nak(7)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(&row - rows);
    EmulatorSession s;
    for (const auto& [command, payload] : row.before) {
      ASSERT_TRUE(s.host.Transact(command, payload).Ack()) << command;
    }
    EXPECT_EQ(s.host.Transact(row.command, row.payload).payload, row.reply);
  }
  // What stays allowed: runtime updates and reads during a test, and deleting
  // from flash in the boot loader.
  EmulatorSession s;
  ASSERT_TRUE(s.host.Transact(0x0005).Ack());
  EXPECT_TRUE(s.host.Transact(0x0004, Bytes(22, 0)).Ack());
  EXPECT_TRUE(s.host.Transact(0x7E06, Bytes(6, 0)).Ack());
  ASSERT_TRUE(s.host.Transact(0x0007).Ack());
  ASSERT_TRUE(s.host.Transact(0x0008).Ack());
  EXPECT_TRUE(s.host.Transact(0x0011, {1, 0}).Ack());
}

TEST(EmulatorProtocol, FramingFaultsFromTheHost) {
  EmulatorSession s;
  s.host.Send(0x0017);
  EXPECT_EQ(s.host.ReadLine(), LineBytes(NakFrame(0x0017, 3)));
  // A length field that disagrees with the frame: says 5, carries none.
  s.host.SendRaw(LineBytes({0x00, 0x00, 0x01, 0x00, 0x05, 0x00, 0x06, 0x00}));
  EXPECT_EQ(Decode(s.host.ReadLine()), NakFrame(0x0001, 2));
  // Corrupt and short frames are dropped; queued requests answered in order.
  Bytes bad = RequestFrame(0x0002, {});
  bad.back() ^= 0x01;
  s.host.SendRaw(Concat({LineBytes(bad), LineBytes({0x01, 0x02}),
                         LineBytes(RequestFrame(0x0001, {})),
                         LineBytes(RequestFrame(0x0007, {}))}));
  EXPECT_EQ(Parse(Decode(s.host.ReadLine())).number, 0xFFFF);
  EXPECT_EQ(Parse(Decode(s.host.ReadLine())).number, 0xFFF9);
  EXPECT_EQ(s.emulator.dropped_frames(), 2u);
}

TEST(EmulatorProtocol, OneReplyOfEachFamily) {
  EmulatorOptions options;
  options.model.test.specimen.capacitance = 2.0e-9;
  options.model.test.rangingPolls = 1;
  options.model.test.settlingPolls = 0;
  EmulatorSession s(options);
  HostLine* h = &s.host;

  Frame f = h->Transact(0x0001);
  EXPECT_EQ(f.payload,
            Concat({{0x06},
                    Fields({"Q7I     ", "03/12/02", "14:05:33", "01.20.02"}),
                    Fields({"Q7300 In", "strument", " Measure", "ment App"})}));
  // Boards (their words are EepromBoardTest's): any subslot reaches one.
  EXPECT_EQ(h->Transact(0x7E0C, Words({8, 2})).payload, (Bytes{0x06, 0, 0}));

  // Registers: write, or, and.
  ASSERT_TRUE(h->Transact(0x7E00, Concat({Le32(0x123), Le32(0xF0F0)})).Ack());
  ASSERT_TRUE(h->Transact(0x7E02, Concat({Le32(0x123), Le32(0x000F)})).Ack());
  ASSERT_TRUE(h->Transact(0x7E03, Concat({Le32(0x123), Le32(0xFF0F)})).Ack());
  EXPECT_EQ(h->Transact(0x7E01, Le32(0x123)).payload,
            Concat({{0x06}, Le32(0xF00F)}));
  ASSERT_TRUE(h->Transact(0x7E19, Concat({Le32(0x124), Le32(77)})).Ack());
  EXPECT_EQ(Get32(h->Transact(0x7E1A, Le32(0x124)).payload, 1), 77u);

  // Calibration information and coefficients.
  f = h->Transact(0x0013);
  ASSERT_EQ(f.payload.size(), 51u);
  EXPECT_EQ(Get16(f.payload, 21), 1);
  EXPECT_EQ(std::string(f.payload.begin() + 23, f.payload.begin() + 31),
            "12/15/94");
  Bytes coeffs;
  for (int i = 0; i < 6; ++i) coeffs = Concat({coeffs, LeF32(100.0f + i)});
  ASSERT_TRUE(h->Transact(0x7E12, coeffs).Ack());
  EXPECT_EQ(h->Transact(0x0015).payload, Concat({{0x06}, coeffs}));
  ASSERT_TRUE(h->Transact(0x0014, Concat({LeF32(90.0f), LeF32(70.0f)})).Ack());
  f = h->Transact(0x0012);
  ASSERT_EQ(f.payload.size(), 55u);
  EXPECT_FLOAT_EQ(GetF(f.payload, 37), 90.0f);
  EXPECT_FLOAT_EQ(GetF(f.payload, 41), 70.0f);

  // Results (the plain ones are the end-to-end session's): 10 kV at 50 Hz
  // on 2 nF, past one ranging poll, in the 10 mA range; the extension.
  ASSERT_TRUE(h->Transact(0x0003, Bytes(32, 0)).Ack());
  ASSERT_TRUE(h->Transact(0x0004, Runtime(10000, 50.0f)).Ack());
  ASSERT_TRUE(h->Transact(0x0005).Ack());
  ASSERT_EQ(Get16(h->Transact(0x0016, {2, 0, 0, 0}).payload, 149), 0);
  f = h->Transact(0x0016, {2, 0, 0, 0});
  ASSERT_EQ(f.payload.size(), 159u);
  EXPECT_EQ(Get16(f.payload, 149), 1);
  EXPECT_EQ(Get16(f.payload, 7), 7);
  EXPECT_GT(GetF(f.payload, 155), 0.0f);
  EXPECT_EQ(GetF(f.payload, 151), -GetF(f.payload, 155));
  EXPECT_EQ(h->Transact(0x0006, {2, 0, 0, 0}).payload.size(), 147u);
  f = h->Transact(0x7E16, {2, 0});
  ASSERT_EQ(f.payload.size(), 35u);
  EXPECT_EQ(Get16(f.payload, 9), 2);
  EXPECT_FLOAT_EQ(GetF(f.payload, 27), 10.0f);  // reference vector X, kV
  EXPECT_GT(GetF(f.payload, 23), 0.0f);         // capacitive: leading
}

TEST(EmulatorProtocol, StopReasonsLineSyncAndCoefficientOrder) {
  EmulatorOptions options;
  options.model.test.lineFrequency = 50.0f;
  EmulatorSession s(options);
  HostLine* h = &s.host;
  ASSERT_TRUE(h->Transact(0x0005).Ack());
  s.emulator.WithModel([](emu::InstrumentModel& m) {
    m.tests().Trip(0x0088, {0, 0, 2});
    return 0;
  });
  const Bytes tripped = Concat({{0x15, 14, 0, 0x88, 0, 0, 0, 2}, Bytes(16, 0)});
  EXPECT_EQ(h->Transact(0x0016, {2, 0, 0, 0}).payload, tripped);
  EXPECT_EQ(h->Transact(0x7E16, {0, 0}).payload, tripped);
  // A new start clears the reason; a line-synchronous test measures the
  // line, not the asked frequency.
  ASSERT_TRUE(h->Transact(0x0003, Concat({{1}, Bytes(31, 0)})).Ack());
  ASSERT_TRUE(h->Transact(0x0004, Runtime(0, 60.0f)).Ack());
  ASSERT_TRUE(h->Transact(0x0005).Ack());
  const Frame f = h->Transact(0x0006, {2, 0, 0, 0});
  ASSERT_TRUE(f.Ack());
  EXPECT_FLOAT_EQ(GetF(f.payload, 79), 50.0f);
  EXPECT_EQ(GetF(f.payload, 19), 0.0f);

  // System coefficients arrive as gains 9..0, then phases 9..0.
  ASSERT_TRUE(h->Transact(0x0007).Ack());
  Bytes sys = Concat({Le16(3), LeF32(1.5f)});
  for (int k = 9; k >= 0; --k) sys = Concat({sys, LeF32(1.0f + k)});
  for (int k = 9; k >= 0; --k) sys = Concat({sys, LeF32(-1.0f * k)});
  ASSERT_TRUE(h->Transact(0x7E14, sys).Ack());
  s.emulator.WithModel([](emu::InstrumentModel& m) {
    const emu::CoefficientSet& c = m.service().sys_cal();
    EXPECT_EQ(c.calType, 3);
    EXPECT_EQ(c.refGain, 1.5f);
    EXPECT_EQ(c.gains[0], 1.0f);
    EXPECT_EQ(c.phases[9], -9.0f);
    return 0;
  });
}

}  // namespace
}  // namespace testing_emu
}  // namespace q7k
