#include "emulator.h"

namespace q7k {

Emulator::Emulator(const EmulatorOptions& options)
    : options_(options), model_(options.model) {
  for (const emu::FaultRule& rule : options.faults) faults_.Add(rule);
  for (const BoardWriteFault& f : options.boardFaults) {
    model_.boards().SetWriteFault(f.slot, f.subslot, f.xorMask);
  }
}

Emulator::~Emulator() { Stop(); }

std::string Emulator::Start() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    error_.clear();
    if (!options_.boardDir.empty() && !persistenceOn_) {
      std::string error;
      if (!model_.boards().EnablePersistence(options_.boardDir, &error)) {
        error_ = error;
        return std::string();
      }
      persistenceOn_ = true;
    }
  }
  auto server = std::make_unique<emu::LineServer>(
      options_.line, [this](const uint8_t* frame, size_t size) {
        return Handle(frame, size);
      });
  if (reopened_) server->set_opened_callback(reopened_);
  std::string error;
  if (!server->Start(&error)) {
    std::lock_guard<std::mutex> lock(mutex_);
    error_ = error;
    return std::string();
  }
  server_ = std::move(server);
  return server_->path();
}

void Emulator::Stop() {
  if (server_) server_->Stop();
  server_.reset();
}

bool Emulator::running() const { return server_ && server_->running(); }

std::string Emulator::path() const {
  return server_ ? server_->path() : std::string();
}

std::string Emulator::error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

void Emulator::set_reopened_callback(
    std::function<void(const std::string&)> cb) {
  reopened_ = std::move(cb);
}

void Emulator::AddFault(const emu::FaultRule& rule) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.Add(rule);
}

bool Emulator::AddFault(const std::string& text) {
  emu::FaultRule rule;
  std::string error;
  if (!emu::ParseFaultRule(text, &rule, &error)) {
    std::lock_guard<std::mutex> lock(mutex_);
    error_ = error;
    return false;
  }
  AddFault(rule);
  return true;
}

void Emulator::ClearFaults() {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.Clear();
}

void Emulator::SetBoardWriteFault(int16_t slot, int16_t subslot,
                                  uint16_t xorMask) {
  std::lock_guard<std::mutex> lock(mutex_);
  model_.boards().SetWriteFault(slot, subslot, xorMask);
}

std::vector<ReceivedRequest> Emulator::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void Emulator::ClearRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.clear();
}

bool Emulator::WaitForRequests(size_t count,
                               std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return received_.wait_for(lock, timeout,
                            [&] { return requests_.size() >= count; });
}

size_t Emulator::dropped_frames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

emu::Exchange Emulator::Handle(const uint8_t* frame, size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  emu::Exchange ex = emu::Respond(frame, size, &model_, &faults_);
  if (!ex.answered) {
    ++dropped_;
    return ex;
  }
  requests_.push_back({ex.command, ex.payload, ex.reply.payload});
  received_.notify_all();
  return ex;
}

}  // namespace q7k
