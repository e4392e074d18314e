#include "serial_line.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/posix_serial_rate.h"

namespace q7k {
namespace emu {
namespace {

std::string Errno(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

bool MakeRaw(int fd) {
  termios tio;
  if (tcgetattr(fd, &tio) != 0) return false;
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  return tcsetattr(fd, TCSANOW, &tio) == 0;
}

void SetFlags(int fd, bool nonBlocking) {
  fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
  if (nonBlocking) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

}  // namespace

bool SerialLine::OpenPseudoTerminal(const std::string& linkPath,
                                    std::string* error) {
  Close();
  int master = -1;
  int host = -1;
  if (openpty(&master, &host, nullptr, nullptr, nullptr) != 0) {
    *error = Errno("openpty");
    return false;
  }
  SetFlags(master, true);
  SetFlags(host, false);
  // Raw from the start, so a host that leaves the settings alone still sees
  // every byte unchanged.
  MakeRaw(host);
  const char* name = ttyname(host);
  if (name == nullptr) {
    *error = Errno("ttyname");
    ::close(master);
    ::close(host);
    return false;
  }
  fd_ = master;
  hostFd_ = host;
  path_ = name;
  if (!linkPath.empty()) {
    struct stat st;
    if (lstat(linkPath.c_str(), &st) == 0) {
      if (!S_ISLNK(st.st_mode)) {
        *error = linkPath + " exists and is not a symlink";
        Close();
        return false;
      }
      ::unlink(linkPath.c_str());
    }
    if (::symlink(path_.c_str(), linkPath.c_str()) != 0) {
      *error = Errno("symlink " + linkPath);
      Close();
      return false;
    }
    linkPath_ = linkPath;
  }
  return true;
}

bool SerialLine::OpenDevice(const std::string& device, uint32_t baud,
                            std::string* error) {
  Close();
  int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = Errno("open " + device);
    return false;
  }
  if (isatty(fd)) {
    MakeRaw(fd);
    // Any rate: the instrument's 14400, 112500 and 128000 have no Bnnn.
    const int failed = baud != 0 ? SetArbitraryBitRate(fd, baud) : 0;
    if (failed != 0) {
      *error = "set " + std::to_string(baud) + " bit/s on " + device + ": " +
               std::strerror(failed);
      ::close(fd);
      return false;
    }
  }
  fd_ = fd;
  path_ = device;
  return true;
}

int SerialLine::Unconsumed() const {
  int n = -1;
  if (hostFd_ >= 0) {
    if (ioctl(hostFd_, TIOCINQ, &n) != 0) n = -1;
  } else if (fd_ >= 0) {
    if (ioctl(fd_, TIOCOUTQ, &n) != 0) n = -1;
  }
  return n;
}

void SerialLine::Close() {
  if (!linkPath_.empty()) {
    // Only our own link goes: another emulator may have taken the path over.
    char target[512];
    ssize_t n = ::readlink(linkPath_.c_str(), target, sizeof target - 1);
    if (n >= 0 && std::string(target, static_cast<size_t>(n)) == path_) {
      ::unlink(linkPath_.c_str());
    }
    linkPath_.clear();
  }
  if (fd_ >= 0) ::close(fd_);
  if (hostFd_ >= 0) ::close(hostFd_);
  fd_ = -1;
  hostFd_ = -1;
  path_.clear();
}

}  // namespace emu
}  // namespace q7k
