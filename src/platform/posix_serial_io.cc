// SerialIo on POSIX terminals (Linux): termios for the line format, the
// kernel's arbitrary-rate interface for the bit rate (posix_serial_rate.cc),
// modem-control ioctls for the lines, poll for waiting. A network port name
// opens a NetworkSerialIo instead, kept in the platform state, and every
// call goes to it: the port above sees one kind of device.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>

#include "platform/network_serial_io.h"
#include "platform/posix_serial_rate.h"
#include "platform/port_url.h"
#include "platform/serial_io.h"

namespace q7k {
namespace {

// Rates a driver could not reach within this share of the request fail the
// settings: the far end would not understand a word at that speed.
constexpr uint32_t kRateTolerancePercent = 3;

// Devices without modem lines or error counters (pseudo-terminals) answer
// these; they mean "not here", not "broken".
bool IsNotSupported(int error) { return error == ENOTTY || error == EINVAL; }

int Fd(intptr_t handle) { return static_cast<int>(handle); }

void RequestLowLatency(int fd) {
  struct serial_struct serial;
  if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return;
  if ((serial.flags & ASYNC_LOW_LATENCY) != 0) return;
  serial.flags |= ASYNC_LOW_LATENCY;
  ioctl(fd, TIOCSSERIAL, &serial);  // Refused by some drivers: not needed.
}

// Raw bytes: a cooked terminal would turn ETX into a signal and swallow the
// XON/XOFF characters. CLOCAL so a cable without carrier neither blocks nor
// hangs the line up; VMIN 1 so a read with nothing waiting says EAGAIN and
// never returns 0 (0 means the far end is gone).
void MakeRaw(struct termios* t) {
  cfmakeraw(t);
  t->c_cflag |= CLOCAL | CREAD;
  t->c_cc[VMIN] = 1;
  t->c_cc[VTIME] = 0;
  t->c_cc[VSTART] = 0x11;
  t->c_cc[VSTOP] = 0x13;
}

tcflag_t CharacterSize(int32_t dataBits) {
  switch (dataBits) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    default:
      return CS8;
  }
}

int32_t DataBitsOf(tcflag_t cflag) {
  switch (cflag & CSIZE) {
    case CS5:
      return 5;
    case CS6:
      return 6;
    case CS7:
      return 7;
    default:
      return 8;
  }
}

char ParityOf(tcflag_t cflag) {
  if ((cflag & PARENB) == 0) return 'N';
  const bool odd = (cflag & PARODD) != 0;
  if ((cflag & CMSPAR) != 0) return odd ? 'M' : 'S';
  return odd ? 'O' : 'E';
}

tcflag_t ParityFlags(char parity) {
  switch (parity) {
    case 'O':
      return PARENB | PARODD;
    case 'E':
      return PARENB;
    case 'M':
      return PARENB | PARODD | CMSPAR;
    case 'S':
      return PARENB | CMSPAR;
    default:
      return 0;
  }
}

// Raises or drops one modem line; a device without lines is fine.
int SetModemLine(int fd, int line, bool on) {
  if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0) return 0;
  return IsNotSupported(errno) ? 0 : errno;
}

// Raw mode with the parity, character size, stop bits and flow control of
// settings. 0 or the error code.
uint32_t ApplyLineFormat(int fd, const SerialLineSettings& settings) {
  struct termios t;
  if (tcgetattr(fd, &t) != 0) return static_cast<uint32_t>(errno);
  MakeRaw(&t);
  t.c_cflag &= ~(PARENB | PARODD | CMSPAR | CSIZE | CSTOPB | CRTSCTS);
  t.c_iflag &= ~(INPCK | IGNPAR | PARMRK | IXON | IXOFF | IXANY);
  t.c_cflag |= ParityFlags(settings.parity) | CharacterSize(settings.dataBits);
  if (settings.parity != 'N') t.c_iflag |= INPCK;
  if (settings.stopBits == 2) t.c_cflag |= CSTOPB;
  if (settings.xonXoff) t.c_iflag |= IXON | IXOFF;
  // There is no DSR handshake on POSIX terminals; the flag is only recorded.
  if (settings.ctsHandshake) t.c_cflag |= CRTSCTS;
  if (tcsetattr(fd, TCSANOW, &t) != 0) return static_cast<uint32_t>(errno);
  return 0;
}

}  // namespace

// Present only while a network port is open.
struct SerialIo::PlatformState {
  NetworkSerialIo net;
};

OsErrorKind ClassifyOsError(uint32_t error) {
  switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case EIO:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ECONNREFUSED:
    case EADDRNOTAVAIL:
      return OsErrorKind::kNotFound;
    case EBUSY:
    case EACCES:
    case EPERM:
    case EWOULDBLOCK:
      return OsErrorKind::kAccessDenied;
    case EBADF:
      return OsErrorKind::kInvalidHandle;
    default:
      return OsErrorKind::kOther;
  }
}

SerialIo::SerialIo() = default;
SerialIo::~SerialIo() { Close(); }

uint32_t SerialIo::Open(const std::string& path) {
  if (IsNetworkPortPath(path)) return OpenNetwork(path);
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return static_cast<uint32_t>(errno);
  // The terminal's exclusive mode does not stop root; the advisory lock does,
  // across processes too.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    close(fd);
    return EWOULDBLOCK;
  }
  exclusive_ = ioctl(fd, TIOCEXCL) == 0;
  handle_ = fd;
  struct termios t;
  if (tcgetattr(fd, &t) == 0) {
    MakeRaw(&t);
    tcsetattr(fd, TCSANOW, &t);
  }
  RequestLowLatency(fd);
  return 0;
}

uint32_t SerialIo::OpenNetwork(const std::string& path) {
  const std::optional<PortUrl> url = ParsePortUrl(path);
  if (!url) return ENOENT;
  auto state = std::make_unique<PlatformState>();
  if (const uint32_t error = state->net.Open(*url)) return error;
  handle_ = state->net.Handle();
  state_ = std::move(state);
  return 0;
}

void SerialIo::Close() {
  if (handle_ < 0) return;
  if (state_) {
    state_.reset();
    handle_ = -1;
    return;
  }
  const int fd = Fd(handle_);
  if (exclusive_) ioctl(fd, TIOCNXCL);
  flock(fd, LOCK_UN);
  close(fd);
  handle_ = -1;
  exclusive_ = false;
  formatSet_ = false;
}

uint32_t SerialIo::ReadSettings(SerialLineSettings* settings) const {
  if (state_) return state_->net.ReadSettings(settings);
  const int fd = Fd(handle_);
  struct termios t;
  if (tcgetattr(fd, &t) != 0) return static_cast<uint32_t>(errno);
  uint32_t baud = 0;
  if (const int error = GetArbitraryBitRate(fd, &baud)) {
    return static_cast<uint32_t>(error);
  }
  settings->baud = baud;
  settings->parity = ParityOf(t.c_cflag);
  settings->dataBits = DataBitsOf(t.c_cflag);
  settings->stopBits = (t.c_cflag & CSTOPB) != 0 ? 2 : 1;
  settings->xonXoff = (t.c_iflag & (IXON | IXOFF)) != 0;
  settings->ctsHandshake = (t.c_cflag & CRTSCTS) != 0;
  int lines = 0;
  if (ioctl(fd, TIOCMGET, &lines) == 0) {
    settings->dtr = (lines & TIOCM_DTR) != 0;
    settings->rts = (lines & TIOCM_RTS) != 0;
  }
  return 0;
}

uint32_t SerialIo::ApplySettings(const SerialLineSettings& settings) {
  if (state_) return state_->net.ApplySettings(settings);
  const int fd = Fd(handle_);
  // A device may quietly narrow a format (a pseudo-terminal drops parity);
  // asking for the same one again then changes nothing, which some kernels
  // refuse with EINVAL, and a DTR change would kill the port.
  const bool sameFormat =
      formatSet_ && format_.parity == settings.parity &&
      format_.dataBits == settings.dataBits &&
      format_.stopBits == settings.stopBits &&
      format_.xonXoff == settings.xonXoff &&
      format_.ctsHandshake == settings.ctsHandshake;
  if (!sameFormat) {
    if (const uint32_t error = ApplyLineFormat(fd, settings)) return error;
    format_ = settings;
    formatSet_ = true;
  }

  if (const int error = SetArbitraryBitRate(fd, settings.baud)) {
    return static_cast<uint32_t>(error);
  }
  uint32_t actual = 0;
  if (const int error = GetArbitraryBitRate(fd, &actual)) {
    return static_cast<uint32_t>(error);
  }
  const uint64_t difference =
      actual > settings.baud ? actual - settings.baud : settings.baud - actual;
  if (difference * 100 > uint64_t{settings.baud} * kRateTolerancePercent) {
    return EINVAL;
  }

  if (const int error = SetModemLine(fd, TIOCM_DTR, settings.dtr)) {
    return static_cast<uint32_t>(error);
  }
  if (!settings.ctsHandshake) {
    if (const int error = SetModemLine(fd, TIOCM_RTS, settings.rts)) {
      return static_cast<uint32_t>(error);
    }
  }
  return 0;
}

int32_t SerialIo::Read(uint8_t* buffer, size_t n, uint32_t* error) {
  if (state_) return state_->net.Read(buffer, n, error);
  if (n == 0) return 0;
  for (;;) {
    const ssize_t got = read(Fd(handle_), buffer, n);
    if (got > 0) return static_cast<int32_t>(got);
    if (got == 0) {
      *error = EIO;
      return -1;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    *error = static_cast<uint32_t>(errno);
    return -1;
  }
}

int32_t SerialIo::Write(const uint8_t* bytes, size_t n, uint32_t* error) {
  if (state_) return state_->net.Write(bytes, n, error);
  if (n == 0) return 0;
  for (;;) {
    const ssize_t put = write(Fd(handle_), bytes, n);
    if (put >= 0) return static_cast<int32_t>(put);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    *error = static_cast<uint32_t>(errno);
    return -1;
  }
}

WaitResult SerialIo::Wait(const WakeEvent& wake, uint32_t interest,
                          int32_t timeoutMs) const {
  if (state_) return state_->net.Wait(wake, interest, timeoutMs);
  struct pollfd fds[2] = {};
  fds[0].fd = Fd(wake.Handle());
  fds[0].events = POLLIN;
  nfds_t count = 1;
  if (interest != 0) {
    fds[1].fd = Fd(handle_);
    if ((interest & kWaitReadable) != 0) fds[1].events |= POLLIN;
    if ((interest & kWaitWritable) != 0) fds[1].events |= POLLOUT;
    count = 2;
  }
  WaitResult result;
  if (poll(fds, count, timeoutMs) < 0) {
    if (errno != EINTR) result.error = static_cast<uint32_t>(errno);
    return result;
  }
  result.woken = (fds[0].revents & POLLIN) != 0;
  if (count == 2) {
    const short revents = fds[1].revents;
    result.readable = (revents & POLLIN) != 0;
    result.writable = (revents & POLLOUT) != 0;
    result.hangup = (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    if (result.hangup) result.error = (revents & POLLNVAL) != 0 ? EBADF : EIO;
  }
  return result;
}

void SerialIo::PurgeInput() {
  if (state_) return state_->net.PurgeInput();
  // Unconditional: bytes still on their way through the tty layer do not
  // show in TIOCINQ, yet the flush drops them too.
  tcflush(Fd(handle_), TCIFLUSH);
}

void SerialIo::PurgeOutput() {
  if (state_) return state_->net.PurgeOutput();
  tcflush(Fd(handle_), TCOFLUSH);
}

void SerialIo::SetBreak(bool on) {
  if (state_) return state_->net.SetBreak(on);
  ioctl(Fd(handle_), on ? TIOCSBRK : TIOCCBRK);
}

bool SerialIo::ReadModemStatus(uint32_t* bits) const {
  if (state_) return state_->net.ReadModemStatus(bits);
  int lines = 0;
  if (ioctl(Fd(handle_), TIOCMGET, &lines) != 0) return false;
  *bits = ((lines & TIOCM_CTS) != 0 ? kModemCts : 0) |
          ((lines & TIOCM_DSR) != 0 ? kModemDsr : 0) |
          ((lines & TIOCM_RNG) != 0 ? kModemRing : 0) |
          ((lines & TIOCM_CAR) != 0 ? kModemCarrier : 0);
  return true;
}

bool SerialIo::ReadLineErrorCounts(LineErrorCounts* counts) const {
  if (state_) return state_->net.ReadLineErrorCounts(counts);
  struct serial_icounter_struct icount = {};
  if (ioctl(Fd(handle_), TIOCGICOUNT, &icount) != 0) return false;
  counts->receiveOverflow = static_cast<uint32_t>(icount.buf_overrun);
  counts->overrun = static_cast<uint32_t>(icount.overrun);
  counts->parity = static_cast<uint32_t>(icount.parity);
  counts->framing = static_cast<uint32_t>(icount.frame);
  counts->breaks = static_cast<uint32_t>(icount.brk);
  return true;
}

}  // namespace q7k
