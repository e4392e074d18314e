// HostLine: the host's end of the virtual instrument's line, for tests that
// check the protocol bytes in and out. Frames are built, encoded and decoded
// here by hand, independently of the library's frame code.
//
// Thread safety: one test thread.
#ifndef Q7K_TESTS_EMULATOR_HOST_LINE_H_
#define Q7K_TESTS_EMULATOR_HOST_LINE_H_

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace q7k {
namespace testing_emu {

using Bytes = std::vector<uint8_t>;

inline constexpr std::chrono::milliseconds kDeadline{5000};

// A reply frame taken apart.
struct Frame {
  uint16_t number = 0;
  uint16_t length = 0;
  Bytes payload;
  uint16_t checksum = 0;
  bool checksumOk = false;
  size_t size = 0;  // frame bytes, header and checksum included

  bool Ack() const { return !payload.empty() && payload[0] == 0x06; }
  // The NAK's error number, -1000 when the reply is no NAK.
  int NakNumber() const;
};

// Frame bytes of a request: 00 00, command, length, payload, checksum.
Bytes RequestFrame(uint16_t command, const Bytes& payload);
// Line encoding: DLE STX, the bytes with DLE doubled, DLE ETX.
Bytes Encode(const Bytes& frame);
// The frame inside one line-encoded reply (bytes before DLE STX skipped).
Bytes Decode(const Bytes& line);
Frame Parse(const Bytes& frame);

// Little-endian helpers for payloads.
void Put16(Bytes* b, uint16_t v);
void Put32(Bytes* b, uint32_t v);
void PutF(Bytes* b, float v);
uint16_t Get16(const Bytes& b, size_t at);
uint32_t Get32(const Bytes& b, size_t at);
float GetF(const Bytes& b, size_t at);

class HostLine {
 public:
  // Opens path; the instrument's end sets the line raw.
  explicit HostLine(const std::string& path);
  // Takes over an open descriptor (e.g. a pseudo-terminal's master side).
  explicit HostLine(int fd);
  ~HostLine();
  HostLine(const HostLine&) = delete;
  HostLine& operator=(const HostLine&) = delete;

  bool ok() const { return fd_ >= 0; }

  void SendRaw(const Bytes& bytes);
  void Send(uint16_t command, const Bytes& payload = {});
  // The line bytes of the next whole reply (any bytes before its DLE STX
  // included); empty when none completed before the deadline.
  Bytes ReadLine(std::chrono::milliseconds deadline = kDeadline);
  // Send, then read and take apart the reply.
  Frame Transact(uint16_t command, const Bytes& payload = {});
  // Everything until the line closes (end of file or error); false when it
  // stays open past the deadline.
  bool ReadUntilClosed(Bytes* got);

 private:
  // Appends what arrives before end: 1 when bytes came, 0 at the deadline,
  // -1 when the line closed.
  int Fill(std::chrono::steady_clock::time_point end);

  int fd_ = -1;
  Bytes pending_;
};

}  // namespace testing_emu
}  // namespace q7k

#endif  // Q7K_TESTS_EMULATOR_HOST_LINE_H_
