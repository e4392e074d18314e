#include "emulator/host_line.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace q7k {
namespace testing_emu {
namespace {

constexpr uint8_t kDle = 0x10, kStx = 0x02, kEtx = 0x03;

// Takes the data bytes of the first frame in line (bytes before its DLE STX
// skipped, doubled DLEs undone) into frame; returns the index just past its
// DLE ETX, 0 when the frame is incomplete.
size_t Unstuff(const Bytes& line, Bytes* frame) {
  size_t i = 0;
  while (i + 1 < line.size() && !(line[i] == kDle && line[i + 1] == kStx)) ++i;
  for (i += 2; i + 1 < line.size(); ++i) {
    if (line[i] == kDle) {
      if (line[i + 1] == kEtx) return i + 2;
      ++i;  // the second half of a doubled DLE is the data byte
    }
    frame->push_back(line[i]);
  }
  return 0;
}

}  // namespace

int Frame::NakNumber() const {
  if (payload.size() < 3 || payload[0] != 0x15) return -1000;
  return static_cast<int16_t>(Get16(payload, 1));
}

void Put16(Bytes* b, uint16_t v) {
  b->push_back(static_cast<uint8_t>(v));
  b->push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(Bytes* b, uint32_t v) {
  Put16(b, static_cast<uint16_t>(v));
  Put16(b, static_cast<uint16_t>(v >> 16));
}

void PutF(Bytes* b, float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  Put32(b, bits);
}

uint16_t Get16(const Bytes& b, size_t at) {
  return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}

uint32_t Get32(const Bytes& b, size_t at) {
  return Get16(b, at) | (static_cast<uint32_t>(Get16(b, at + 2)) << 16);
}

float GetF(const Bytes& b, size_t at) {
  const uint32_t bits = Get32(b, at);
  float v;
  std::memcpy(&v, &bits, 4);
  return v;
}

Bytes RequestFrame(uint16_t command, const Bytes& payload) {
  Bytes f = {0, 0};
  Put16(&f, command);
  Put16(&f, static_cast<uint16_t>(payload.size()));
  f.insert(f.end(), payload.begin(), payload.end());
  uint32_t sum = 0;
  for (uint8_t b : f) sum += b;
  Put16(&f, static_cast<uint16_t>(sum));
  return f;
}

Bytes Encode(const Bytes& frame) {
  Bytes line = {kDle, kStx};
  for (uint8_t b : frame) {
    line.push_back(b);
    if (b == kDle) line.push_back(kDle);
  }
  line.push_back(kDle);
  line.push_back(kEtx);
  return line;
}

Bytes Decode(const Bytes& line) {
  Bytes frame;
  Unstuff(line, &frame);
  return frame;
}

Frame Parse(const Bytes& frame) {
  Frame f;
  f.size = frame.size();
  if (frame.size() < 8) return f;
  f.number = Get16(frame, 2);
  f.length = Get16(frame, 4);
  f.payload.assign(frame.begin() + 6, frame.end() - 2);
  f.checksum = Get16(frame, frame.size() - 2);
  uint32_t sum = 0;
  for (size_t i = 0; i + 2 < frame.size(); ++i) sum += frame[i];
  f.checksumOk = static_cast<uint16_t>(sum) == f.checksum;
  return f;
}

HostLine::HostLine(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

HostLine::HostLine(int fd) : fd_(fd) {
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
}

HostLine::~HostLine() {
  if (fd_ >= 0) ::close(fd_);
}

void HostLine::SendRaw(const Bytes& bytes) {
  for (size_t off = 0; off < bytes.size();) {
    const ssize_t w = ::write(fd_, bytes.data() + off, bytes.size() - off);
    if (w > 0) {
      off += static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && errno != EAGAIN && errno != EINTR) return;
    pollfd p = {fd_, POLLOUT, 0};
    ::poll(&p, 1, 1000);
  }
}

void HostLine::Send(uint16_t command, const Bytes& payload) {
  SendRaw(Encode(RequestFrame(command, payload)));
}

int HostLine::Fill(std::chrono::steady_clock::time_point end) {
  if (fd_ < 0) return -1;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          end - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return 0;
    pollfd p = {fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left) + 1) <= 0) continue;
    uint8_t block[512];
    const ssize_t n = ::read(fd_, block, sizeof block);
    if (n > 0) {
      pending_.insert(pending_.end(), block, block + n);
      return 1;
    }
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) return -1;
  }
}

Bytes HostLine::ReadLine(std::chrono::milliseconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    Bytes frame;
    if (size_t n = Unstuff(pending_, &frame)) {
      Bytes line(pending_.begin(), pending_.begin() + n);
      pending_.erase(pending_.begin(), pending_.begin() + n);
      return line;
    }
    if (Fill(end) <= 0) return Bytes();
  }
}

Frame HostLine::Transact(uint16_t command, const Bytes& payload) {
  Send(command, payload);
  return Parse(Decode(ReadLine()));
}

bool HostLine::ReadUntilClosed(Bytes* got) {
  const auto end = std::chrono::steady_clock::now() + kDeadline;
  int r;
  while ((r = Fill(end)) > 0) {
  }
  got->insert(got->end(), pending_.begin(), pending_.end());
  pending_.clear();
  return r < 0;
}

}  // namespace testing_emu
}  // namespace q7k
