// The application check at port setup: makes sure the instrument runs the
// build of an application that its image file on disk holds, restarting
// the boot loader, finding the build in flash or downloading and
// programming it, and starting it.
//
//   running application   reboot requested  loader restarted  outcome
//   cannot be read        any               no                failure
//   same name and stamp   no                no                nothing to do
//   same name and stamp   yes (consumed)    yes               run from flash*
//   "POSTLOAD"            any               no                run from flash*
//   another name          any               yes               run from flash*
//   same name, new stamp  any               yes               download
//   * download when the flash does not hold it
//
// The stamp is Date, Time and Version; names and stamps are compared over
// their first 8 characters.
//
// Thread safety: none; the client's thread.
#ifndef Q7K_FIRMWARE_SETUP_CHECK_H_
#define Q7K_FIRMWARE_SETUP_CHECK_H_

#include <cstdint>
#include <string>

#include "firmware/app_info.h"
#include "firmware/app_params.h"
#include "firmware/progress_target.h"
#include "link/command_channel.h"

namespace q7k {

// The component as the check drives it: each call is one of the
// component's own operations, with its guards and simulated paths.
class SetupHost {
 public:
  // Port creation with the port and speed of the call; false is recorded.
  virtual bool OpenPort() = 0;
  virtual void ClosePort() = 0;
  // Restarts the boot loader and reopens the port; false is recorded.
  virtual bool RestartBootLoader() = 0;
  virtual bool QueryRunningApp(AppInfo* out) = 0;
  // The instrument's flash entry holding app (0: none); false is recorded.
  virtual bool FindFlashApp(const AppInfo& app, int16_t* entry) = 0;
  // Reads and clears the one-shot reboot request.
  virtual bool TakeRebootRequest() = 0;
  // Waits on the open port (the component's timer).
  virtual void Wait(int32_t milliseconds) = 0;
  // For the port open right now.
  virtual CommandChannel channel() = 0;
  virtual ProgressTarget progress() = 0;
  virtual AppParams* appParams() = 0;

 protected:
  ~SetupHost() = default;
};

// The pauses the instrument needs: after the boot loader restart before the
// port is reopened, and after an execute before the port is closed. They
// are real waits on the clock seam; tests pass them on a fake clock.
inline constexpr int32_t kAfterLoaderRestartMs = 7000;
inline constexpr int32_t kAfterExecuteMs = 500;

// Runs the check for application name ("Q7I" for the firmware, with its
// rules and wording) with the programming time-out timeoutSec. Opens the
// port and leaves it closed. False with the failure recorded in the host's
// error record.
bool EnsureApplication(SetupHost& host, const std::string& name,
                       int16_t timeoutSec);

}  // namespace q7k

#endif  // Q7K_FIRMWARE_SETUP_CHECK_H_
