#include "emulator.h"

namespace q7k {

Emulator::Emulator(const EmulatorOptions& options)
    : options_(options), model_(options.model) {
  for (const emu::FaultRule& rule : options.faults) faults_.Add(rule);
  for (const BoardWriteFault& f : options.boardFaults) {
    model_.boards().SetWriteFault(f.slot, f.subslot, f.xorMask);
  }
  if (options.replay) {
    replayer_ =
        std::make_unique<emu::Replayer>(options.replay, options.replayStrict);
  }
}

Emulator::~Emulator() { Stop(); }

std::string Emulator::Start() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    error_.clear();
    if (replayer_ && replayer_->position() == 0) NoteReplayLimits();
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
  server->set_lost_callback([this](const std::string& why) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      error_ = why;
    }
    if (lost_) lost_(why);
  });
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

void Emulator::set_lost_callback(std::function<void(const std::string&)> cb) {
  lost_ = std::move(cb);
}

void Emulator::set_warning_callback(
    std::function<void(const std::string&)> cb) {
  warning_ = std::move(cb);
}

void Emulator::set_replay_callback(
    std::function<void(const std::string&, bool)> cb) {
  replayNotice_ = std::move(cb);
}

void Emulator::NoteReplayLimits() {
  if (!replayNotice_) return;
  for (const std::string& note : options_.replay->notes) {
    replayNotice_(note, false);
  }
  const uint32_t can = emu::ReproducibleLineErrors(options_.line);
  const auto& exchanges = options_.replay->exchanges;
  for (size_t i = 0; i < exchanges.size(); ++i) {
    for (const emu::ReplayChunk& c : exchanges[i].reply) {
      const uint32_t lost = c.lineErrors & ~can;
      if (lost == 0) continue;
      replayNotice_("request frame " + std::to_string(i + 1) +
                        ": the recorded " + emu::LineErrorName(lost) +
                        " cannot be reproduced on " +
                        emu::LineKind(options_.line) + "; left out",
                    false);
    }
  }
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
  using Verdict = emu::Replayer::Verdict;
  std::lock_guard<std::mutex> lock(mutex_);
  emu::Replayer::Step step;
  if (replayer_) {
    step = replayer_->Next(frame, size);
    if (!step.message.empty() && replayNotice_) {
      replayNotice_(step.message, step.verdict == Verdict::kStop);
    }
    if (step.verdict == Verdict::kStop) return emu::Exchange();
  }
  const bool recorded = step.verdict == Verdict::kRecorded;
  // A replayed request still reaches the model, so that it is in the
  // recorded instrument's state when the recording ends.
  emu::FaultPlan noFaults;
  emu::Exchange ex =
      emu::Respond(frame, size, &model_, recorded ? &noFaults : &faults_);
  const std::string& unsaved = model_.boards().save_error();
  if (unsaved != unsavedNoted_) {
    unsavedNoted_ = unsaved;
    if (!unsaved.empty() && warning_) warning_("board not kept: " + unsaved);
  }
  if (ex.answered) {
    requests_.push_back({ex.command, ex.payload, ex.reply.payload});
    received_.notify_all();
  } else if (!recorded) {
    ++dropped_;
    return ex;
  }
  if (recorded) {
    ex.answered = true;
    ex.tx = emu::Transmission();
    ex.tx.recorded = step.recorded->reply;
    ex.tx.silent = ex.tx.recorded.empty();
    ex.tx.close = step.recorded->lineLost;
    ex.tx.faults = {"replayed"};
    if (ex.tx.close) ex.tx.faults.push_back("close");
  }
  return ex;
}

}  // namespace q7k
