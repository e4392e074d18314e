#include "replayer.h"

namespace q7k {
namespace emu {

Replayer::Replayer(std::shared_ptr<const ReplayScript> script, bool strict)
    : script_(std::move(script)), strict_(strict) {}

Replayer::Step Replayer::Next(const uint8_t* frame, size_t n) {
  Step step;
  const size_t total = script_->exchanges.size();
  if (stopped_) {
    step.verdict = Verdict::kStop;
    return step;
  }
  if (next_ >= total) {
    if (!doneSaid_) {
      step.message = "the recording's " + std::to_string(total) +
                     " request frames are replayed; the model answers "
                     "from here";
      doneSaid_ = true;
    }
    ++next_;
    return step;
  }
  const RecordedExchange& recorded = script_->exchanges[next_++];
  if (SameRequest(recorded.request, frame, n)) {
    step.verdict = Verdict::kRecorded;
    step.recorded = &recorded;
    return step;
  }
  const std::string both =
      "  recorded: " +
      DescribeRequest(recorded.request.data(), recorded.request.size()) +
      "\n  received: " + DescribeRequest(frame, n);
  if (strict_) {
    stopped_ = true;
    step.verdict = Verdict::kStop;
    step.message = "replay diverged at request frame " + std::to_string(next_) +
                   " of " + std::to_string(total) + "\n" + both;
  } else {
    step.message = "request frame " + std::to_string(next_) +
                   " differs from the recording; the model answers it\n" + both;
  }
  return step;
}

}  // namespace emu
}  // namespace q7k
