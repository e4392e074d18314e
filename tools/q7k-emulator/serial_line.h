// SerialLine: the instrument's end of the serial line: a new
// pseudo-terminal, whose other end a host opens like a serial port, or a
// given serial device. Raw mode, non-blocking.
//
// For a pseudo-terminal the line keeps its own descriptor of the host's end
// open, so that the line does not hang up while no host is connected, and
// can keep a symlink to the host's end at a stable path.
//
// Thread safety: none; one thread opens, uses and closes a line.
#ifndef Q7K_EMULATOR_SERIAL_LINE_H_
#define Q7K_EMULATOR_SERIAL_LINE_H_

#include <cstdint>
#include <string>

namespace q7k {
namespace emu {

class SerialLine {
 public:
  SerialLine() = default;
  ~SerialLine() { Close(); }
  SerialLine(const SerialLine&) = delete;
  SerialLine& operator=(const SerialLine&) = delete;

  // Opens a new pseudo-terminal; with a non-empty linkPath, (re)points the
  // symlink there at its host end. False with error set on failure.
  bool OpenPseudoTerminal(const std::string& linkPath, std::string* error);
  // Opens device; a baud rate of a standard speed is set on it (0 leaves
  // the speed). A device that is no terminal is used as it is.
  bool OpenDevice(const std::string& device, uint32_t baud, std::string* error);
  // Closes the line and removes the symlink it made. Idempotent.
  void Close();

  // Bytes written but not yet taken by the far end: still in the host's
  // input queue of a pseudo-terminal, or not yet sent by a device; -1 when
  // that cannot be told.
  int Unconsumed() const;

  int fd() const { return fd_; }
  bool is_open() const { return fd_ >= 0; }
  // The path a host opens: the pseudo-terminal's host end or the device.
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  int hostFd_ = -1;
  std::string path_;
  std::string linkPath_;
};

}  // namespace emu
}  // namespace q7k

#endif  // Q7K_EMULATOR_SERIAL_LINE_H_
