// SerialIo on the Win32 communications API. The port above works on
// readiness (wait, then a transfer that never blocks) while Windows
// completes transfers, so:
// - a read takes at most what ClearCommError counts in the device's input
//   queue, which completes at once; waiting to read is an overlapped
//   WaitCommEvent, one in flight per device, shared by whoever waits;
// - a write hands up to one buffer to an overlapped WriteFile and counts it
//   moved; while it is in flight Write says "would block", and waiting to
//   write is waiting for its completion.
// A network port name opens a NetworkSerialIo instead, kept in the
// platform state, and every call goes to it.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/network_serial_io.h"
#include "platform/port_url.h"
#include "platform/serial_io.h"

namespace q7k {
namespace {

// The device's own queues.
constexpr DWORD kDeviceQueueBytes = 500;
// Bytes handed to the device per write; the port's writer sends at most this
// many at a time.
constexpr size_t kWriteBufferBytes = 512;
// Received character, modem line changes, break, line error and ring; the
// last bit is reported by some drivers when the ring ends.
constexpr DWORD kRingEnded = 0x2000;
constexpr DWORD kEventMask = EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD | EV_BREAK |
                             EV_ERR | EV_RING | kRingEnded;

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool IsSignalled(HANDLE event) {
  return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

// A read returns once 1 ms passes between bytes after the first; no total
// limit on reads or writes.
bool SetReadInterval(HANDLE device) {
  COMMTIMEOUTS timeouts = {};
  timeouts.ReadIntervalTimeout = 1;
  return SetCommTimeouts(device, &timeouts) != 0;
}

// The members of the settings block that no setting governs.
void SetFixedMembers(DCB* dcb) {
  dcb->fBinary = TRUE;
  dcb->fAbortOnError = TRUE;
  dcb->fErrorChar = FALSE;
  dcb->fNull = FALSE;
  dcb->fDsrSensitivity = FALSE;
  dcb->XonLim = 128;
  dcb->XoffLim = 128;
  dcb->XonChar = 0x11;
  dcb->XoffChar = 0x13;
  dcb->ErrorChar = 0;
  dcb->EofChar = 0;
  dcb->EvtChar = 0;
}

BYTE ParityCode(char parity) {
  switch (parity) {
    case 'O':
      return ODDPARITY;
    case 'E':
      return EVENPARITY;
    case 'M':
      return MARKPARITY;
    case 'S':
      return SPACEPARITY;
    default:
      return NOPARITY;
  }
}

char ParityLetter(const DCB& dcb) {
  if (!dcb.fParity) return 'N';
  switch (dcb.Parity) {
    case ODDPARITY:
      return 'O';
    case EVENPARITY:
      return 'E';
    case MARKPARITY:
      return 'M';
    case SPACEPARITY:
      return 'S';
    default:
      return 'N';
  }
}

}  // namespace

struct SerialIo::PlatformState {
  std::unique_ptr<NetworkSerialIo> net;  // a network port's, or null

  DCB dcb = {};  // the settings block, kept between calls

  std::mutex readMutex;
  OVERLAPPED readOverlapped = {};
  HANDLE readDone = nullptr;

  std::mutex writeMutex;
  OVERLAPPED writeOverlapped = {};
  HANDLE writeDone = nullptr;
  bool writePending = false;
  size_t writeCount = 0;     // bytes handed to the last write
  bool writePurged = false;  // a purge aborted it: its bytes may go
  // Bytes at the front of writeBuffer that a line error kept from going;
  // they were counted moved, so they go before anything new.
  size_t writeUnsent = 0;
  uint8_t writeBuffer[kWriteBufferBytes] = {};

  std::mutex eventMutex;
  OVERLAPPED eventOverlapped = {};
  HANDLE eventDone = nullptr;
  DWORD events = 0;
  bool eventPending = false;
  // Wake events of the threads waiting on the one WaitCommEvent: whoever
  // takes its completion rings the others, whose next wait would otherwise
  // be on a new request that their event has not seen.
  std::vector<HANDLE> eventWaiters;

  // ClearCommError hands each error out once; the port wants totals.
  std::mutex errorMutex;
  LineErrorCounts errors;

  // Reads and clears the device's error flags into the running totals.
  // False with *error when the device is gone.
  bool ClearErrors(HANDLE device, COMSTAT* status, uint32_t* error) {
    DWORD flags = 0;
    if (!ClearCommError(device, &flags, status)) {
      *error = GetLastError();
      return false;
    }
    if (flags != 0) {
      std::lock_guard<std::mutex> lock(errorMutex);
      if ((flags & CE_RXOVER) != 0) ++errors.receiveOverflow;
      if ((flags & CE_OVERRUN) != 0) ++errors.overrun;
      if ((flags & CE_RXPARITY) != 0) ++errors.parity;
      if ((flags & CE_FRAME) != 0) ++errors.framing;
      if ((flags & CE_BREAK) != 0) ++errors.breaks;
    }
    return true;
  }

  // Hands the first count bytes of writeBuffer to the device: count, or 0
  // when a line error held them back (cleared, so the next try may go), or
  // -1 with *error.
  int32_t StartWrite(HANDLE device, size_t count, uint32_t* error) {
    writeCount = count;
    writePurged = false;
    writeOverlapped = OVERLAPPED{};
    writeOverlapped.hEvent = writeDone;
    DWORD put = 0;
    if (WriteFile(device, writeBuffer, static_cast<DWORD>(count), &put,
                  &writeOverlapped)) {
      return static_cast<int32_t>(count);
    }
    const DWORD failure = GetLastError();
    if (failure == ERROR_IO_PENDING) {
      writePending = true;
      return static_cast<int32_t>(count);
    }
    if (failure == ERROR_OPERATION_ABORTED) {
      COMSTAT ignored;
      return ClearErrors(device, &ignored, error) ? 0 : -1;
    }
    *error = failure;
    return -1;
  }

  ~PlatformState() {
    for (HANDLE event : {readDone, writeDone, eventDone}) {
      if (event != nullptr) CloseHandle(event);
    }
  }
};

namespace {

void ForgetWaiter(std::vector<HANDLE>* waiters, HANDLE wake) {
  auto it = std::find(waiters->begin(), waiters->end(), wake);
  if (it != waiters->end()) waiters->erase(it);
}

}  // namespace

OsErrorKind ClassifyOsError(uint32_t error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_UNIT:
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
    case WSAECONNREFUSED:
    case WSAEADDRNOTAVAIL:
      return OsErrorKind::kNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return OsErrorKind::kAccessDenied;
    case ERROR_INVALID_HANDLE:
      return OsErrorKind::kInvalidHandle;
    default:
      return OsErrorKind::kOther;
  }
}

SerialIo::SerialIo() = default;
SerialIo::~SerialIo() { Close(); }

uint32_t SerialIo::OpenNetwork(const std::string& path) {
  const std::optional<PortUrl> url = ParsePortUrl(path);
  if (!url) return ERROR_FILE_NOT_FOUND;
  auto state = std::make_unique<PlatformState>();
  state->net = std::make_unique<NetworkSerialIo>();
  if (const uint32_t error = state->net->Open(*url)) return error;
  handle_ = state->net->Handle();
  state_ = std::move(state);
  return 0;
}

uint32_t SerialIo::Open(const std::string& path) {
  if (IsNetworkPortPath(path)) return OpenNetwork(path);
  auto state = std::make_unique<PlatformState>();
  for (HANDLE* event :
       {&state->readDone, &state->writeDone, &state->eventDone}) {
    *event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (*event == nullptr) return GetLastError();
  }
  // No sharing: a second holder, here or in another process, is refused.
  const HANDLE device =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (device == INVALID_HANDLE_VALUE) return GetLastError();
  // A device that is no serial port fails here and there below; the
  // settings then report why.
  SetupComm(device, kDeviceQueueBytes, kDeviceQueueBytes);
  SetReadInterval(device);
  state->dcb.DCBlength = sizeof(DCB);
  GetCommState(device, &state->dcb);
  SetFixedMembers(&state->dcb);
  SetCommMask(device, kEventMask);
  handle_ = reinterpret_cast<intptr_t>(device);
  state_ = std::move(state);
  return 0;
}

void SerialIo::Close() {
  if (handle_ < 0) return;
  if (state_->net) {
    state_.reset();
    handle_ = -1;
    return;
  }
  const HANDLE device = AsHandle(handle_);
  // The pending requests end before their buffers and events go: a cleared
  // mask ends the event wait, the purge the write.
  SetCommMask(device, 0);
  PurgeComm(device, PURGE_TXABORT | PURGE_RXABORT);
  DWORD ignored = 0;
  if (state_->eventPending) {
    GetOverlappedResult(device, &state_->eventOverlapped, &ignored, TRUE);
  }
  if (state_->writePending) {
    GetOverlappedResult(device, &state_->writeOverlapped, &ignored, TRUE);
  }
  CloseHandle(device);
  handle_ = -1;
  state_.reset();
  formatSet_ = false;
}

uint32_t SerialIo::ReadSettings(SerialLineSettings* settings) const {
  if (state_->net) return state_->net->ReadSettings(settings);
  DCB dcb = {};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(AsHandle(handle_), &dcb)) return GetLastError();
  settings->baud = dcb.BaudRate;
  settings->parity = ParityLetter(dcb);
  settings->dataBits = dcb.ByteSize;
  settings->stopBits = dcb.StopBits != ONESTOPBIT ? 2 : 1;
  settings->dtr = dcb.fDtrControl != DTR_CONTROL_DISABLE;
  settings->rts = dcb.fRtsControl != RTS_CONTROL_DISABLE;
  settings->xonXoff = dcb.fOutX || dcb.fInX;
  settings->ctsHandshake =
      dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE;
  settings->dsrHandshake =
      dcb.fOutxDsrFlow || dcb.fDtrControl == DTR_CONTROL_HANDSHAKE;
  return 0;
}

uint32_t SerialIo::ApplySettings(const SerialLineSettings& settings) {
  if (state_->net) return state_->net->ApplySettings(settings);
  DCB& dcb = state_->dcb;
  dcb.BaudRate = settings.baud;
  dcb.Parity = ParityCode(settings.parity);
  dcb.fParity = settings.parity != 'N';
  dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
  dcb.StopBits = settings.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
  dcb.fDtrControl = settings.dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
  dcb.fRtsControl = settings.rts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
  dcb.fOutX = dcb.fInX = settings.xonXoff;
  dcb.fOutxCtsFlow = settings.ctsHandshake;
  if (settings.ctsHandshake) dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
  dcb.fOutxDsrFlow = settings.dsrHandshake;
  if (settings.dsrHandshake) dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
  // The driver judges the rate: it refuses one it cannot run.
  if (!SetCommState(AsHandle(handle_), &dcb)) return GetLastError();
  return 0;
}

int32_t SerialIo::Read(uint8_t* buffer, size_t n, uint32_t* error) {
  if (state_->net) return state_->net->Read(buffer, n, error);
  if (n == 0) return 0;
  const HANDLE device = AsHandle(handle_);
  std::lock_guard<std::mutex> lock(state_->readMutex);
  COMSTAT status = {};
  if (!state_->ClearErrors(device, &status, error)) return -1;
  const DWORD wanted = static_cast<DWORD>(std::min<size_t>(n, status.cbInQue));
  if (wanted == 0) return 0;
  OVERLAPPED& overlapped = state_->readOverlapped;
  overlapped = OVERLAPPED{};
  overlapped.hEvent = state_->readDone;
  DWORD got = 0;
  // The bytes are in the device already, so even a read that reports
  // itself pending completes at once.
  if (!ReadFile(device, buffer, wanted, &got, &overlapped) &&
      !(GetLastError() == ERROR_IO_PENDING &&
        GetOverlappedResult(device, &overlapped, &got, TRUE))) {
    const DWORD failure = GetLastError();
    // Abort-on-error stopped the transfer for a line error that arrived
    // after the count: clear it and let the next wait bring the bytes.
    if (failure == ERROR_OPERATION_ABORTED) {
      COMSTAT ignored;
      return state_->ClearErrors(device, &ignored, error) ? 0 : -1;
    }
    *error = failure;
    return -1;
  }
  return static_cast<int32_t>(got);
}

int32_t SerialIo::Write(const uint8_t* bytes, size_t n, uint32_t* error) {
  if (state_->net) return state_->net->Write(bytes, n, error);
  if (n == 0) return 0;
  const HANDLE device = AsHandle(handle_);
  PlatformState& s = *state_;
  std::lock_guard<std::mutex> lock(s.writeMutex);
  if (s.writePending) {
    DWORD put = 0;
    if (!GetOverlappedResult(device, &s.writeOverlapped, &put, FALSE)) {
      const DWORD failure = GetLastError();
      if (failure == ERROR_IO_INCOMPLETE) return 0;
      s.writePending = false;
      if (failure != ERROR_OPERATION_ABORTED) {
        *error = failure;
        return -1;
      }
      // A purge meant the rest to be dropped; abort-on-error, for a line
      // error, did not.
      if (!s.writePurged && put < s.writeCount) {
        s.writeUnsent = s.writeCount - put;
        std::memmove(s.writeBuffer, s.writeBuffer + put, s.writeUnsent);
      }
    } else {
      s.writePending = false;
    }
  }
  if (s.writeUnsent > 0) {
    // The caller's bytes wait for a later call.
    const int32_t started = s.StartWrite(device, s.writeUnsent, error);
    if (started > 0) s.writeUnsent = 0;
    return started < 0 ? -1 : 0;
  }
  const size_t count = std::min(n, kWriteBufferBytes);
  std::memcpy(s.writeBuffer, bytes, count);
  return s.StartWrite(device, count, error);
}

WaitResult SerialIo::Wait(const WakeEvent& wake, uint32_t interest,
                          int32_t timeoutMs) const {
  if (state_->net) return state_->net->Wait(wake, interest, timeoutMs);
  const HANDLE device = AsHandle(handle_);
  const HANDLE wakeHandle = AsHandle(wake.Handle());
  PlatformState& s = *state_;
  WaitResult result;
  HANDLE handles[3] = {wakeHandle};
  DWORD count = 1;
  bool watchWrite = false;

  if ((interest & kWaitWritable) != 0) {
    std::lock_guard<std::mutex> lock(s.writeMutex);
    if (s.writePending) {
      handles[count++] = s.writeDone;
      watchWrite = true;
    } else {
      result.writable = true;
    }
  }

  // Hang-ups show as failing calls on Windows; only a wait that reads
  // watches the device for them.
  const bool watchEvents = (interest & kWaitReadable) != 0;
  if (watchEvents) {
    COMSTAT status = {};
    if (!s.ClearErrors(device, &status, &result.error)) {
      result.hangup = true;
      return result;
    }
    if (status.cbInQue > 0) result.readable = true;
  }
  if (result.readable || result.writable) {
    result.woken = IsSignalled(wakeHandle);
    return result;
  }

  if (watchEvents) {
    std::lock_guard<std::mutex> lock(s.eventMutex);
    if (!s.eventPending) {
      s.eventOverlapped = OVERLAPPED{};
      s.eventOverlapped.hEvent = s.eventDone;
      s.events = 0;
      if (WaitCommEvent(device, &s.events, &s.eventOverlapped)) {
        // Something happened since the count: look again.
        result.readable = (s.events & EV_RXCHAR) != 0;
        result.woken = IsSignalled(wakeHandle);
        return result;
      }
      const DWORD failure = GetLastError();
      if (failure != ERROR_IO_PENDING) {
        result.hangup = true;
        result.error = failure;
        return result;
      }
      s.eventPending = true;
    }
    s.eventWaiters.push_back(wakeHandle);
    handles[count++] = s.eventDone;
  }

  const DWORD waited = WaitForMultipleObjects(
      count, handles, FALSE,
      timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
  if (waited == WAIT_FAILED) result.error = GetLastError();
  result.woken = IsSignalled(wakeHandle);
  if (watchWrite) result.writable = IsSignalled(s.writeDone);
  if (!watchEvents) return result;

  {
    std::lock_guard<std::mutex> lock(s.eventMutex);
    ForgetWaiter(&s.eventWaiters, wakeHandle);
    if (s.eventPending && IsSignalled(s.eventDone)) {
      s.eventPending = false;
      DWORD ignored = 0;
      if (!GetOverlappedResult(device, &s.eventOverlapped, &ignored, FALSE)) {
        const DWORD failure = GetLastError();
        // Aborted: the mask changed under the wait; nothing happened.
        if (failure != ERROR_OPERATION_ABORTED) {
          result.hangup = true;
          result.error = failure;
        }
      }
      for (HANDLE other : s.eventWaiters) SetEvent(other);
    }
  }
  if (!result.hangup) {
    COMSTAT status = {};
    if (!s.ClearErrors(device, &status, &result.error)) {
      result.hangup = true;
    } else {
      result.readable = status.cbInQue > 0;
    }
  }
  return result;
}

void SerialIo::PurgeInput() {
  if (state_->net) return state_->net->PurgeInput();
  PurgeComm(AsHandle(handle_), PURGE_RXCLEAR);
}

void SerialIo::PurgeOutput() {
  if (state_->net) return state_->net->PurgeOutput();
  // Held across the purge, so that the write it aborts is the one marked.
  std::lock_guard<std::mutex> lock(state_->writeMutex);
  state_->writePurged = true;
  state_->writeUnsent = 0;
  PurgeComm(AsHandle(handle_), PURGE_TXABORT | PURGE_TXCLEAR);
}

void SerialIo::SetBreak(bool on) {
  if (state_->net) return state_->net->SetBreak(on);
  if (on) {
    SetCommBreak(AsHandle(handle_));
  } else {
    ClearCommBreak(AsHandle(handle_));
  }
}

bool SerialIo::ReadModemStatus(uint32_t* bits) const {
  if (state_->net) return state_->net->ReadModemStatus(bits);
  DWORD lines = 0;
  if (!GetCommModemStatus(AsHandle(handle_), &lines)) return false;
  // The platform's bits are the port's.
  *bits = lines & (kModemCts | kModemDsr | kModemRing | kModemCarrier);
  return true;
}

bool SerialIo::ReadLineErrorCounts(LineErrorCounts* counts) const {
  if (state_->net) return state_->net->ReadLineErrorCounts(counts);
  COMSTAT status = {};
  uint32_t error = 0;
  if (!state_->ClearErrors(AsHandle(handle_), &status, &error)) {
    return false;
  }
  std::lock_guard<std::mutex> lock(state_->errorMutex);
  *counts = state_->errors;
  return true;
}

}  // namespace q7k
