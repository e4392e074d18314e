// SerialIo: the operating system's serial device behind a CommPort. The one
// place that opens, configures, reads and writes a serial device, so the port
// above it stays portable. The implementations are posix_serial_io.cc and
// win32_serial_io.cc.
//
// A network port name ("rfc2217://HOST:PORT", "socket://HOST:PORT",
// platform/port_url.h) opens a device server's port over TCP instead: a
// NetworkSerialIo (network_serial_io.h) that the calls below are handed to,
// so nothing above this class tells the two apart.
//
// A device is opened for reading and writing, non-blocking, and exclusively:
// a second holder, in this process or another, is refused (on POSIX with
// EWOULDBLOCK or EBUSY). Data transfers never block; Wait is the one blocking
// call, and a WakeEvent interrupts it.
//
// Thread safety: Open and Close must not run concurrently with anything else
// on the object. Between them, Read, Write, Wait, the purges, SetBreak and
// the status reads may be called from different threads at once (reader and
// writer threads, plus the client thread for settings and purges), each
// being one self-contained system call.
#ifndef Q7K_PLATFORM_SERIAL_IO_H_
#define Q7K_PLATFORM_SERIAL_IO_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/wake_event.h"

namespace q7k {

// The device settings block: the line settings a port keeps for its device.
struct SerialLineSettings {
  uint32_t baud = 38400;
  char parity = 'N';          // N, O, E, M (mark) or S (space)
  int32_t dataBits = 8;       // 5 to 8
  int32_t stopBits = 1;       // 1 or 2
  bool dtr = true;            // DTR raised
  bool rts = true;            // RTS raised (ignored while ctsHandshake)
  bool xonXoff = false;       // XON/XOFF flow control in both directions
  bool ctsHandshake = false;  // output waits for CTS, RTS is the handshake
  bool dsrHandshake = false;  // output waits for DSR; recorded only where
                              // the platform has no such handshake
};

// Modem line bits of ReadModemStatus.
inline constexpr uint32_t kModemCts = 0x10;
inline constexpr uint32_t kModemDsr = 0x20;
inline constexpr uint32_t kModemRing = 0x40;
inline constexpr uint32_t kModemCarrier = 0x80;

// The device's running totals of line errors (they only grow).
struct LineErrorCounts {
  uint32_t receiveOverflow = 0;  // input buffer overflow
  uint32_t overrun = 0;          // hardware overrun
  uint32_t parity = 0;
  uint32_t framing = 0;
  uint32_t breaks = 0;
};

// What an operating-system error code means to a port.
enum class OsErrorKind {
  kNotFound,       // no such device (at open)
  kAccessDenied,   // device held by someone else, or not permitted
  kInvalidHandle,  // the device handle is not valid
  kOther,
};
OsErrorKind ClassifyOsError(uint32_t error);

// Interest bits for SerialIo::Wait.
inline constexpr uint32_t kWaitReadable = 1;
inline constexpr uint32_t kWaitWritable = 2;
inline constexpr uint32_t kWaitHangup = 4;

struct WaitResult {
  bool woken = false;     // the wake event was signalled (not yet drained)
  bool readable = false;  // Read will move bytes (or report the failure)
  bool writable = false;  // Write will move bytes
  bool hangup = false;    // the device hung up or reported an error
  // Why the device can no longer be used: the wait itself failed, or (with
  // hangup) the code a transfer on the hung-up device reports. 0 otherwise.
  uint32_t error = 0;
};

class SerialIo {
 public:
  SerialIo();
  ~SerialIo();  // Closes.
  SerialIo(const SerialIo&) = delete;
  SerialIo& operator=(const SerialIo&) = delete;

  // Opens the device at path exclusively in raw mode; asks for low-latency
  // delivery where the driver offers it. 0, or the error code (nothing stays
  // open then). A network port is connected and negotiated within a few
  // seconds or refused. REQUIRES: !IsOpen().
  uint32_t Open(const std::string& path);
  bool IsOpen() const { return handle_ >= 0; }
  // Releases the exclusive hold and closes. Harmless when not open.
  void Close();

  // Fills settings from the device. Members the device cannot report (DTR
  // and RTS without modem lines, the DSR handshake on POSIX) keep their
  // values. 0 or the error code.
  uint32_t ReadSettings(SerialLineSettings* settings) const;
  // Writes every member of settings to the device and reads the bit rate
  // back. Missing modem lines are not an error. 0 or the error code of the
  // first call that failed. REQUIRES: parity, dataBits, stopBits valid.
  uint32_t ApplySettings(const SerialLineSettings& settings);

  // Non-blocking transfers: the bytes moved, 0 when the device would block,
  // or -1 with *error set. An end of file (a hung-up terminal) is a failure
  // with EIO, never 0.
  int32_t Read(uint8_t* buffer, size_t n, uint32_t* error);
  int32_t Write(const uint8_t* bytes, size_t n, uint32_t* error);

  // Blocks until wake is signalled, the device is ready for what interest
  // asks (kWait* bits; 0 leaves the device out of the wait), or timeoutMs
  // passed (-1: no limit). An interrupted wait returns an empty result.
  WaitResult Wait(const WakeEvent& wake, uint32_t interest,
                  int32_t timeoutMs) const;

  // Discard pending input / output in the device. Best effort.
  void PurgeInput();
  void PurgeOutput();
  // Puts the line into break or takes it out. Best effort.
  void SetBreak(bool on);

  // False when the device has no modem lines (a pseudo-terminal) or the
  // read failed; *bits is kModem* bits otherwise.
  bool ReadModemStatus(uint32_t* bits) const;
  // False when the device keeps no error counts (a pseudo-terminal).
  bool ReadLineErrorCounts(LineErrorCounts* counts) const;

 private:
  uint32_t OpenNetwork(const std::string& path);

  intptr_t handle_ = -1;
  bool exclusive_ = false;  // this object set the terminal's exclusive mode
  // The line format last accepted, so an unchanged one is not asked again.
  SerialLineSettings format_;
  bool formatSet_ = false;
  // What a platform keeps beside the handle (Windows: the overlapped
  // transfers and the error counts; POSIX: the network port, when open).
  struct PlatformState;
  std::unique_ptr<PlatformState> state_;
};

}  // namespace q7k

#endif  // Q7K_PLATFORM_SERIAL_IO_H_
