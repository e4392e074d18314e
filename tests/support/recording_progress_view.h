// RecordingProgressViews: installs a progress view factory whose views
// record every Open, Update and close into one shared log, for the tests of
// the progress window; restores the default view when it goes away.
//
// Thread safety: none; the factory hook is process-wide, so one recorder at
// a time, on the test's thread.
#ifndef Q7K_TESTS_SUPPORT_RECORDING_PROGRESS_VIEW_H_
#define Q7K_TESTS_SUPPORT_RECORDING_PROGRESS_VIEW_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "q7kcomm/host.h"

namespace q7k {

// One call a view received, numbered by the view it went to (1 = the first
// view the factory made).
struct ProgressViewEvent {
  enum Kind { kOpen, kUpdate, kClose };
  Kind kind;
  int view;
  int32_t ownerHandle;  // kOpen only
  ProgressState state;  // kOpen and kUpdate
};

class RecordingProgressViews {
 public:
  RecordingProgressViews() {
    SetProgressViewFactory([log = log_]() -> std::unique_ptr<ProgressView> {
      return std::make_unique<View>(log, ++log->made);
    });
  }
  ~RecordingProgressViews() { SetProgressViewFactory(nullptr); }
  RecordingProgressViews(const RecordingProgressViews&) = delete;
  RecordingProgressViews& operator=(const RecordingProgressViews&) = delete;

  // Makes the next views' Open fail (the window cannot be created).
  void FailOpen(bool fail) { log_->failOpen = fail; }

  const std::vector<ProgressViewEvent>& events() const { return log_->events; }
  // Views made and not yet destroyed.
  int open_views() const { return log_->alive; }
  // The state of the last Open or Update; requires one.
  const ProgressState& Last() const {
    for (auto it = log_->events.rbegin(); it != log_->events.rend(); ++it) {
      if (it->kind != ProgressViewEvent::kClose) return it->state;
    }
    ADD_FAILURE() << "no progress view was opened";
    static const ProgressState kNone;
    return kNone;
  }

 private:
  struct Log {
    std::vector<ProgressViewEvent> events;
    int made = 0, alive = 0;
    bool failOpen = false;
  };
  class View : public ProgressView {
   public:
    View(std::shared_ptr<Log> log, int number)
        : log_(std::move(log)), number_(number) {
      ++log_->alive;
    }
    ~View() override {
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
    std::shared_ptr<Log> log_;
    int number_;
  };

  std::shared_ptr<Log> log_ = std::make_shared<Log>();
};

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_RECORDING_PROGRESS_VIEW_H_
