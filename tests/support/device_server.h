// The system's serial device server (ser2net) as a child process in front
// of a local device: one COM-port-control accepter and one raw TCP accepter
// on free loopback ports. Needs no test framework (the benchmarks use it).
//
// Thread safety: one thread.
#ifndef Q7K_TESTS_SUPPORT_DEVICE_SERVER_H_
#define Q7K_TESTS_SUPPORT_DEVICE_SERVER_H_

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace q7k {

// A socket listening on 127.0.0.1 at a free port, which goes to *port.
int ListenOnLoopback(uint16_t* port);
// A loopback TCP port nothing listens on at the moment of the call.
uint16_t FreeLoopbackPort();

class DeviceServer {
 public:
  static constexpr char kProgram[] = "/usr/sbin/ser2net";
  static bool Installed();

  // charDelay false turns off the server's wait for a quiet line before it
  // sends what the device said (on by default, at least 1 ms a reply).
  explicit DeviceServer(std::string devicePath, bool charDelay = true);
  ~DeviceServer() { Stop(); }
  DeviceServer(const DeviceServer&) = delete;
  DeviceServer& operator=(const DeviceServer&) = delete;

  // Starts the server (again, on the same ports) and returns once both
  // accepters listen; false with error() otherwise.
  bool Start();
  // Kills the server at once, as a crash or a cut network would.
  void Stop();
  const std::string& error() const { return error_; }
  const std::string& device() const { return device_; }
  // "rfc2217://127.0.0.1:N" or "socket://127.0.0.1:M".
  std::string Url(bool comPortControl) const;

 private:
  std::string device_;
  bool charDelay_;
  uint16_t ports_[2];  // COM-port control, raw
  pid_t pid_ = -1;
  std::string error_;
};

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_DEVICE_SERVER_H_
