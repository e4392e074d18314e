// TelnetDecoder / telnet encoding: the byte-level half of a network serial
// port that speaks Telnet with the COM-port-control option. The decoder
// splits what a server sends into data bytes (with 0xFF unescaped), option
// negotiations and COM-port-control answers; the encoders build what the
// port sends. No I/O here, so the decoder can be fed arbitrary bytes.
//
// Thread safety: a decoder belongs to one thread at a time.
#ifndef Q7K_PLATFORM_TELNET_CODEC_H_
#define Q7K_PLATFORM_TELNET_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace q7k {

namespace telnet {
inline constexpr uint8_t kIac = 255;
inline constexpr uint8_t kDont = 254;
inline constexpr uint8_t kDo = 253;
inline constexpr uint8_t kWont = 252;
inline constexpr uint8_t kWill = 251;
inline constexpr uint8_t kSb = 250;
inline constexpr uint8_t kSe = 240;

inline constexpr uint8_t kBinary = 0;
inline constexpr uint8_t kSuppressGoAhead = 3;
inline constexpr uint8_t kComPort = 44;

// COM-port-control commands as the client sends them; a server answers
// with the same code plus kServerOffset.
inline constexpr uint8_t kSetBaudRate = 1;
inline constexpr uint8_t kSetDataSize = 2;
inline constexpr uint8_t kSetParity = 3;
inline constexpr uint8_t kSetStopSize = 4;
inline constexpr uint8_t kSetControl = 5;
inline constexpr uint8_t kNotifyLineState = 6;
inline constexpr uint8_t kNotifyModemState = 7;
inline constexpr uint8_t kSetLineStateMask = 10;
inline constexpr uint8_t kSetModemStateMask = 11;
inline constexpr uint8_t kPurgeData = 12;
inline constexpr uint8_t kServerOffset = 100;

// SET-CONTROL values.
inline constexpr uint8_t kFlowNone = 1;
inline constexpr uint8_t kFlowXonXoff = 2;
inline constexpr uint8_t kFlowHardware = 3;
inline constexpr uint8_t kBreakOn = 5;
inline constexpr uint8_t kBreakOff = 6;
inline constexpr uint8_t kDtrOn = 8;
inline constexpr uint8_t kDtrOff = 9;
inline constexpr uint8_t kRtsOn = 11;
inline constexpr uint8_t kRtsOff = 12;

// PURGE-DATA values: the server's receive buffer (bytes on their way to
// the client) and its transmit buffer (bytes on their way to the device).
inline constexpr uint8_t kPurgeReceive = 1;
inline constexpr uint8_t kPurgeTransmit = 2;

// NOTIFY-LINESTATE bits.
inline constexpr uint8_t kLineOverrun = 0x02;
inline constexpr uint8_t kLineParity = 0x04;
inline constexpr uint8_t kLineFraming = 0x08;
inline constexpr uint8_t kLineBreak = 0x10;
}  // namespace telnet

// What the decoder found besides data.
class TelnetEvents {
 public:
  virtual ~TelnetEvents() = default;
  // verb is kWill, kWont, kDo or kDont.
  virtual void OnNegotiation(uint8_t verb, uint8_t option) = 0;
  // A COM-port-control subnegotiation from the server: its code (with
  // kServerOffset) and the unescaped value bytes.
  virtual void OnComPort(uint8_t code, const uint8_t* value, size_t n) = 0;
};

class TelnetDecoder {
 public:
  // Subnegotiations longer than this are dropped whole: no answer of the
  // option is longer, and a server must not make the port grow a buffer.
  static constexpr size_t kMaxSubnegotiation = 64;

  // Decodes n received bytes; data bytes go to data (which grows by at most
  // n), everything else to events. Sequences may be cut anywhere.
  void Feed(const uint8_t* bytes, size_t n, std::vector<uint8_t>* data,
            TelnetEvents* events);

 private:
  enum class State { kData, kIac, kVerb, kSb, kSbData, kSbIac };
  State state_ = State::kData;
  uint8_t verb_ = 0;
  bool sbOverflow_ = false;
  std::vector<uint8_t> sb_;
};

// Appends bytes to out with every 0xFF doubled.
void AppendTelnetData(const uint8_t* bytes, size_t n,
                      std::vector<uint8_t>* out);
// Appends IAC verb option.
void AppendTelnetNegotiation(uint8_t verb, uint8_t option,
                             std::vector<uint8_t>* out);
// Appends a COM-port-control subnegotiation with code and value (escaped).
void AppendComPortCommand(uint8_t code, const uint8_t* value, size_t n,
                          std::vector<uint8_t>* out);

}  // namespace q7k

#endif  // Q7K_PLATFORM_TELNET_CODEC_H_
