#include "emulator/host_line.h"

#include <fcntl.h>
#include <unistd.h>

namespace q7k {
namespace testing_emu {

HostLine::HostLine(const std::string& path)
    : HostLine(
          ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}

HostLine::HostLine(int fd) : fd_(fd) {
  if (fd_ >= 0) peer_ = std::make_unique<PtyPeer>(fd_);
}

HostLine::~HostLine() {
  peer_.reset();
  if (fd_ >= 0) ::close(fd_);
}

void HostLine::SendRaw(const Bytes& bytes) {
  if (!ok()) return;
  peer_->Send(bytes);
  peer_->WaitSent(kDeadline);
}

void HostLine::Send(uint16_t command, const Bytes& payload) {
  SendRaw(LineBytes(RequestFrame(command, payload)));
}

Bytes HostLine::ReadLine(std::chrono::milliseconds deadline) {
  if (!ok()) return {};
  Bytes line;
  peer_->WaitFor(
      [&](const Bytes& got) {
        const Bytes rest(got.begin() + taken_, got.end());
        Bytes frame;
        const size_t n = TakeFrame(rest, &frame);
        line.assign(rest.begin(), rest.begin() + n);
        return n != 0;
      },
      deadline);
  taken_ += line.size();
  return line;
}

Frame HostLine::Transact(uint16_t command, const Bytes& payload) {
  Send(command, payload);
  return Parse(Decode(ReadLine()));
}

bool HostLine::ReadUntilClosed(Bytes* got) {
  if (!ok()) return true;
  const bool closed = peer_->WaitClosed(kDeadline);
  const Bytes all = peer_->Received();
  got->insert(got->end(), all.begin() + taken_, all.end());
  taken_ = all.size();
  return closed;
}

}  // namespace testing_emu
}  // namespace q7k
