#include "support/recording_progress_view.h"

#include <gtest/gtest.h>

#include <utility>

namespace q7k {

struct RecordingProgressViews::Log {
  std::vector<ProgressViewEvent> events;
  int made = 0;
  int alive = 0;
  bool failOpen = false;
};

namespace {

class RecordingView : public ProgressView {
 public:
  RecordingView(std::shared_ptr<RecordingProgressViews::Log> log, int number)
      : log_(std::move(log)), number_(number) {
    ++log_->alive;
  }
  ~RecordingView() override {
    --log_->alive;
    log_->events.push_back({ProgressViewEvent::kClose, number_, 0, {}});
  }
  bool Open(int32_t ownerHandle, const ProgressState& state) override {
    log_->events.push_back(
        {ProgressViewEvent::kOpen, number_, ownerHandle, state});
    return !log_->failOpen;
  }
  void Update(const ProgressState& state) override {
    log_->events.push_back({ProgressViewEvent::kUpdate, number_, 0, state});
  }

 private:
  std::shared_ptr<RecordingProgressViews::Log> log_;
  int number_;
};

}  // namespace

RecordingProgressViews::RecordingProgressViews()
    : log_(std::make_shared<Log>()) {
  std::shared_ptr<Log> log = log_;
  SetProgressViewFactory([log]() -> std::unique_ptr<ProgressView> {
    return std::make_unique<RecordingView>(log, ++log->made);
  });
}

RecordingProgressViews::~RecordingProgressViews() {
  SetProgressViewFactory(nullptr);
}

void RecordingProgressViews::FailOpen(bool fail) { log_->failOpen = fail; }

const std::vector<ProgressViewEvent>& RecordingProgressViews::events() const {
  return log_->events;
}

int RecordingProgressViews::open_views() const { return log_->alive; }

const ProgressState& RecordingProgressViews::Last() const {
  for (auto it = log_->events.rbegin(); it != log_->events.rend(); ++it) {
    if (it->kind != ProgressViewEvent::kClose) return it->state;
  }
  ADD_FAILURE() << "no progress view was opened";
  static const ProgressState kNone;
  return kNone;
}

}  // namespace q7k
