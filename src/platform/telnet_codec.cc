#include "platform/telnet_codec.h"

namespace q7k {

using namespace telnet;

void TelnetDecoder::Feed(const uint8_t* bytes, size_t n,
                         std::vector<uint8_t>* data, TelnetEvents* events) {
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = bytes[i];
    switch (state_) {
      case State::kData:
        if (b == kIac) {
          state_ = State::kIac;
        } else {
          data->push_back(b);
        }
        break;
      case State::kIac:
        if (b == kIac) {
          data->push_back(b);
          state_ = State::kData;
        } else if (b >= kWill && b <= kDont) {
          verb_ = b;
          state_ = State::kVerb;
        } else if (b == kSb) {
          sb_.clear();
          sbOverflow_ = false;
          state_ = State::kSb;
        } else {
          state_ = State::kData;  // NOP, GA, a stray SE...: nothing to do
        }
        break;
      case State::kVerb:
        events->OnNegotiation(verb_, b);
        state_ = State::kData;
        break;
      case State::kSb:
      case State::kSbData:
        if (b == kIac) {
          state_ = State::kSbIac;
        } else if (sb_.size() < kMaxSubnegotiation) {
          sb_.push_back(b);
          state_ = State::kSbData;
        } else {
          sbOverflow_ = true;
        }
        break;
      case State::kSbIac:
        if (b == kIac) {
          if (sb_.size() < kMaxSubnegotiation) {
            sb_.push_back(b);
          } else {
            sbOverflow_ = true;
          }
          state_ = State::kSbData;
        } else {
          // SE, or anything else a broken server puts there: either way
          // the subnegotiation ends.
          if (b == kSe && !sbOverflow_ && sb_.size() >= 2 &&
              sb_[0] == kComPort) {
            events->OnComPort(sb_[1], sb_.data() + 2, sb_.size() - 2);
          }
          state_ = State::kData;
        }
        break;
    }
  }
}

void AppendTelnetData(const uint8_t* bytes, size_t n,
                      std::vector<uint8_t>* out) {
  for (size_t i = 0; i < n; ++i) {
    out->push_back(bytes[i]);
    if (bytes[i] == kIac) out->push_back(kIac);
  }
}

void AppendTelnetNegotiation(uint8_t verb, uint8_t option,
                             std::vector<uint8_t>* out) {
  out->insert(out->end(), {kIac, verb, option});
}

void AppendComPortCommand(uint8_t code, const uint8_t* value, size_t n,
                          std::vector<uint8_t>* out) {
  out->insert(out->end(), {kIac, kSb, kComPort, code});
  AppendTelnetData(value, n, out);
  out->insert(out->end(), {kIac, kSe});
}

}  // namespace q7k
