// TestEngine: the instrument's test state: the parameters the host sent, the
// running test and its results, the thermal data and the stop reason a host
// gets when it asks a stopped test for results.
//
// Request payloads (little-endian):
//   3  initial parameters, 32 bytes: line type, voltage source, beeper,
//      strobe, safety switch, LV insert, max volts, transformer max temp
//      time (2 bytes each), transformer temp, ext ref capacitance, ext ref
//      resistance, ext ref power factor (R4 each)
//   4  runtime parameters, 22 bytes: mode latch 1, mode latch 2, reference
//      type, AC/DC, volt correct, test phase, test voltage (volts), voltage
//      scale, current range (2 bytes each), frequency (R4)
//   6, 22  filter type (2), samples to average (2)
//   20 over-temperature, cool-down temperature (R4 each)
//   0x7E16 filter type (2)
// Reply data of 6 and 22 (22 adds the last four fields), offsets:
//   0 status (1 ranging, 2 voltage settling, 0 results valid)
//   2 normal/reverse status  4 voltage scale  6 current range  8 filter type
//   10 kV measured  14 sixteen R4 results  78 frequency  82 specimen peak
//   86 reference peak  90 samples averaged  92 thermal block (54 bytes)
//   146 toggle state  148 stable flag  150 specimen peak min  154 max
// Thermal block (also the whole reply of 18): eleven R4 values (external
// temperature, humidity, estimated transformer temperature, card cage,
// transformer current, amplifier input current, amplifier, main reference
// and cal reference temperatures, over-temperature, cool-down), then
// heating status, overheat time, cool-down time, external sensor inserted,
// current counter (2 bytes each).
// NAK 14 details: safety status word (2 bytes), then 19 stop-reason bytes.
//
// Thread safety: none; the owner serialises access.
#ifndef Q7K_EMULATOR_INSULATION_TEST_ENGINE_H_
#define Q7K_EMULATOR_INSULATION_TEST_ENGINE_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "reply.h"
#include "specimen.h"

namespace q7k {
namespace emu {

struct TestConfig {
  Specimen specimen;
  int rangingPolls = 3;         // result polls reporting status 1 after a start
  int settlingPolls = 1;        // then polls reporting status 2
  float lineFrequency = 60.0f;  // measured in line-sync tests, hertz
};

// The runtime parameters of the last command 4.
struct RuntimeParams {
  int16_t modeLatch1 = 0;
  int16_t modeLatch2 = 0;
  int16_t referenceType = 0;
  int16_t acDc = 0;
  int16_t voltCorrect = 0;
  int16_t testPhase = 0;
  int16_t testVoltage = 0;
  uint16_t voltageScale = 0;
  int16_t currentRange = 0;
  float frequency = 0;
};

class TestEngine {
 public:
  static constexpr size_t kStopReasonBytes = 19;
  static constexpr size_t kResultBytes = 146;
  static constexpr size_t kExtendedResultBytes = 158;
  static constexpr size_t kThermalBytes = 54;

  explicit TestEngine(const TestConfig& config);

  Reply InitParams(const uint8_t* p, size_t n);              // 3
  Reply RuntimeParams(const uint8_t* p, size_t n);           // 4
  Reply Start();                                             // 5
  Reply Results(const uint8_t* p, size_t n, bool extended);  // 6, 22
  Reply Stop();                                              // 7
  Reply Thermal() const;                                     // 18
  Reply BoundaryTemps(const uint8_t* p, size_t n);           // 20
  Reply RawResults(const uint8_t* p, size_t n) const;        // 0x7E16

  // Power-on: the test stops and the stop reason clears.
  void PowerOn();
  // A safety trip: a running test stops, and result requests are answered
  // NAK 14 with this status word and these stop-reason bytes (cut or padded
  // to 19) until the next start.
  void Trip(uint16_t safetyWord, const std::vector<uint8_t>& stopReason);

  void set_specimen(const Specimen& specimen) { config_.specimen = specimen; }
  void set_phases(int rangingPolls, int settlingPolls);

  bool running() const { return running_; }
  bool have_init_params() const { return !initParams_.empty(); }
  const std::vector<uint8_t>& init_params() const { return initParams_; }
  const emu::RuntimeParams& runtime() const { return runtime_; }
  int polls() const { return polls_; }
  uint16_t toggle_state() const { return toggle_; }

 private:
  // Status word of the next result: 1, 2 or 0.
  uint16_t PhaseStatus() const;
  // The test's frequency: the line's in line-sync tests or when none was
  // given, else the runtime frequency.
  double TestHertz() const;
  void AppendThermal(std::vector<uint8_t>* out, double amperes) const;
  Reply NotRunning() const;

  TestConfig config_;
  std::vector<uint8_t> initParams_;
  int16_t lineType_ = 0;
  uint16_t xfmrMaxTempTime_ = 0;
  emu::RuntimeParams runtime_;
  bool running_ = false;
  int polls_ = 0;       // since the start or the last runtime update
  int validPolls_ = 0;  // results delivered since the start
  uint16_t pollCounter_ = 0;
  uint16_t toggle_ = 0;
  float overTemp_ = 85.0f;
  float coolDown_ = 60.0f;
  uint16_t safetyWord_ = 0;
  std::vector<uint8_t> stopReason_;
};

}  // namespace emu
}  // namespace q7k

#endif  // Q7K_EMULATOR_INSULATION_TEST_ENGINE_H_
