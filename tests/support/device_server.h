// The system's serial device server (ser2net) as a child process in front
// of a local device, for the network port tests: one Telnet COM-port
// control accepter and one raw TCP accepter on free loopback ports.
//
// Thread safety: one thread. Needs no test framework: the benchmarks use it
// too.
#ifndef Q7K_TESTS_SUPPORT_DEVICE_SERVER_H_
#define Q7K_TESTS_SUPPORT_DEVICE_SERVER_H_

#include <sys/types.h>

#include <cstdint>
#include <string>


namespace q7k {

// A loopback TCP port nothing listens on at the moment of the call.
uint16_t FreeLoopbackPort();

class DeviceServer {
 public:
  // The server program, or empty when it is not installed.
  static std::string Program();

  explicit DeviceServer(std::string devicePath);
  ~DeviceServer();  // Stops.
  DeviceServer(const DeviceServer&) = delete;
  DeviceServer& operator=(const DeviceServer&) = delete;

  // Starts the server (again, on the same ports) and returns once both
  // accepters listen; false with error() otherwise.
  bool Start();
  // Kills the server at once, as a crash or a pulled network cable would.
  void Stop();
  const std::string& error() const { return error_; }

  // "rfc2217://127.0.0.1:N" or "socket://127.0.0.1:M".
  std::string Url(bool comPortControl) const;

 private:
  std::string device_;
  uint16_t controlPort_ = 0;
  uint16_t rawPort_ = 0;
  pid_t pid_ = -1;
  std::string error_;
  std::string config_;  // the generated configuration, removed at the end
};

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_DEVICE_SERVER_H_
