// The far end of a serial port under wine: a session with the Linux
// serial-peer (tests/wine/serial_peer.c) that scripts/windows-check starts
// and names in Q7K_SERIAL_PEER (its TCP port). Each session is one fresh
// pseudo-terminal, linked as a COM port of the wine prefix.
//
// Thread safety: one thread at a time.
#ifndef Q7K_TESTS_SUPPORT_SERIAL_PEER_H_
#define Q7K_TESTS_SUPPORT_SERIAL_PEER_H_

#include <cstdint>
#include <string>
#include <vector>

namespace q7k {

class SerialPeer {
 public:
  SerialPeer();
  ~SerialPeer();  // ends the session: the COM link goes
  SerialPeer(const SerialPeer&) = delete;
  SerialPeer& operator=(const SerialPeer&) = delete;

  // Empty when there is a session; why not otherwise.
  const std::string& error() const { return error_; }
  // "COM3" and the like.
  const std::string& comName() const { return comName_; }
  int32_t comNumber() const;

  bool Send(const std::vector<uint8_t>& bytes);
  // What arrived, once at least count bytes did or ms passed.
  std::vector<uint8_t> Receive(size_t count, int32_t ms);
  bool Echo(bool on);
  // Closes the pseudo-terminal: the device is gone.
  bool Hangup();
  // The virtual instrument takes the COM port over, with these options.
  bool StartEmulator(const std::string& options = "");

 private:
  std::string Ask(const std::string& line);

  uintptr_t socket_;
  std::string comName_;
  std::string error_;
  std::string pending_;
};

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_SERIAL_PEER_H_
