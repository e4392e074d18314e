#include "embedded_emulator.h"

#include "emulator.h"

namespace q7k {
namespace {

EmulatorOptions Options(bool flashEmpty) {
  EmulatorOptions options;
  options.model.flash.startInBootLoader = flashEmpty;
  options.model.flash.firmwareInFlash = !flashEmpty;
  return options;
}

}  // namespace

EmbeddedEmulator::EmbeddedEmulator(bool flashEmpty)
    : emulator_(std::make_unique<Emulator>(Options(flashEmpty))) {}

EmbeddedEmulator::~EmbeddedEmulator() = default;

std::string EmbeddedEmulator::Start() { return emulator_->Start(); }

std::string EmbeddedEmulator::error() const { return emulator_->error(); }

}  // namespace q7k
