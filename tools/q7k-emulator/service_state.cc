#include "service_state.h"

#include "link/command_codes.h"
#include "link/le_bytes.h"

namespace q7k {
namespace emu {
namespace {

void ReadReversed(ByteReader* r, std::array<float, 10>* out) {
  for (int k = 9; k >= 0; --k) (*out)[k] = r->F32();
}

}  // namespace

ServiceState::ServiceState()
    // Reference resistors and pole frequencies of a calibrated module:
    // main, red and blue channel.
    : refCoeffs_{1201539.875f, -70321.3671875f,    59783.80078125f,
                 0.0f,         994.2564697265625f, 0.0f} {
  // Identification registers of the measurement module.
  registers_[0x642010] = 2;
  registers_[0x644020] = 4485;
  registers_[0x646070] = 252;
}

uint32_t ServiceState::reg(uint32_t address) const {
  auto it = registers_.find(address);
  return it == registers_.end() ? 0 : it->second;
}

Reply ServiceState::Registers(uint16_t command, const uint8_t* p, size_t n) {
  ByteReader r(p, n);
  const uint32_t address = r.U32();
  const uint32_t value = r.U32();
  switch (command) {
    case cmd::kRegWrite:
    case cmd::kContinuousWrite:
      registers_[address] = value;
      return Reply::Ack();
    case cmd::kRegOr:
      registers_[address] = reg(address) | value;
      return Reply::Ack();
    case cmd::kRegAnd:
      registers_[address] = reg(address) & value;
      return Reply::Ack();
    default: {  // 0x7E01, 0x7E1A
      std::vector<uint8_t> data;
      ByteWriter(&data).U32(reg(address));
      return Reply::Ack(data);
    }
  }
}

Reply ServiceState::Enable(uint16_t command, const uint8_t* p, size_t n) {
  ByteReader r(p, n);
  std::array<int16_t, 2> words{};
  words[0] = r.I16();
  if (n >= 4) words[1] = r.I16();
  enables_[command] = words;
  return Reply::Ack();
}

std::array<int16_t, 2> ServiceState::enable(uint16_t command) const {
  auto it = enables_.find(command);
  return it == enables_.end() ? std::array<int16_t, 2>{} : it->second;
}

Reply ServiceState::TestWaveform(const uint8_t* p, size_t n) {
  ByteReader r(p, n);
  Waveform w;
  w.type = r.I16();
  w.index = r.I16();
  w.phase = r.I16();
  w.samples = r.I16();
  w.amplitude = r.F32();
  w.next = r.I16();
  if (w.samples < 0) return Reply::BadParameter(4);
  waveform_ = w;
  return Reply::Ack();
}

Reply ServiceState::UpdateRefCal(const uint8_t* p, size_t n) {
  ByteReader r(p, n);
  for (float& c : refCoeffs_) c = r.F32();
  return Reply::Ack();
}

Reply ServiceState::UpdateGuardCal(const uint8_t* p, size_t n) {
  ByteReader r(p, n);
  CoefficientSet set;
  set.received = true;
  for (int16_t& d : set.dac) d = r.I16();
  set.refGain = r.F32();
  ReadReversed(&r, &set.gains);
  ReadReversed(&r, &set.phases);
  guardCal_ = set;
  return Reply::Ack();
}

Reply ServiceState::UpdateSysCal(const uint8_t* p, size_t n) {
  ByteReader r(p, n);
  CoefficientSet set;
  set.received = true;
  set.calType = r.I16();
  set.refGain = r.F32();
  ReadReversed(&r, &set.gains);
  ReadReversed(&r, &set.phases);
  sysCal_ = set;
  return Reply::Ack();
}

Reply ServiceState::RefCalCoeffs() const {
  std::vector<uint8_t> data;
  ByteWriter w(&data);
  for (float c : refCoeffs_) w.F32(c);
  return Reply::Ack(data);
}

}  // namespace emu
}  // namespace q7k
