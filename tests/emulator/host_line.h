// HostLine: the host's end of the virtual instrument's line (a PtyPeer
// speaking support/wire.h). EmulatorSession: an in-process emulator with a
// HostLine on it; after a failed start every exchange fails at once.
// Connect: a client's socket to an emulator that listens (--listen).
//
// Thread safety: one test thread (the emulator serves on its own).
#ifndef Q7K_TESTS_EMULATOR_HOST_LINE_H_
#define Q7K_TESTS_EMULATOR_HOST_LINE_H_

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "emulator.h"
#include "support/pty_pair.h"
#include "support/wire.h"

namespace q7k {
namespace testing_emu {

inline constexpr std::chrono::milliseconds kDeadline{5000};

class HostLine {
 public:
  // Opens path; the instrument's end sets the line raw.
  explicit HostLine(const std::string& path)
      : HostLine(
            ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
  // Takes over an open descriptor (e.g. a pseudo-terminal's master side).
  explicit HostLine(int fd) : fd_(fd) {
    if (fd_ >= 0) peer_ = std::make_unique<PtyPeer>(fd_);
  }
  ~HostLine() {
    peer_.reset();
    if (fd_ >= 0) ::close(fd_);
  }
  HostLine(const HostLine&) = delete;
  HostLine& operator=(const HostLine&) = delete;

  bool ok() const { return fd_ >= 0; }

  // Returns once the bytes are written.
  void SendRaw(const Bytes& bytes) {
    if (!ok()) return;
    peer_->Send(bytes);
    peer_->WaitSent(kDeadline);
  }
  void Send(uint16_t command, const Bytes& payload = {}) {
    SendRaw(LineBytes(RequestFrame(command, payload)));
  }
  // The line bytes of the next whole reply (any bytes before its DLE STX
  // included); empty when none completed before the deadline.
  Bytes ReadLine(std::chrono::milliseconds deadline = kDeadline) {
    Bytes line;
    if (!ok()) return line;
    peer_->WaitFor(
        [&](const Bytes& got) {
          const Bytes rest(got.begin() + taken_, got.end());
          Bytes frame;
          line.assign(rest.begin(), rest.begin() + TakeFrame(rest, &frame));
          return !line.empty();
        },
        deadline);
    taken_ += line.size();
    return line;
  }
  // The next count bytes received after those already handed out; fewer
  // when no more came before the deadline.
  Bytes Next(size_t count) {
    if (!ok()) return {};
    peer_->WaitReceived(taken_ + count, kDeadline);
    const Bytes all = peer_->Received();
    const size_t end = std::min(all.size(), taken_ + count);
    const Bytes got(all.begin() + taken_, all.begin() + end);
    taken_ = end;
    return got;
  }
  // Send, then read and take apart the reply.
  Frame Transact(uint16_t command, const Bytes& payload = {}) {
    Send(command, payload);
    return Parse(Decode(ReadLine()));
  }
  // Everything not yet read until the line closes; false when it stays open
  // past the deadline.
  bool ReadUntilClosed(Bytes* got) {
    if (!ok()) return true;
    const bool closed = peer_->WaitClosed(kDeadline);
    const Bytes all = peer_->Received();
    got->insert(got->end(), all.begin() + taken_, all.end());
    taken_ = all.size();
    return closed;
  }

 private:
  int fd_ = -1;
  std::unique_ptr<PtyPeer> peer_;
  size_t taken_ = 0;  // received bytes already handed out
};

// A connection to "scheme://host:port" or "scheme://[host]:port"; -1 on
// failure.
inline int Connect(const std::string& url) {
  const std::string rest = url.substr(url.find("//") + 2);
  const size_t colon = rest.rfind(':');
  std::string host = rest.substr(0, colon);
  if (host.front() == '[') host = host.substr(1, host.size() - 2);
  addrinfo hints = {};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* ai = nullptr;
  if (getaddrinfo(host.c_str(), rest.substr(colon + 1).c_str(), &hints, &ai) !=
      0) {
    return -1;
  }
  int fd = ::socket(ai->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && ::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
    ::close(fd);
    fd = -1;
  }
  freeaddrinfo(ai);
  return fd;
}

struct EmulatorSession {
  explicit EmulatorSession(const EmulatorOptions& options = {})
      : emulator(options), host(emulator.Start()) {
    EXPECT_TRUE(host.ok()) << emulator.error();
  }

  Emulator emulator;
  HostLine host;
};

}  // namespace testing_emu
}  // namespace q7k

#endif  // Q7K_TESTS_EMULATOR_HOST_LINE_H_
