// SerialDevice: the abstract serial-device interface the link talks to, with
// the answers a device gives for what it does not support.
//
// The virtual functions are declared in the order of the device's operation
// table: the fifteen transfer, count, line and error-flag operations every
// device must provide, then the optional ones with their defaults. Results
// are 0 or a positive value on success and a negative LinkErrorNumber
// (link/link_errors.h) on failure; an optional operation a device lacks
// answers kPortNotSupported (-99).
//
// Thread safety: as the implementing device documents; the defaults here keep
// no state.
#ifndef Q7K_LINK_SERIAL_DEVICE_H_
#define Q7K_LINK_SERIAL_DEVICE_H_

#include <cstdint>

namespace q7k {

class SerialDevice {
 public:
  SerialDevice() = default;
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // Moves up to max received bytes into buffer and writes a zero byte after
  // them. REQUIRES: buffer holds max + 1 bytes.
  virtual int32_t Read(uint8_t* buffer, int32_t max) = 0;
  // Queues count bytes for sending.
  virtual int32_t Write(const uint8_t* bytes, int32_t count) = 0;
  // The next received byte (0..255), or a negative status.
  virtual int32_t ReadByte() = 0;
  virtual int32_t WriteByte(uint8_t b) = 0;
  // Line format; -1 keeps a setting. parity is a letter (N, O, E, M, S).
  virtual int32_t Configure(int32_t baud, int32_t parity, int32_t dataBits,
                            int32_t stopBits) = 0;
  virtual int32_t TxFree() = 0;
  virtual int32_t RxCount() = 0;
  // Modem lines: 1 on, 0 off.
  virtual int32_t CarrierDetect() = 0;
  virtual int32_t RingIndicator() = 0;
  virtual int32_t ClearToSend() = 0;
  virtual int32_t DataSetReady() = 0;
  // Line error flags (1 seen since last cleared, 0 not); clear other than -1
  // and 0 clears the flag after reading it.
  virtual int32_t ParityError(int32_t clear) = 0;
  virtual int32_t BreakDetected(int32_t clear) = 0;
  virtual int32_t FramingError(int32_t clear) = 0;
  virtual int32_t OverrunError(int32_t clear) = 0;

  virtual ~SerialDevice();

  // Holds the line in break for the given milliseconds.
  virtual int32_t SendBreak(int32_t milliseconds);
  // Copies up to max received bytes without taking them, plus a zero byte.
  // REQUIRES: buffer holds max + 1 bytes.
  virtual int32_t Peek(uint8_t* buffer, int32_t max);
  virtual int32_t ReceiveOverflow(int32_t clear);
  // Flow-control and line setters: on = -1 only queries, otherwise 0 off and
  // anything else on. Return the setting, or a negative status.
  virtual int32_t SetXonXoff(int32_t on);
  virtual int32_t SetCtsHandshake(int32_t on);
  virtual int32_t SetDsrHandshake(int32_t on);
  virtual int32_t SetDtr(int32_t on);
  virtual int32_t SetRts(int32_t on);
  virtual int32_t RxFree();
  virtual int32_t TxCount();
  // Always 0.
  virtual int32_t Reserved();
  // Discard queued output / received input.
  virtual int32_t PurgeTx();
  // The default reads and discards, 32 bytes at a time, whatever RxCount
  // reports as waiting, and returns the first non-zero Read result, else 0.
  virtual int32_t PurgeRx();
  // The message catalog id for a status code: 0 -> 7424, -95 -> 7429,
  // -96 -> 7430, -97 -> 7431, -98 -> 7432, -99 -> 7433, -198 -> 7428,
  // -199 -> 7427, anything else -> 7425.
  virtual int32_t ErrorMessageId(int32_t code);
  // The same mapping without a device, for readers of recorded codes.
  static int32_t StatusMessageId(int32_t code);
};

}  // namespace q7k

#endif  // Q7K_LINK_SERIAL_DEVICE_H_
