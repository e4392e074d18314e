// SimulatedInstrument: the built-in instrument as the command methods meet
// it. It holds the simulation switches (SimulMode, SimulFast, SimulBoxType),
// what the simulator remembers between calls, and one answer for each
// command method that has a simulated path; the component asks it once per
// method while SimulMode is not 0. Commands without an answer here go to
// the port, where a port created in simulation answers through
// SimulatedTransactor.
//
// Answers that take the instrument's time wait through the wait given at
// construction (the component's own timer, which skips it in fast
// simulation and without a port). Results are the method's COM result.
//
// Thread safety: none; the client's thread (the noise draws from rand()).
#ifndef Q7K_SIMULATOR_SIMULATED_INSTRUMENT_H_
#define Q7K_SIMULATOR_SIMULATED_INSTRUMENT_H_

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "eeprom/board_identity.h"
#include "eeprom/calibration_cache.h"
#include "eeprom/calibration_status.h"
#include "firmware/app_info.h"
#include "link/error_reporter.h"
#include "q7kcomm/com.h"
#include "q7kcomm/types.h"
#include "simulator/simulated_results.h"
#include "simulator/simulator_state.h"

namespace q7k {

class SimulatedInstrument {
 public:
  using Wait = std::function<void(int32_t milliseconds)>;

  explicit SimulatedInstrument(Wait wait) : wait_(std::move(wait)) {}

  SimulatorSettings& settings() { return settings_; }
  const SimulatorSettings& settings() const { return settings_; }
  // SimulMode is set: every mode but SIMUL_NONE simulates.
  bool on() const { return settings_.mode != SIMUL_NONE; }

  // Tests. The running application is the firmware file on disk under the
  // instrument's own description; a file error is recorded in errors and
  // the answer still succeeds.
  bool QueryRunningApp(AppInfo* out, ErrorReporter& errors);
  void StartTest(const Q7K_TEST_PARAMS& params, CalibrationCache& cal);
  // Kept in any mode: a runtime update restarts the ranging polls.
  void UpdateRuntime(float frequency);
  HRESULT TestResults(ResultsVariant variant, Q7K_TEST_PARAMS& params,
                      Q7K_TEST_DATA& data, Q7K_THERMAL_DATA& thermal);
  HRESULT CalcWattsAdjustment(Q7K_TEST_PARAMS& params);

  // Service and calibration.
  HRESULT ReadThermalData(Q7K_THERMAL_DATA& thermal);
  HRESULT ReadCalInfo(CalibrationCache& cal);
  // Also the answer of ReadCalCoeffs.
  HRESULT ReadRefCalCoeffs(CalibrationCache& cal);
  HRESULT ReadCalDataRevision(short* pVal);
  HRESULT RegWrite(int32_t value);
  HRESULT RegRead(int32_t address, int32_t* pVal);

  // Flash: every application is held, as one entry.
  bool FindFlashApp(int16_t* entry);
  HRESULT ReadFlashDirectory();

  // Board EEPROMs: the single reads' fixed answers (*pVal already 0), and
  // the block transfers, which only take their time.
  HRESULT ReadHeader(short* pVal);
  HRESULT ReadInt(short slot, short subslot, short location, short* pVal);
  HRESULT ReadLong(short slot, short subslot, short location, int32_t* pVal);
  HRESULT Read32();
  HRESULT Write32();
  HRESULT ReadFloat16();
  HRESULT WriteFloat16();

  // Board identity.
  HRESULT ReadQ7ISerialNumber(int32_t* pVal);
  std::string ReadXfmrSerialNumber();
  // False for a board whose serial number the port has to answer.
  bool ReadAssySerialNumber(short subslot, int32_t* pVal);
  HRESULT ReadCalDateInt(short* lpnDate);
  std::string ReadCalDate();
  void ReadBoardKey(char (&key)[kBoardKeyChars + 1]);
  HRESULT CheckCalStatus(int type, CalibrationStatus& status);

 private:
  // Takes the instrument's time for an answer that is only that.
  HRESULT Spend(int32_t milliseconds);

  Wait wait_;
  SimulatorSettings settings_;
  SimulatorState state_;
  int32_t register_ = 0;  // what RegWrite left
};

}  // namespace q7k

#endif  // Q7K_SIMULATOR_SIMULATED_INSTRUMENT_H_
