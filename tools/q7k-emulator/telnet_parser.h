// TelnetParser: splits a Telnet byte stream into data and commands, for the
// emulator's network listener. Data bytes (IAC IAC taken as one 0xFF) go to
// the handler in runs; option negotiation (WILL, WONT, DO, DONT) and
// subnegotiations (SB ... SE, their IAC IAC unescaped) are reported as they
// complete, in stream order with the data. Other two-byte commands (NOP,
// GA, ...) are dropped. A command may be split across any number of Feed
// calls. The data is taken as binary throughout: a peer that never
// negotiates BINARY still gets no CR/NUL translation.
//
// The constants and the encoders are the port's own (platform/
// telnet_codec.h); this decoder keeps data and commands in stream order,
// which a server needs and the port's decoder does not give.
//
// Thread safety: none; one parser per connection.
#ifndef Q7K_EMULATOR_TELNET_PARSER_H_
#define Q7K_EMULATOR_TELNET_PARSER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/telnet_codec.h"

namespace q7k {
namespace emu {
class TelnetParser {
 public:
  class Handler {
   public:
    virtual ~Handler() = default;
    virtual void OnData(const uint8_t* data, size_t n) = 0;
    // verb is kWill, kWont, kDo or kDont.
    virtual void OnNegotiation(uint8_t verb, uint8_t option) = 0;
    // body is what followed the option byte, unescaped; cut at kMaxBody.
    virtual void OnSubnegotiation(uint8_t option, const uint8_t* body,
                                  size_t n) = 0;
  };

  // Longer subnegotiations are cut here: no command this side takes is
  // near it, and a peer must not make the parser grow without end.
  static constexpr size_t kMaxBody = 64;

  void Feed(const uint8_t* in, size_t n, Handler* handler);
  void Reset();

 private:
  enum class State { kData, kIac, kVerb, kSbOption, kSbBody, kSbIac };

  State state_ = State::kData;
  uint8_t verb_ = 0;
  uint8_t option_ = 0;
  std::vector<uint8_t> body_;
};

}  // namespace emu
}  // namespace q7k

#endif  // Q7K_EMULATOR_TELNET_PARSER_H_
