// q7kcomm/host.h: what the window system and the registry give a component
// on its original platform, a Linux host gives through these hooks.
//
// Every hook has a working default. Hooks are process-wide; set them before
// creating component objects or between calls (they are read under a lock, so
// setting one from another thread is safe, but a call in progress may still
// use the previous hook).
#ifndef Q7KCOMM_HOST_H_
#define Q7KCOMM_HOST_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "q7kcomm/export.h"

namespace q7k {

// ---------------------------------------------------------------------------
// Serial device names. Port n maps to, in order of precedence: a path set
// with SetSerialPortPath(n, ...); the environment variable Q7K_COM<n> (read
// at each port creation; a symlink is followed when opened); /dev/ttyS<n-1>.

// An empty path removes the mapping of port n.
Q7K_API void SetSerialPortPath(int32_t port, const std::string& path);
// The device path port n opens now; empty for port numbers below 1.
Q7K_API std::string ResolveSerialPortPath(int32_t port);

// ---------------------------------------------------------------------------
// Session recording: every byte on the line and the port's events, written
// to a pcapng file while the port is open (docs/recording.md). The path is,
// in order of precedence: the one set with SetRecordingPath; the
// environment variable Q7K_RECORD (read at each port creation); none. A
// second port recording while the first still does writes to the name with
// "-COM<n>" added before the extension. The first recording of a process
// to a file starts it afresh, later ones append. A file that cannot be
// written stops the recording with one trace-log line; the session goes on.

// Records the ports created from now on to path; an empty path turns
// recording off, whatever Q7K_RECORD says.
Q7K_API void SetRecordingPath(const std::string& path);

// ---------------------------------------------------------------------------
// Message pump: called on the waiting thread at least every 10 ms while a
// request is handed to the port and during TimerDelay with its message flag
// set; never while a method waits for the instrument's reply (interfaces.h
// says exactly when). With none installed, waits simply block. Pass an empty
// function to remove it. The pump is process-wide: a pump that calls another
// component object may wait until that object's current call returns.
Q7K_API void SetMessagePump(std::function<void()> pump);

// ---------------------------------------------------------------------------
// Progress view: draws the component's modeless progress window.

// Everything a view needs to draw the window.
struct ProgressState {
  std::u16string title;
  std::u16string message;
  bool barVisible = false;  // bar and percentage label shown
  int32_t lower = 0;        // bar range
  int32_t upper = 100;
  int32_t position = 0;  // bar position (within lower..upper)
  std::u16string label;  // e.g. "Completed: 42 %"
};

// One open progress window. Open is called once, then Update for every
// change, then the view is destroyed when the window closes.
class ProgressView {
 public:
  virtual ~ProgressView() = default;
  // ownerHandle is the host's window handle value (0 for none). Returns
  // false when the window cannot be created; nothing is shown then.
  virtual bool Open(int32_t ownerHandle, const ProgressState& state) = 0;
  virtual void Update(const ProgressState& state) = 0;
};

using ProgressViewFactory = std::function<std::unique_ptr<ProgressView>()>;

// Installs the factory used for new progress windows; an empty function
// restores the default view: on Windows the system's modeless dialog,
// elsewhere one self-updating line on standard error when it is a
// terminal, nothing otherwise.
Q7K_API void SetProgressViewFactory(ProgressViewFactory factory);

// Window handles the host has. An owner handle that is not registered (and
// not 0) is "not a window": the progress window is then not created. On
// Windows the system says which handles are windows and these do nothing.
Q7K_API void RegisterWindow(int32_t handle, bool visible);
Q7K_API void UnregisterWindow(int32_t handle);

// ---------------------------------------------------------------------------
// 8-bit text: the host's "ANSI code page" for board texts, image files and
// logs. Windows-1252 (the default), 28591 (ISO-8859-1) and 65001 (UTF-8) are
// supported; returns false and keeps the current one for any other.
Q7K_API bool SetAnsiCodePage(uint32_t codePage);
Q7K_API uint32_t GetAnsiCodePage();

}  // namespace q7k

#endif  // Q7KCOMM_HOST_H_
