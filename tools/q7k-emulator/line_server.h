// LineServer: serves the instrument protocol on a serial line from a worker
// thread: decodes request frames as they arrive, hands each to a handler,
// and writes the reply with the pacing, pauses and faults it asks for.
//
// Pacing: with a baud rate set, a request counts as received only once its
// line bytes could have crossed the wire (10 bits a byte), and replies leave
// at most baud / 10 bytes a second.
//
// The worker blocks in poll on the line and on a wake-up pipe; Stop wakes
// it. A closed line (the close fault, or a device that went away) is opened
// again at once: a new pseudo-terminal, with the symlink moved to it.
//
// With a listen address the line is a network client instead (one at a
// time; another is told so and closed), with Telnet com-port control for
// rfc2217://. A client that leaves, or a close fault, ends its connection;
// the next client is let in at the same address.
//
// Thread safety: Start, Stop and path may be called from any thread; the
// handler and the opened callback run on the worker thread.
#ifndef Q7K_EMULATOR_LINE_SERVER_H_
#define Q7K_EMULATOR_LINE_SERVER_H_

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "com_port_server.h"
#include "exchange_trace.h"
#include "faults.h"
#include "link/line_codec.h"
#include "responder.h"
#include "serial_line.h"
#include "tcp_listener.h"

namespace q7k {
namespace emu {

struct LineOptions {
  std::string device;         // empty: a new pseudo-terminal
  std::string linkPath;       // pseudo-terminal only: symlink to the host end
  uint32_t baud = 0;          // 0: no pacing
  uint32_t turnaroundMs = 0;  // extra pause before each reply
  bool loopback = false;      // echo every byte, like a loopback plug
  std::string tracePath;      // empty: no trace; "-": standard error
  std::string listen;         // rfc2217:// or socket:// URL, in place of a line
};

// What a second network client reads before its connection is closed.
extern const char kClientRefusedText[];

// The kLineError* kinds a replay can make the host see on this kind of
// line: all but an overflow of the host's own buffer through Telnet
// com-port control, a break on a serial device, none on a pseudo-terminal
// or a raw socket.
uint32_t ReproducibleLineErrors(const LineOptions& options);
// How the line is named in notes: "a pseudo-terminal", ...
const char* LineKind(const LineOptions& options);

// Time count bytes take on the wire at baud (10 bits a byte); 0 unpaced.
std::chrono::microseconds WireTime(size_t bytes, uint32_t baud);

class LineServer : private ComPortServer::Events {
 public:
  using Handler = std::function<Exchange(const uint8_t* frame, size_t size)>;
  using OpenedCallback = std::function<void(const std::string& path)>;
  using LostCallback = std::function<void(const std::string& why)>;

  LineServer(const LineOptions& options, Handler handler);
  ~LineServer();
  LineServer(const LineServer&) = delete;
  LineServer& operator=(const LineServer&) = delete;

  // Called with the new path whenever the line is opened again. REQUIRES:
  // before Start.
  void set_opened_callback(OpenedCallback callback) {
    opened_ = std::move(callback);
  }
  // Called on the worker, as it ends, when the line was lost and could not
  // be opened again: nothing is served any more. REQUIRES: before Start.
  void set_lost_callback(LostCallback callback) { lost_ = std::move(callback); }

  // Opens the line and starts the worker. False with error set when the
  // line or the trace cannot be opened. REQUIRES: not started.
  bool Start(std::string* error);
  // Stops the worker and closes the line; idempotent.
  void Stop();
  bool running() const { return running_; }
  // The path a host opens; empty while no line is open.
  std::string path() const;

 private:
  using Clock = std::chrono::steady_clock;

  bool OpenLine(std::string* error);
  void Run();
  void Consume(const uint8_t* bytes, size_t n);
  void Answer();
  // Sends tx with its line time counted from `from` at the earliest.
  void Transmit(const Transmission& tx, Clock::time_point from);
  // Writes with pacing, the bytes on the line from `from` or when the line
  // is free, whichever is later; false when stopping or the line failed.
  bool SendPaced(const uint8_t* p, size_t n, Clock::time_point from);
  // Each recorded chunk at its delay after from; false when the line or
  // the server stopped it half-way.
  bool Replay(const std::vector<ReplayChunk>& chunks, Clock::time_point from);
  // Lets the host read what was sent, then drops the line (a new one opens).
  void CloseLine();
  // Makes the host's port see the line errors, as far as this line can.
  void SignalLineErrors(uint32_t mask);
  // Line data: 0xFF doubled for a Telnet client.
  bool WriteAll(const uint8_t* p, size_t n);
  // Sleeps until deadline; false when Stop interrupted the sleep.
  bool SleepUntil(Clock::time_point deadline);
  // False with *failure set when the line cannot be opened again.
  bool Reopen(const std::string& why, std::string* failure);

  // The descriptor bytes go through: the line, or the network client (-1
  // while none is connected).
  int LineFd() const;
  // Bytes as they are.
  bool WriteLine(const uint8_t* p, size_t n);
  int Unconsumed() const;
  void AcceptClient();
  void DropClient(const std::string& why);
  // Bytes read from the line or the client.
  void Received(const uint8_t* bytes, size_t n);
  void OnLineData(const uint8_t* data, size_t n) override;
  void OnReply(const std::vector<uint8_t>& bytes) override;
  void OnPurge(uint8_t which) override;
  void OnBreak(bool on) override;

  LineOptions options_;
  Handler handler_;
  OpenedCallback opened_;
  LostCallback lost_;
  SerialLine line_;
  TcpListener listener_;
  int client_ = -1;
  ComPortServer comPort_;
  std::vector<uint8_t> escaped_;
  ExchangeTrace trace_;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::thread worker_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  bool lineLost_ = false;
  // Something arrived since the line was (re)opened.
  bool heard_ = false;
  mutable std::mutex pathMutex_;
  std::string path_;

  // Reception state of the worker.
  LineDecoder decoder_;
  std::vector<uint8_t> raw_;
  Clock::time_point firstByte_;
  Clock::time_point lastRead_;
  Clock::time_point lineFreeAt_;
};

}  // namespace emu
}  // namespace q7k

#endif  // Q7K_EMULATOR_LINE_SERVER_H_
