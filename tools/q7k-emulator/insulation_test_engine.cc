#include "insulation_test_engine.h"

#include <algorithm>
#include <cmath>

#include "link/le_bytes.h"

namespace q7k {
namespace emu {
namespace {

constexpr size_t kInitBytes = 32;
constexpr int16_t kLineSync = 1;
constexpr int16_t kVoltCorrectResetRamp = 2;
constexpr double kSqrt2 = 1.4142135623730951;

// Full scale of the current ranges 1 (10 A) to 10 (300 uA).
constexpr double kRangeFullScale[] = {10.0, 3.0,  1.0,   0.3,   0.1,
                                      0.03, 0.01, 0.003, 0.001, 0.0003};

// The smallest range that holds amperes, as its range number.
int16_t AutoRange(double amperes) {
  for (int i = 9; i >= 0; --i) {
    if (amperes <= kRangeFullScale[i]) return static_cast<int16_t>(i + 1);
  }
  return 1;
}

bool Between(int v, int lo, int hi) { return v >= lo && v <= hi; }

}  // namespace

TestEngine::TestEngine(const TestConfig& config)
    : config_(config), stopReason_(kStopReasonBytes, 0) {}

Reply TestEngine::InitParams(const uint8_t* p, size_t n) {
  ByteReader r(p, n);
  const int16_t lineType = r.I16();
  const int16_t source = r.I16();
  r.Text(8);  // beeper, strobe, safety switch, LV insert: any truth value
  const int16_t maxVolts = r.I16();
  const uint16_t maxTempTime = r.U16();
  if (!Between(lineType, 0, 1)) return Reply::BadParameter(1);
  if (!Between(source, 0, 1)) return Reply::BadParameter(2);
  if (maxVolts < 0) return Reply::BadParameter(7);
  initParams_.assign(p, p + std::min(n, kInitBytes));
  lineType_ = lineType;
  xfmrMaxTempTime_ = maxTempTime;
  return Reply::Ack();
}

Reply TestEngine::RuntimeParams(const uint8_t* p, size_t n) {
  ByteReader r(p, n);
  emu::RuntimeParams rt;
  rt.modeLatch1 = r.I16();
  rt.modeLatch2 = r.I16();
  rt.referenceType = r.I16();
  rt.acDc = r.I16();
  rt.voltCorrect = r.I16();
  rt.testPhase = r.I16();
  rt.testVoltage = r.I16();
  rt.voltageScale = r.U16();
  rt.currentRange = r.I16();
  rt.frequency = r.F32();
  static constexpr int16_t kLatches[] = {0, 7, 11, 21, 25, 38, 42, 52};
  if (std::find(std::begin(kLatches), std::end(kLatches), rt.modeLatch2) ==
      std::end(kLatches)) {
    return Reply::BadParameter(2);
  }
  if (!Between(rt.referenceType, 0, 4)) return Reply::BadParameter(3);
  if (!Between(rt.acDc, 0, 1)) return Reply::BadParameter(4);
  if (!Between(rt.voltCorrect, 0, 3)) return Reply::BadParameter(5);
  if (!Between(rt.testPhase, -1, 4)) return Reply::BadParameter(6);
  if (rt.testVoltage < 0) return Reply::BadParameter(7);
  if (!Between(rt.currentRange, 0, 10)) return Reply::BadParameter(9);
  if (!std::isfinite(rt.frequency) || rt.frequency < 0 || rt.frequency > 1000) {
    return Reply::BadParameter(10);
  }
  // A reset of the voltage control flips the toggle the host waits for; the
  // new settings range afresh either way.
  if (rt.voltCorrect >= kVoltCorrectResetRamp) toggle_ ^= 1;
  runtime_ = rt;
  polls_ = 0;
  return Reply::Ack();
}

Reply TestEngine::Start() {
  running_ = true;
  polls_ = 0;
  validPolls_ = 0;
  pollCounter_ = 0;
  safetyWord_ = 0;
  std::fill(stopReason_.begin(), stopReason_.end(), 0);
  return Reply::Ack();
}

Reply TestEngine::Stop() {
  running_ = false;
  return Reply::Ack();
}

void TestEngine::PowerOn() {
  running_ = false;
  polls_ = 0;
  safetyWord_ = 0;
  std::fill(stopReason_.begin(), stopReason_.end(), 0);
}

void TestEngine::Trip(uint16_t safetyWord,
                      const std::vector<uint8_t>& stopReason) {
  running_ = false;
  safetyWord_ = safetyWord;
  stopReason_.assign(kStopReasonBytes, 0);
  std::copy_n(stopReason.begin(), std::min(stopReason.size(), kStopReasonBytes),
              stopReason_.begin());
}

void TestEngine::set_phases(int rangingPolls, int settlingPolls) {
  config_.rangingPolls = std::max(0, rangingPolls);
  config_.settlingPolls = std::max(0, settlingPolls);
}

Reply TestEngine::NotRunning() const {
  std::vector<uint8_t> details;
  ByteWriter w(&details);
  w.U16(safetyWord_);
  w.Bytes(stopReason_.data(), stopReason_.size());
  return Reply::Nak(kInstrumentTestNotRunning, details);
}

uint16_t TestEngine::PhaseStatus() const {
  if (polls_ < config_.rangingPolls) return 1;
  if (polls_ < config_.rangingPolls + config_.settlingPolls) return 2;
  return 0;
}

double TestEngine::TestHertz() const {
  if (lineType_ == kLineSync || runtime_.frequency <= 0) {
    return config_.lineFrequency;
  }
  return runtime_.frequency;
}

Reply TestEngine::Results(const uint8_t* p, size_t n, bool extended) {
  if (!running_) return NotRunning();
  ByteReader r(p, n);
  const int16_t filter = r.I16();
  const uint16_t samples = r.U16();
  const uint16_t status = PhaseStatus();
  ++polls_;
  ++pollCounter_;
  if (status != 1) ++validPolls_;

  const SpecimenReadings m =
      Measure(config_.specimen, runtime_.testVoltage, TestHertz());
  const bool valid = status != 1;
  const double peak = m.amperes * kSqrt2;
  const int16_t range =
      runtime_.currentRange != 0 ? runtime_.currentRange : AutoRange(m.amperes);
  uint32_t averaged = static_cast<uint32_t>(validPolls_) * 5;
  if (samples > 0) averaged = std::min<uint32_t>(averaged, samples);

  std::vector<uint8_t> data;
  ByteWriter w(&data);
  w.U16(status);
  w.I16(runtime_.testPhase);
  w.U16(runtime_.voltageScale);
  w.I16(range);
  w.I16(filter);
  w.F32(static_cast<float>(m.kilovolts));
  const double results[16] = {
      m.kilovolts,    m.amperes,        m.watts,     m.powerFactor,
      m.tangentDelta, m.sineThetaX100,  m.watts,     m.vars,
      m.kilovolts,    m.amperes * 1000, m.seriesCap, m.parallelCap,
      m.seriesInd,    m.parallelInd,    m.seriesRes, m.parallelRes};
  for (double v : results) w.F32(valid ? static_cast<float>(v) : 0.0f);
  w.F32(static_cast<float>(TestHertz()));
  w.F32(valid ? static_cast<float>(peak) : 0.0f);
  w.F32(static_cast<float>(m.kilovolts * kSqrt2));
  w.U16(static_cast<uint16_t>(std::min<uint32_t>(averaged, 0xFFFF)));
  AppendThermal(&data, m.amperes);
  if (extended) {
    w.U16(toggle_);
    w.U16(status == 0 ? 1 : 0);
    w.F32(valid ? static_cast<float>(-peak) : 0.0f);
    w.F32(valid ? static_cast<float>(peak) : 0.0f);
  }
  return Reply::Ack(data);
}

void TestEngine::AppendThermal(std::vector<uint8_t>* out,
                               double amperes) const {
  ByteWriter w(out);
  w.F32(22.5f);                     // external temperature
  w.F32(41.0f);                     // external humidity
  w.F32(running_ ? 31.5f : 27.0f);  // estimated transformer temperature
  w.F32(33.5f);                     // card cage
  w.F32(static_cast<float>(amperes * 40.0));         // transformer current
  w.F32(static_cast<float>(0.25 + amperes * 50.0));  // amplifier input
  w.F32(38.2f);                                      // amplifier
  w.F32(35.0f);                                      // main reference
  w.F32(35.1f);                                      // cal reference
  w.F32(overTemp_);
  w.F32(coolDown_);
  w.U16(0);  // heating status
  w.U16(xfmrMaxTempTime_);
  w.U16(0);  // cool-down time
  w.U16(1);  // external sensor inserted
  w.U16(pollCounter_);
}

Reply TestEngine::Thermal() const {
  std::vector<uint8_t> data;
  const double amperes =
      running_
          ? Measure(config_.specimen, runtime_.testVoltage, TestHertz()).amperes
          : 0.0;
  AppendThermal(&data, amperes);
  return Reply::Ack(data);
}

Reply TestEngine::BoundaryTemps(const uint8_t* p, size_t n) {
  ByteReader r(p, n);
  const float over = r.F32();
  const float cool = r.F32();
  if (!std::isfinite(over)) return Reply::BadParameter(1);
  if (!std::isfinite(cool) || cool >= over) return Reply::BadParameter(2);
  overTemp_ = over;
  coolDown_ = cool;
  return Reply::Ack();
}

Reply TestEngine::RawResults(const uint8_t* p, size_t n) const {
  if (!running_) return NotRunning();
  ByteReader r(p, n);
  const int16_t filter = r.I16();
  const SpecimenReadings m =
      Measure(config_.specimen, runtime_.testVoltage, TestHertz());
  const bool ranging = PhaseStatus() == 1;
  const double cosTheta = m.powerFactor / 100.0;
  const double sinTheta = m.sineThetaX100 / 100.0;
  std::vector<uint8_t> data;
  ByteWriter w(&data);
  w.I16(ranging ? 1 : 0);
  w.I16(16);  // groups
  w.I16(8);   // specimen groups
  w.I16(8);   // voltage groups
  w.I16(filter);
  w.F32(static_cast<float>(m.amperes * kSqrt2));
  w.F32(static_cast<float>(m.kilovolts * kSqrt2));
  w.F32(static_cast<float>(m.amperes * cosTheta));
  w.F32(static_cast<float>(m.amperes * sinTheta));
  w.F32(static_cast<float>(m.kilovolts));
  w.F32(0.0f);
  return Reply::Ack(data);
}

}  // namespace emu
}  // namespace q7k
