// Replayer: walks a replay script as the host's requests come in. Each
// request is matched to the next recorded one; a match is answered with the
// recorded reply. A request that differs takes the recorded one's place and
// is answered by the model with a warning, or, strict, stops the replay.
// After the last recorded request the model answers, as without a replay.
//
// Thread safety: none; the emulator calls it under its lock.
#ifndef Q7K_EMULATOR_REPLAYER_H_
#define Q7K_EMULATOR_REPLAYER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "replay_script.h"

namespace q7k {
namespace emu {

class Replayer {
 public:
  enum class Verdict {
    kRecorded,  // send the recorded reply
    kModel,     // let the model answer
    kStop,      // strict and diverged: answer nothing, ever again
  };
  struct Step {
    Verdict verdict = Verdict::kModel;
    const RecordedExchange* recorded = nullptr;  // kRecorded
    std::string message;  // a warning or the divergence; empty when none
  };

  Replayer(std::shared_ptr<const ReplayScript> script, bool strict);

  Step Next(const uint8_t* frame, size_t n);
  // Requests taken so far, recorded or not.
  size_t position() const { return next_; }

 private:
  std::shared_ptr<const ReplayScript> script_;
  bool strict_;
  size_t next_ = 0;
  bool stopped_ = false;
  bool doneSaid_ = false;
};

}  // namespace emu
}  // namespace q7k

#endif  // Q7K_EMULATOR_REPLAYER_H_
