// Arbitrary bytes as the simulator data file: parsing, the lookups the
// simulator makes (test-key walk, calibration keys) and the splitting and
// number reading of every value found. Nothing may crash, and no value may
// exceed the reader's 63 characters.
//
// Input: the whole file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "q7kcomm/types.h"
#include "simulator/profile_reader.h"
#include "simulator/simulator_file.h"

namespace q7k {
namespace {

volatile double g_sink = 0;  // keeps the number reads

void Use(const std::string& value) {
  if (value.size() > ProfileFile::kMaxValueChars) std::abort();
  for (std::string_view field : SplitSimulatorValue(value)) {
    g_sink = g_sink + SimulatorNumber(field);
  }
}

}  // namespace
}  // namespace q7k

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace q7k;
  const ProfileFile file = ProfileFile::Parse(
      std::string_view(reinterpret_cast<const char*>(data), size));
  for (SIMUL_MODE mode : {SIMUL_CLIP, SIMUL_XREF, SIMUL_LEAK, SIMUL_BHT}) {
    const std::string section = SimulatorSection(mode);
    int32_t testNumber = 1;
    for (int start = 0; start < 3; ++start) {
      Use(ReadSimulatorTestValue(file, section, &testNumber));
      if (testNumber < 2) std::abort();
    }
  }
  for (int32_t n = 0; n <= 10; ++n) {
    Use(file.GetString(CalibrationErrorSection(), CalibrationErrorKey(n)));
  }
  return 0;
}
