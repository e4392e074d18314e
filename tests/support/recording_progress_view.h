// RecordingProgressViews: installs a progress view factory whose views
// record every Open, Update and close into one shared log, for the tests of
// the progress window; restores the default view when it goes away.
//
// Thread safety: none; the factory hook is process-wide, so one recorder at
// a time, on the test's thread.
#ifndef Q7K_TESTS_SUPPORT_RECORDING_PROGRESS_VIEW_H_
#define Q7K_TESTS_SUPPORT_RECORDING_PROGRESS_VIEW_H_

#include <cstdint>
#include <memory>
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
  RecordingProgressViews();
  ~RecordingProgressViews();
  RecordingProgressViews(const RecordingProgressViews&) = delete;
  RecordingProgressViews& operator=(const RecordingProgressViews&) = delete;

  // Makes the next views' Open fail (the window cannot be created).
  void FailOpen(bool fail);

  const std::vector<ProgressViewEvent>& events() const;
  // Views made and not yet destroyed.
  int open_views() const;
  // The state of the last Open or Update; requires one.
  const ProgressState& Last() const;

  struct Log;

 private:
  std::shared_ptr<Log> log_;
};

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_RECORDING_PROGRESS_VIEW_H_
