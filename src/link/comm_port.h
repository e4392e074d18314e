// CommPort: one open serial device with its reader and writer threads and
// its two byte queues; the SerialDevice the instrument link is built on.
//
// Write and WriteByte put bytes into the TxQueue and ring the writer
// thread, which hands them to the device at most 512 at a time and sends
// line breaks on request. The reader thread moves received bytes, at most
// 256 at a time, into the RxQueue, where Read, ReadByte and Peek take them;
// it stops reading while the RxQueue is full, so input then backs up in the
// device.
//
// The client-thread path (WriteDirect, ReadDirect) skips the thread
// hand-offs that otherwise dominate a short exchange: the client writes
// itself while the writer thread has nothing to send, and reads the device
// itself while the reader thread is parked. ReadDirect parks the reader
// (it then watches only for a hang-up, and for modem lines where the
// device has them); Read, ReadByte, Peek, RxCount, RxFree and WaitForRx
// send it back to reading. Bytes that arrive while it is parked wait in
// the device, and PurgeRx drops them there as before.
// Both threads block in the platform's wait (SerialIo::Wait) with a wake-up
// event each, the writer on the clock (platform/clock.h) while it holds a
// break; nothing spins. The client's waits run on the clock too.
//
// Status: 0 while healthy, else the LinkErrorNumber (link/link_errors.h) of
// the first failure. It never returns to 0: Read, Write, ReadByte, WriteByte
// and the setters return it at once; Peek, the purges and the line-error
// queries return it when negative. The owner destroys a failed port and
// creates a new one. A device that fails under the threads (unplugged, or
// the far end of a pseudo-terminal closed) fails the port with -197 and
// ends both threads.
//
// Device names: the name as port creation builds it ("COM3", "\\.\COM12")
// is mapped to a device path by the host's port-name mapping (q7kcomm/
// host.h); any other name is opened as a path as it stands.
//
// Thread safety: every public method belongs to one client thread, except
// the const accessors status() and osError(), which any thread may call.
// The hooks (OnReceived ...) run on the reader or writer thread. The
// queues carry their own locks; status, line errors, modem status and the
// break length are atomics.
//
// Lifetime of the threads: the public constructor starts them as its last
// step and the destructor stops them first. A derived class whose
// constructor or destructor must not overlap with the threads (any class
// with a destructor or hook overrides; a thread calling a virtual hook while
// the object's dynamic type changes is a data race) constructs with
// ThreadStart::kByDerivedClass, calls StartThreads() at the end of its own
// constructor and StopThreads() at the start of its destructor. With
// ThreadStart::kWhenNeeded the threads start at the first call that needs
// one (the queued transfers and counts, WaitForRx, SendBreak, the line-state
// queries, a WriteDirect the device does not take whole), never during
// construction; the client-thread path alone never starts them. A new
// thread makes the exchanges after it slower for a while on an idle machine
// (docs/performance.md), and a direct-path client has no use for them; a
// hang-up then shows at the next transfer instead of at once.
#ifndef Q7K_LINK_COMM_PORT_H_
#define Q7K_LINK_COMM_PORT_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "link/byte_queue.h"
#include "link/port_settings.h"
#include "link/serial_device.h"
#include "link/session_recorder.h"
#include "link/transfer.h"
#include "platform/serial_io.h"
#include "platform/wake_event.h"

namespace q7k {

inline constexpr size_t kPortQueueCapacity = 2048;
inline constexpr size_t kReadBlockSize = 256;   // reader: bytes per read
inline constexpr size_t kWriteBlockSize = 512;  // writer: bytes per write
inline constexpr int32_t kMaxBreakMs = 1000;
// Devices with modem lines are sampled this often for line changes (the
// platform offers no wake-up for them).
inline constexpr int32_t kModemSampleMs = 100;

// Line error flags, as the line-error queries and lineErrors report them.
inline constexpr uint32_t kLineReceiveOverflow = 0x01;
inline constexpr uint32_t kLineOverrun = 0x02;
inline constexpr uint32_t kLineParity = 0x04;
inline constexpr uint32_t kLineFraming = 0x08;
inline constexpr uint32_t kLineBreak = 0x10;

class CommPort : public SerialDevice {
 public:
  enum class ThreadStart { kAtConstruction, kByDerivedClass, kWhenNeeded };

  // Opens name and configures it with settings. The port exists even when
  // opening failed: status() then says why (-198 no such device, -199 in
  // use, -95..-97 a bad setting, -196/-197 the device refused) and no
  // threads run.
  CommPort(const std::string& name, const PortSettings& settings);
  // Stops both threads (a pending write is aborted, a break cut short),
  // closes the device, then discards the RxQueue and the TxQueue.
  ~CommPort() override;

  // --- SerialDevice ---------------------------------------------------
  // Takes up to max bytes from the RxQueue, writes a zero byte after them;
  // lastCount() = bytes taken. Fewer than max fails the port with -98.
  // Returns status. REQUIRES: buffer holds max + 1 bytes.
  int32_t Read(uint8_t* buffer, int32_t max) override;
  // Queues as many of count bytes as fit; lastCount() = bytes queued. Not
  // all fitting fails the port with -98. Returns status.
  int32_t Write(const uint8_t* bytes, int32_t count) override;
  // The next received byte; none fails the port with -98.
  int32_t ReadByte() override;
  // Queues b; a full TxQueue fails the port with -98. Returns status.
  int32_t WriteByte(uint8_t b) override;
  // Stores the settings that are not -1 and applies them; returns the
  // result (0, -95..-97, -196, -197) without making it the status. A
  // rejected setting leaves the port running with its previous value.
  int32_t Configure(int32_t baud, int32_t parity, int32_t dataBits,
                    int32_t stopBits) override;
  int32_t TxFree() override;
  int32_t RxCount() override;
  // Modem lines from the reader thread's last look (0 on devices without
  // them).
  int32_t CarrierDetect() override;
  int32_t RingIndicator() override;
  int32_t ClearToSend() override;
  int32_t DataSetReady() override;
  // Line errors since the device was opened: 1 seen, 0 not, or a negative
  // status; clear other than -1 and 0 clears the flag after reading it.
  int32_t ParityError(int32_t clear) override;
  int32_t BreakDetected(int32_t clear) override;
  int32_t FramingError(int32_t clear) override;
  int32_t OverrunError(int32_t clear) override;
  // The writer thread holds the line in break for min(milliseconds, 1000)
  // (negative counts as 0) once the bytes queued before the call went out;
  // bytes queued after it follow the break. Returns 0.
  int32_t SendBreak(int32_t milliseconds) override;
  // Copies up to max waiting bytes without taking them, plus a zero byte;
  // lastCount() = bytes copied. Returns 0 or a negative status.
  // REQUIRES: buffer holds max + 1 bytes.
  int32_t Peek(uint8_t* buffer, int32_t max) override;
  int32_t ReceiveOverflow(int32_t clear) override;
  // on = -1 queries; otherwise sets the flag and applies the settings,
  // making a failure the status. SetDtr under the DSR handshake and SetRts
  // under the CTS handshake fail the port with -195. Return the flag (0 or
  // 1) or the status.
  int32_t SetXonXoff(int32_t on) override;
  int32_t SetCtsHandshake(int32_t on) override;
  int32_t SetDsrHandshake(int32_t on) override;
  int32_t SetDtr(int32_t on) override;
  int32_t SetRts(int32_t on) override;
  int32_t RxFree() override;
  int32_t TxCount() override;
  // Discards the TxQueue, the device's pending output and whatever part of
  // a block the writer thread had not yet handed over. 0 or a negative
  // status.
  int32_t PurgeTx() override;
  // Discards the RxQueue, the device's pending input and bytes the reader
  // thread has read but not queued: every byte received before the call is
  // gone, every byte received after it is kept. 0 or a negative status.
  int32_t PurgeRx() override;
  // -195 -> 7434, -196 -> 7435, -197 -> 7436; -200..-198, -100..-95 and
  // codes >= 0 as SerialDevice; any other negative code -> 7425.
  int32_t ErrorMessageId(int32_t code) override;
  static int32_t StatusMessageId(int32_t code);

  // --- Hooks: called on the port's threads; CommPort's do nothing. ------
  // Reader thread: count bytes were just queued.
  virtual void OnReceived(int32_t count);
  // Writer thread: the TxQueue ran empty (also once when it starts).
  virtual void OnTransmitEmpty();
  // Reader thread, when the device reports the line error.
  virtual void OnParityError();
  virtual void OnFramingError();
  virtual void OnOverrunError();
  virtual void OnReceiveOverflow();
  virtual void OnBreak();
  // Reader thread: once at start with the line's state (ring with 0), then
  // on every change seen; ring only when it goes off.
  virtual void OnCtsChange(int32_t state);
  virtual void OnDsrChange(int32_t state);
  virtual void OnCarrierChange(int32_t state);
  virtual void OnRingChange(int32_t state);

  // --- Client-thread path --------------------------------------------------
  // As Write, but while nothing is queued, in the writer thread's hands or
  // waiting for a break, the calling thread writes to the device itself;
  // what the device does not take at once is queued for the writer thread.
  // A device write failure fails the port with -197.
  int32_t WriteDirect(const uint8_t* bytes, int32_t count);
  // Takes up to max received bytes into buffer on the calling thread: the
  // RxQueue's first, then the device's, in arrival order. With none
  // there, waits on the device until bytes arrive, the status is not 0, or
  // deadline (on the current clock) passes, and takes again. The bytes
  // taken (0: none yet, the caller checks its time) and the status. Parks
  // the reader thread.
  // REQUIRES: the current clock RunsInRealTime().
  PortTransfer ReadDirect(uint8_t* buffer, size_t max,
                          std::chrono::steady_clock::time_point deadline);

  // --- Blocking waits for the client thread ------------------------------
  // Sleeps until RxCount() > haveCount, the status is not 0, or timeout
  // passed. True unless it timed out.
  bool WaitForRx(size_t haveCount, std::chrono::milliseconds timeout);
  // Sleeps until the writer thread has taken every queued byte (TxCount()
  // is 0; they may still be on their way down the line), the status is not
  // 0, or timeout passed. True unless it timed out.
  bool WaitTxDrained(std::chrono::milliseconds timeout);
  // Sleeps until neither thread runs (a failed device ends them). True
  // unless it timed out.
  bool WaitThreadsEnded(std::chrono::milliseconds timeout);

  // --- State ---------------------------------------------------------------
  int32_t status() const { return status_.load(); }
  // Bytes moved by the last Read, Write or Peek.
  int32_t lastCount() const { return lastCount_; }
  // The operating system's code saved with a -197, -198 or -199 failure.
  uint32_t osError() const { return osError_.load(); }
  // The name as given, and the device path it was mapped to.
  const std::string& name() const { return name_; }
  const std::string& devicePath() const { return devicePath_; }
  uint32_t baud() const { return baud_; }
  char parity() const { return parity_; }
  int32_t dataBits() const { return dataBits_; }
  int32_t stopBits() const { return stopBits_; }
  // Length of the next break in milliseconds.
  int32_t breakMs() const { return breakMs_.load(); }

 protected:
  // As the public constructor; with kByDerivedClass the threads wait for
  // StartThreads(), with kWhenNeeded for the first call that needs them.
  CommPort(ThreadStart start, const std::string& name,
           const PortSettings& settings);

  // Starts the reader, then the writer thread, if the device is open and
  // they have not run yet. A thread that cannot start fails the port with
  // -197 and leaves it without device and threads.
  void StartThreads();
  // Stops and joins both threads, ends the session's recording and closes
  // the device. Idempotent; the destructor calls it too.
  void StopThreads();

  // The session's recorder (link/session_recorder.h), null when the session
  // is not recorded.
  SessionRecorder* recorder() const { return recorder_.get(); }

 private:
  // Line settings (comm_port_settings.cc). ApplySettings puts them into the
  // device: 0, a validation failure (-95..-97, the last one found; the valid
  // settings still reach the device), -196 or -197.
  void ReadDeviceSettings();
  void TakeSettings(const PortSettings& settings);
  int32_t ApplySettings();
  int32_t SetFlag(bool* field, int32_t on);

  // Failures (comm_port.cc). Fail makes code the status unless one is set
  // already and returns the status; an open failure is -198, -199 or -197
  // by the kind of error; a failure of the device under the threads is
  // -197 and ends both threads.
  int32_t Fail(int32_t code);
  void RecordOpenFailure(uint32_t error);
  // The open event of the recording: the settings the device took.
  void RecordOpen();
  void FailDevice(uint32_t error);
  // Starts the threads if they wait to be needed (kWhenNeeded).
  void NeedThreads();
  // The device's non-blocking transfers.
  DeviceTransfer ReadDevice(uint8_t* buffer, size_t n);
  DeviceTransfer WriteDevice(const uint8_t* bytes, size_t n);

  // Client-thread path (comm_port_direct.cc). ParkReader stops the reader
  // thread reading the device, UnparkReader sends it back to reading (and
  // starts the threads when they wait to be needed).
  void ParkReader();
  void UnparkReader();
  // ReadDirect's take: the RxQueue, then the device when readDevice.
  DeviceTransfer TakeDirect(uint8_t* buffer, size_t max, bool readDevice);

  // Waking the client thread (comm_port_waits.cc): everything (failures,
  // purges), or only a drain wait, so that the writer taking bytes does not
  // wake a reply wait for nothing.
  void NotifyWaiters();
  void NotifyDrainWaiters();
  void ThreadEnded();

  // Reader thread (comm_port_reader.cc).
  void ReaderLoop();
  bool ReaderHasRoom();
  // Rings the reader if it stopped reading for want of space.
  void WakeReaderForSpace();
  DeviceTransfer ReadIntoQueue(uint8_t* block);

  // Modem lines and line errors, sampled on the reader thread
  // (comm_port_line_state.cc).
  void StartModemLines();
  void SampleModemLines();
  void CheckLineErrors();
  void RecordModemLines(uint32_t bits);
  int32_t ModemLine(uint32_t bit);
  int32_t LineErrorFlag(uint32_t bit, int32_t clear);

  // Writer thread (comm_port_writer.cc). WriteBlock and HoldBreak return
  // true when the thread must end.
  void WriterLoop();
  bool WriteBlock(const uint8_t* block, size_t n, uint64_t purges);
  bool HoldBreak();

  const std::string name_;
  std::string devicePath_;
  const ThreadStart threadStart_;
  // Made before the device opens so that a failed open is recorded too;
  // reset by StopThreads once the threads have ended.
  std::unique_ptr<SessionRecorder> recorder_;

  // The settings as the client gave them.
  uint32_t baud_ = 0;
  char parity_ = 'N';
  int32_t dataBits_ = 8;
  int32_t stopBits_ = 1;
  bool dtr_ = true;
  bool rts_ = true;
  bool xonXoff_ = false;
  bool ctsHandshake_ = false;
  bool dsrHandshake_ = false;

  std::atomic<int32_t> status_{0};
  int32_t lastCount_ = 0;
  SerialIo io_;
  std::atomic<int32_t> breakMs_{0};
  // The reader found the RxQueue full and waits to be rung for space.
  std::atomic<bool> readerWantsSpace_{false};
  // The client reads the device itself; the reader leaves it alone.
  std::atomic<bool> readerParked_{false};

  ByteQueue txQueue_{kPortQueueCapacity};
  ByteQueue rxQueue_{kPortQueueCapacity};
  SerialLineSettings settings_;  // the device settings block

  std::atomic<uint32_t> lineErrors_{0};
  std::atomic<uint32_t> modemStatus_{0};
  std::atomic<uint32_t> osError_{0};

  // Reader thread only (set up before it starts).
  LineErrorCounts errorCounts_;
  bool hasErrorCounts_ = false;
  bool hasModemLines_ = false;

  WakeEvent readerWake_;  // stop, rx space
  WakeEvent writerWake_;  // stop, tx ready, break request, purge
  WakeEvent clientWake_;  // ReadDirect: bytes queued, failure
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> deviceFailed_{false};

  // Held by the reader from read() to queueing the bytes, and by PurgeRx.
  std::mutex rxPurgeMutex_;
  // Held by the writer while taking or writing a block, by PurgeTx, by
  // SendBreak and by WriteDirect; guards the five members after it.
  std::mutex txPurgeMutex_;
  uint64_t txPurgeCount_ = 0;
  bool breakPending_ = false;
  bool breakHeld_ = false;       // the writer holds the line in break
  size_t bytesBeforeBreak_ = 0;  // queued before the pending break
  size_t bytesInFlight_ = 0;     // taken by the writer, not yet written

  std::mutex waitMutex_;
  std::condition_variable waitCondition_;   // rx waits, threads ending
  std::condition_variable drainCondition_;  // tx drain waits
  int runningThreads_ = 0;                  // guarded by waitMutex_

  std::thread reader_;
  std::thread writer_;
};

}  // namespace q7k

#endif  // Q7K_LINK_COMM_PORT_H_
