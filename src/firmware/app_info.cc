#include "firmware/app_info.h"

namespace q7k {
namespace {

void UnpackField(const uint8_t* wire, size_t width, char* slot) {
  for (size_t i = 0; i < width && wire[i] != 0; ++i) {
    slot[i] = static_cast<char>(wire[i]);
  }
}

}  // namespace

void UnpackAppInfo(const uint8_t* wire, bool withDescription, AppInfo* app) {
  app->Clear();
  UnpackField(wire, kAppFieldWire, app->Name);
  UnpackField(wire + 8, kAppFieldWire, app->Date);
  UnpackField(wire + 16, kAppFieldWire, app->Time);
  UnpackField(wire + 24, kAppFieldWire, app->Version);
  if (withDescription) {
    UnpackField(wire + 32, kAppDescriptionWire, app->Description);
  }
}

std::string SlotText(const char* slot, size_t width) {
  size_t n = 0;
  while (n < width && slot[n] != 0) ++n;
  return std::string(slot, n);
}

}  // namespace q7k
