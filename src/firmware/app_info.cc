#include "firmware/app_info.h"

namespace q7k {
namespace {

void UnpackField(const uint8_t* wire, size_t width, char* slot) {
  for (size_t i = 0; i < width && wire[i] != 0; ++i) {
    slot[i] = static_cast<char>(wire[i]);
  }
}

void PackField(const char* slot, size_t slotWidth, uint8_t* wire) {
  std::memset(wire, 0, kAppFieldWire);
  const size_t n = slotWidth < kAppFieldWire ? slotWidth : kAppFieldWire;
  for (size_t i = 0; i < n && slot[i] != 0; ++i) {
    wire[i] = static_cast<uint8_t>(slot[i]);
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

void PackAppIdentity(const AppInfo& app, uint8_t* wire) {
  PackField(app.Name, sizeof app.Name, wire);
  PackField(app.Date, sizeof app.Date, wire + 8);
  PackField(app.Time, sizeof app.Time, wire + 16);
  PackField(app.Version, sizeof app.Version, wire + 24);
}

std::string SlotText(const char* slot, size_t width) {
  size_t n = 0;
  while (n < width && slot[n] != 0) ++n;
  return std::string(slot, n);
}

}  // namespace q7k
