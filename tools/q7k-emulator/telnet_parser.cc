#include "telnet_parser.h"

namespace q7k {
namespace emu {

void TelnetParser::Reset() {
  state_ = State::kData;
  body_.clear();
}

void TelnetParser::Feed(const uint8_t* in, size_t n, Handler* handler) {
  size_t run = 0;  // start of the pending data run
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = in[i];
    switch (state_) {
      case State::kData:
        if (b == telnet::kIac) {
          if (i > run) handler->OnData(in + run, i - run);
          state_ = State::kIac;
        }
        continue;
      case State::kIac:
        if (b == telnet::kIac) {
          handler->OnData(&b, 1);
          state_ = State::kData;
        } else if (b >= telnet::kWill) {
          verb_ = b;
          state_ = State::kVerb;
        } else if (b == telnet::kSb) {
          state_ = State::kSbOption;
        } else {
          state_ = State::kData;  // a command without an option: nothing
        }
        break;
      case State::kVerb:
        handler->OnNegotiation(verb_, b);
        state_ = State::kData;
        break;
      case State::kSbOption:
        option_ = b;
        body_.clear();
        state_ = b == telnet::kIac ? State::kSbIac : State::kSbBody;
        break;
      case State::kSbBody:
        if (b == telnet::kIac) {
          state_ = State::kSbIac;
        } else if (body_.size() < kMaxBody) {
          body_.push_back(b);
        }
        break;
      case State::kSbIac:
        if (b == telnet::kSe) {
          handler->OnSubnegotiation(option_, body_.data(), body_.size());
          body_.clear();
          state_ = State::kData;
        } else {
          // IAC IAC is a 0xFF of the body; IAC with anything else inside a
          // subnegotiation is malformed and taken as that byte too.
          if (body_.size() < kMaxBody) body_.push_back(b);
          state_ = State::kSbBody;
        }
        break;
    }
    run = i + 1;
  }
  if (state_ == State::kData && n > run) handler->OnData(in + run, n - run);
}

}  // namespace emu
}  // namespace q7k
