#include "simulator/simulator_file.h"

#include <cstdio>
#include <cstdlib>
#include <limits>

#include "resources/catalog.h"
#include "resources/string_ids.h"

namespace q7k {
namespace {

// Range labels sit just below this id, the lowest range at the top.
constexpr int32_t kRangeLabelAbove = 6090;

}  // namespace

std::string SimulatorSection(SIMUL_MODE mode) {
  switch (mode) {
    case SIMUL_CLIP:
      return CatalogText(ids::kSimulClipData, LANGUAGE_ENGLISH);
    case SIMUL_XREF:
      return CatalogText(ids::kSimulExtRef, LANGUAGE_ENGLISH);
    case SIMUL_LEAK:
      return CatalogText(ids::kSimulLeakReac, LANGUAGE_ENGLISH);
    case SIMUL_BHT:
      return CatalogText(ids::kSimulBhTest, LANGUAGE_ENGLISH);
    default:
      return {};
  }
}

std::string CalibrationErrorSection() {
  return CatalogText(ids::kSimulCalErrors, LANGUAGE_ENGLISH);
}

std::string SimulatorTestKey(int32_t testNumber) {
  char key[24];
  std::snprintf(key, sizeof key, "Test%2d", testNumber);
  return key;
}

std::string CalibrationErrorKey(int32_t calTestNum) {
  if (calTestNum < 1) return {};
  if (calTestNum <= 7) {
    return CatalogText(kRangeLabelAbove - calTestNum, LANGUAGE_ENGLISH);
  }
  return calTestNum == 8 ? "Guard" : "GSTLoss";
}

std::string ReadSimulatorTestValue(const ProfileFile& file,
                                   std::string_view section,
                                   int32_t* testNumber) {
  std::string value = file.GetString(section, SimulatorTestKey(*testNumber));
  // Wrapping beats overflowing on an absurdly long file.
  *testNumber =
      *testNumber < std::numeric_limits<int32_t>::max() ? *testNumber + 1 : 1;
  if (value.empty()) {
    *testNumber = 2;
    value = file.GetString(section, SimulatorTestKey(1));
  }
  return value;
}

std::vector<std::string_view> SplitSimulatorValue(std::string_view value) {
  std::vector<std::string_view> fields;
  for (;;) {
    size_t separator = value.find(kSimulatorValueSeparator);
    fields.push_back(value.substr(0, separator));
    if (separator == std::string_view::npos) return fields;
    value.remove_prefix(separator + 1);
  }
}

double SimulatorNumber(std::string_view field) {
  const std::string text(field);  // strtod needs the terminating zero
  return std::strtod(text.c_str(), nullptr);
}

}  // namespace q7k
