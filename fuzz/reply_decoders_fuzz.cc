// Arbitrary reply data through the reply decoder of every command method
// and through the error record's reading of a negative reply's details.
// Nothing may crash or read past the data; a decoder refuses exactly the
// data shorter than its layout and then writes nothing; decoded texts stay
// terminated; a negative reply gives a code of the documented space.
//
// Input: a selector byte, a byte of result-poll flags, then the data.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "component/error_state.h"
#include "component/service_records.h"
#include "component/insulation_test_records.h"
#include "firmware/app_info.h"

namespace q7k {
namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// Records start filled with a pattern, so a refusal that writes is seen.
template <typename T>
struct Canary {
  Canary() { std::memset(&value, 0xA5, sizeof value); }
  bool untouched() const {
    T fresh;
    std::memset(&fresh, 0xA5, sizeof fresh);
    return std::memcmp(&fresh, &value, sizeof value) == 0;
  }
  T value;
};

bool IsFlag(int16_t v) { return v == 0 || v == 1; }

void Results(const uint8_t* p, size_t n, uint8_t flags) {
  Canary<Q7K_TEST_PARAMS> params;
  params.value.ExtendedResults = flags & 1;
  params.value.WaitingForVcStable = (flags >> 1) & 1;
  params.value.WaitingForVcToggle = (flags >> 2) & 1;
  params.value.SavedStateVcToggle = (flags >> 3) & 1;
  const Q7K_TEST_PARAMS before = params.value;
  Canary<Q7K_TEST_DATA> data;
  Canary<Q7K_THERMAL_DATA> thermal;
  const bool ok =
      DecodeTestResults(p, n, &params.value, &data.value, &thermal.value);
  const size_t layout =
      n > kResultReplyBytes ? kExtendedResultReplyBytes : kResultReplyBytes;
  Check(ok == (n >= layout));
  if (!ok) {
    Check(std::memcmp(&before, &params.value, sizeof before) == 0);
    Check(data.untouched() && thermal.untouched());
    return;
  }
  const Q7K_TEST_PARAMS& a = params.value;
  Check(IsFlag(a.Ranging) && IsFlag(a.VoltageSettling));
  Check(IsFlag(a.WaitingForVcStable) && IsFlag(a.WaitingForVcToggle));
}

void Thermal(const uint8_t* p, size_t n) {
  if (n < kThermalBlockBytes) return;  // the channel refuses it
  Canary<Q7K_THERMAL_DATA> thermal;
  DecodeThermalBlock(p, &thermal.value);
}

void CalInfo(const uint8_t* p, size_t n) {
  Canary<CalibrationCache> cal;
  const bool ok = DecodeCalInfo(p, n, &cal.value);
  Check(ok == (n >= kCalInfoBytes));
  if (!ok) return Check(cal.untouched());
  for (int block = 0; block < kCalBlocks; ++block) {
    Check(cal.value.CalDate[block][kCalDateSlot - 1] == 0);
    Check(cal.value.CalDate[block][kCalDateSlot - 2] == 0);
  }
}

void RefCoeffs(const uint8_t* p, size_t n) {
  Canary<CalibrationCache> cal;
  const bool ok = DecodeRefCalCoeffs(p, n, &cal.value);
  Check(ok == (n >= kRefCoeffBytes));
  if (!ok) Check(cal.untouched());
}

void RawResults(const uint8_t* p, size_t n) {
  Canary<Q7K_RAW_DATA> raw;
  const bool ok = DecodeRawResults(p, n, &raw.value);
  Check(ok == (n >= kRawResultBytes));
  if (!ok) return Check(raw.untouched());
  Check(raw.value.FilterType == static_cast<int16_t>(0xA5A5));
}

void RunningApp(const uint8_t* p, size_t n) {
  if (n < kAppInfoWire) return;  // the channel refuses it
  Canary<AppInfo> app;
  UnpackAppInfo(p, true, &app.value);
  const AppInfo& a = app.value;
  Check(a.Name[8] == 0 && a.Date[8] == 0 && a.Time[8] == 0);
  Check(a.Version[8] == 0 && a.Description[32] == 0);
}

// A negative reply: error number, then its detail bytes.
void NegativeReply(const uint8_t* p, size_t n) {
  if (n < 2) return;
  const auto number = static_cast<int16_t>(p[0] | (p[1] << 8));
  for (int32_t language = 0; language < 4; ++language) {
    ErrorState errors;
    errors.set_language(language);
    errors.RecordInstrumentError(number, p + 2, n - 2);
    Check(errors.code() >= -1 && errors.code() <= 65);
    Check(!errors.message().empty());
  }
}

}  // namespace
}  // namespace q7k

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace q7k;
  if (size < 2) return 0;
  // Exactly sized, so a read past the data is caught.
  const std::vector<uint8_t> reply(data + 2, data + size);
  const uint8_t* p = reply.empty() ? nullptr : reply.data();
  const size_t n = reply.size();
  switch (data[0] % 7) {
    case 0:
      Results(p, n, data[1]);
      break;
    case 1:
      Thermal(p, n);
      break;
    case 2:
      CalInfo(p, n);
      break;
    case 3:
      RefCoeffs(p, n);
      break;
    case 4:
      RawResults(p, n);
      break;
    case 5:
      RunningApp(p, n);
      break;
    default:
      NegativeReply(p, n);
      break;
  }
  return 0;
}
