// NetworkSerialIo: a serial device reached over TCP, behind SerialIo.
// "socket://" is a plain byte stream; "rfc2217://" speaks Telnet with the
// COM-port-control option, so the line format, DTR, RTS, break, purges and the
// line and modem state go to the device server.
//
// The port's threads wait on the socket (platform/network_socket.h) as on
// a local device. What differs is that a read may
// bring commands instead of data, and that the settings calls need the
// server's answers: whichever thread reads decodes, under one lock, and
// data decoded by a thread other than the reader is kept for the next Read
// (a doorbell tells a waiting reader). Writes keep whole escape pairs and
// commands in order under a second lock.
//
// Thread safety: as SerialIo.
#ifndef Q7K_PLATFORM_NETWORK_SERIAL_IO_H_
#define Q7K_PLATFORM_NETWORK_SERIAL_IO_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/network_socket.h"
#include "platform/port_url.h"
#include "platform/serial_io.h"
#include "platform/telnet_codec.h"
#include "platform/wake_event.h"

namespace q7k {

// Connecting, negotiating and each settings answer must finish within this.
inline constexpr int32_t kNetworkAnswerTimeoutMs = 3000;
// After connecting, input is dropped until the server acknowledged a purge
// of its buffers and then nothing arrived for this long.
inline constexpr int32_t kNetworkSettleMs = 50;

class NetworkSerialIo : private TelnetEvents {
 public:
  NetworkSerialIo() = default;
  ~NetworkSerialIo() override;
  NetworkSerialIo(const NetworkSerialIo&) = delete;
  NetworkSerialIo& operator=(const NetworkSerialIo&) = delete;

  // Connects and, for COM-port control, negotiates the option and reads
  // the line format. 0, or the error code: kNet* (network_socket.h) or the
  // platform's "connection refused".
  uint32_t Open(const PortUrl& url);
  intptr_t Handle() const { return socket_.Handle(); }

  uint32_t ReadSettings(SerialLineSettings* settings) const;
  uint32_t ApplySettings(const SerialLineSettings& settings);
  int32_t Read(uint8_t* buffer, size_t n, uint32_t* error);
  int32_t Write(const uint8_t* bytes, size_t n, uint32_t* error);
  WaitResult Wait(const WakeEvent& wake, uint32_t interest,
                  int32_t timeoutMs) const;
  void PurgeInput();
  void PurgeOutput();
  void SetBreak(bool on);
  bool ReadModemStatus(uint32_t* bits) const;
  bool ReadLineErrorCounts(LineErrorCounts* counts) const;

 private:
  void OnNegotiation(uint8_t verb, uint8_t option) override;
  void OnComPort(uint8_t code, const uint8_t* value, size_t n) override;

  uint32_t Negotiate();
  // Bytes the device sent while nobody was connected reach a new
  // connection first; a reply among them would be taken for the answer to
  // the first request. A local port starts empty, and so does this.
  // 0, or why the server closed meanwhile.
  uint32_t DropStaleInput();
  // Sends the commands after whatever is still pending; 0 or the error code.
  uint32_t SendCommands(const std::vector<uint8_t>& bytes);
  uint32_t FlushLocked();
  // As FlushLocked, but waits (bounded) until everything pending is out.
  uint32_t FlushWaitingLocked();
  void SendComPort(uint8_t code, const uint8_t* value, size_t n);
  // Reads and decodes everything the socket holds, keeping data for Read.
  // REQUIRES: rxMutex_ held.
  void PumpLocked();
  // Blocks until every answer in mask (bits by command code) arrived, the
  // connection failed or deadline passed; 0 or the error code.
  uint32_t AwaitAnswers(uint32_t mask, int64_t deadlineMs);
  // Waits (bounded) for the socket or an answer; 0 or the error code.
  uint32_t AwaitReadable(int64_t deadlineMs);
  // Why opening failed when the server closed on us.
  uint32_t ClosedDuringOpenLocked() const;

  NetworkSocket socket_;
  bool control_ = false;

  mutable std::mutex rxMutex_;
  TelnetDecoder decoder_;
  std::vector<uint8_t> kept_;  // data decoded outside Read, oldest first
  std::vector<uint8_t> scratch_;
  uint32_t rxError_ = 0;  // the connection ended: EIO or the socket error
  bool comPortAgreed_ = false;
  bool comPortRefused_ = false;
  uint32_t answered_ = 0;  // bit per command code
  uint32_t answerBaud_ = 0;
  uint8_t answerValue_[5] = {};  // by code: data size, parity, stop size
  uint8_t sentWill_[32] = {}, sentDo_[32] = {};  // option bitmaps
  mutable WakeEvent dataBell_;                   // data kept for Read
  mutable WakeEvent answerBell_;  // an answer or negotiation arrived

  std::mutex txMutex_;
  std::vector<uint8_t> txPending_;  // encoded, not yet taken by the socket
  std::vector<uint8_t> txScratch_;
  WakeEvent txBell_;  // for waits on a full socket; only rung spuriously

  // The server's word on the line format; what was last sent otherwise.
  SerialLineSettings current_;
  bool linesSent_ = false;
  std::atomic<uint32_t> modemBits_{0};
  mutable std::mutex countsMutex_;
  LineErrorCounts counts_;
};

}  // namespace q7k

#endif  // Q7K_PLATFORM_NETWORK_SERIAL_IO_H_
