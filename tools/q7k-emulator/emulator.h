// Emulator: the virtual Q7300 as a whole, usable in-process: an instrument
// model served on a pseudo-terminal (a serial device, a TCP port) by a
// worker thread, with fault injection, state inspection and a log of the
// requests it received.
//
//   Emulator emu;                          // defaults: see EmulatorOptions
//   std::string path = emu.Start();        // e.g. "/dev/pts/7"
//   setenv("Q7K_COM3", path.c_str(), 1);   // a host opens COM3 there
//   ...
//   emu.WithModel([](emu::InstrumentModel& m) { return m.tests().running(); });
//   emu.Stop();
//
// Thread safety: Start, Stop, running and path belong to one controlling
// thread (path also to the reopened callback); every other method may be
// called from any thread. The model, the faults and the request log are
// guarded by one lock, which the worker holds while it works out a reply
// (not while it writes it or paces the line).
#ifndef Q7K_EMULATOR_EMULATOR_H_
#define Q7K_EMULATOR_EMULATOR_H_

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "faults.h"
#include "instrument_model.h"
#include "line_server.h"
#include "replayer.h"

namespace q7k {

// A board that stores a different value than written (see
// Emulator::SetBoardWriteFault).
struct BoardWriteFault {
  int16_t slot = 0;
  int16_t subslot = 0;
  uint16_t xorMask = 1;
};

struct EmulatorOptions {
  emu::LineOptions line;
  emu::ModelConfig model;
  // Non-empty: board EEPROMs are loaded from and saved to this directory.
  std::string boardDir;
  std::vector<emu::FaultRule> faults;
  std::vector<BoardWriteFault> boardFaults;
  // Non-null: answer as recorded (replayer.h); the faults above then spoil
  // only the model's answers.
  std::shared_ptr<const emu::ReplayScript> replay;
  bool replayStrict = false;
};

// One request the emulator received in a well-formed frame.
struct ReceivedRequest {
  uint16_t command = 0;
  std::vector<uint8_t> payload;
  std::vector<uint8_t> reply;  // the reply payload before faults
};

class Emulator {
 public:
  explicit Emulator(const EmulatorOptions& options = {});
  ~Emulator();
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;

  // Opens the line and starts serving. Returns the path a host opens (the
  // pseudo-terminal's host end or the device; with options.line.listen the
  // address listened on, e.g. "rfc2217://127.0.0.1:40321"), or empty on
  // failure with error() telling why. REQUIRES: not running.
  std::string Start();
  // Stops serving and closes the line; idempotent. The model keeps its
  // state, so a later Start continues the session.
  void Stop();
  bool running() const;
  // The current line path: changes when a close fault reopens the line.
  std::string path() const;
  std::string error() const;
  // Called on the worker thread with the new path after the line was
  // opened again. REQUIRES: before Start.
  void set_reopened_callback(std::function<void(const std::string&)> cb);
  // Called on the worker thread when the line was lost and could not be
  // opened again (a serial adapter unplugged): the emulator serves no more
  // and error() tells why. REQUIRES: before Start.
  void set_lost_callback(std::function<void(const std::string& why)> cb);
  // Called, under the lock, with what failed while the emulator goes on
  // serving: a board not saved to options.boardDir (once, until a save
  // works again). It must call no method of this Emulator. REQUIRES:
  // before Start.
  void set_warning_callback(std::function<void(const std::string&)> cb);
  // Called with a replay's notes at Start, its warnings as they happen,
  // and a strict replay's divergence (fatal set; nothing is answered any
  // more). Runs on the controlling or the worker thread, under the lock:
  // it must call no method of this Emulator. REQUIRES: before Start.
  void set_replay_callback(
      std::function<void(const std::string& message, bool fatal)> cb);

  // Fault injection.
  void AddFault(const emu::FaultRule& rule);
  // Parses the text form of faults.h; false with error() set when malformed.
  bool AddFault(const std::string& text);
  void ClearFaults();
  // The board at (slot, subslot) stores every word XOR xorMask; 0 heals it.
  void SetBoardWriteFault(int16_t slot, int16_t subslot, uint16_t xorMask);

  // Runs f on the model under the lock and returns its result: inspect or
  // change the instrument's state between exchanges. REQUIRES: f calls no
  // method of this Emulator (the lock is not recursive).
  template <typename F>
  auto WithModel(F&& f) {
    std::lock_guard<std::mutex> lock(mutex_);
    return f(model_);
  }

  // The requests received so far, oldest first.
  std::vector<ReceivedRequest> Requests() const;
  void ClearRequests();
  // Waits until at least count requests were received; false on timeout.
  bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) const;
  // Frames dropped for a bad checksum or a short frame.
  size_t dropped_frames() const;

 private:
  emu::Exchange Handle(const uint8_t* frame, size_t size);
  // What of the replay script this line cannot reproduce.
  void NoteReplayLimits();

  EmulatorOptions options_;
  mutable std::mutex mutex_;
  mutable std::condition_variable received_;
  emu::InstrumentModel model_;
  emu::FaultPlan faults_;
  std::vector<ReceivedRequest> requests_;
  size_t dropped_ = 0;
  bool persistenceOn_ = false;
  std::string error_;
  std::function<void(const std::string&)> reopened_;
  std::function<void(const std::string&)> lost_;
  std::function<void(const std::string&)> warning_;
  std::string unsavedNoted_;  // the board save failure last warned of
  std::function<void(const std::string&, bool)> replayNotice_;
  std::unique_ptr<emu::Replayer> replayer_;
  std::unique_ptr<emu::LineServer> server_;
};

}  // namespace q7k

#endif  // Q7K_EMULATOR_EMULATOR_H_
