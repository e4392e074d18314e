#include "tool.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace q7k::tool {

std::vector<CommandEntry>& CommandRegistry() {
  static std::vector<CommandEntry> registry;
  return registry;
}

IQ7kComm* Tool::Component() {
  if (comm_) return comm_.Get();
  if (!options_.record.empty()) SetRecordingPath(options_.record);
  if (FAILED(
          CreateInstance("Veltrax.Q7kComm", IID_IQ7kComm, comm_.AsVoidOut()))) {
    FailWith("cannot create the component");
    return nullptr;
  }
  comm_->put_Language(options_.language);
  comm_->put_EnableTrace(options_.trace ? 1 : 0);
  comm_->put_SimulMode(options_.simulate);
  comm_->put_SimulFast(options_.fast ? 1 : 0);
  return comm_.Get();
}

IQ7kEeprom* Tool::Eeprom() {
  if (!eeprom_ && Component() != nullptr &&
      FAILED(comm_.As(IID_IQ7kEeprom, &eeprom_))) {
    FailWith("the component has no IQ7kEeprom interface");
  }
  return eeprom_.Get();
}

IQ7kCalStatus* Tool::CalStatus() {
  if (!calStatus_ && Component() != nullptr &&
      FAILED(comm_.As(IID_IQ7kCalStatus, &calStatus_))) {
    FailWith("the component has no IQ7kCalStatus interface");
  }
  return calStatus_.Get();
}

void Tool::MapDevice() const {
  if (!options_.device.empty()) {
    SetSerialPortPath(options_.port, options_.device);
  }
}

bool Tool::OpenPort() {
  IQ7kComm* comm = Component();
  if (comm == nullptr) return false;
  MapDevice();
  if (FAILED(
          comm->OpenPort(static_cast<Q7K_PORT>(options_.port), options_.bps))) {
    Fail("OpenPort");
    return false;
  }
  return true;
}

bool Tool::SetupPort(short timeoutSec) {
  IQ7kComm* comm = Component();
  if (comm == nullptr) return false;
  MapDevice();
  const auto setup = [&] {
    return comm->SetupComm(static_cast<Q7K_PORT>(options_.port), options_.bps,
                           timeoutSec);
  };
  HRESULT hr = setup();
  short code = 0;
  comm->get_ErrorCode(&code);
  if (FAILED(hr) && code == kWatchdogResetCode) {
    // The next setup runs the power-on sequence and leaves the port closed;
    // the check itself needs the error cleared first.
    std::fprintf(stderr,
                 "q7k: the instrument restarted on its watchdog; "
                 "running the power-on sequence\n");
    hr = setup();
    if (SUCCEEDED(hr)) {
      comm->ClearError();
      hr = setup();
    }
  }
  if (FAILED(hr)) {
    Fail("SetupComm");
    return false;
  }
  return true;
}

int Tool::Fail(const char* call) {
  short code = 0;
  Bstr message;
  if (comm_) {
    comm_->get_ErrorCode(&code);
    comm_->get_ErrorMsg(message.out());
  }
  return Fail(call, code, message.utf8());
}

int Tool::Fail(const std::string& call, short code,
               const std::string& message) {
  std::fprintf(stderr, "q7k: %s failed: error %d: %s\n", call.c_str(), code,
               message.c_str());
  if (options_.json) {
    PrintJson(
        {{"error", {{"call", call}, {"code", code}, {"message", message}}}});
  }
  return kExitFailed;
}

int Tool::FailWith(const std::string& message) {
  std::fprintf(stderr, "q7k: %s\n", message.c_str());
  if (options_.json) PrintJson({{"error", {{"message", message}}}});
  return kExitFailed;
}

void Tool::PrintJson(const nlohmann::json& result) const {
  // Texts from the component are UTF-8; anything else is replaced rather
  // than aborting the output.
  std::cout << result.dump(2, ' ', false,
                           nlohmann::json::error_handler_t::replace)
            << std::endl;
}

bool Tool::Interactive() const {
  return !options_.json && isatty(STDOUT_FILENO) != 0;
}

}  // namespace q7k::tool
