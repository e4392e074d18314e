#include "com_port_server.h"

#include <algorithm>
#include <cstring>

namespace q7k {
namespace emu {
namespace {

// The one com-port command the port never sends; the others are in
// platform/telnet_codec.h.
constexpr uint8_t kSignature = 0;

constexpr uint8_t kModemCts = 0x10;
constexpr uint8_t kModemDsr = 0x20;
constexpr uint8_t kModemCarrier = 0x80;

constexpr uint32_t kInstrumentRates[] = {9600,  14400,  19200, 38400,
                                         57600, 112500, 128000};
constexpr char kSignatureText[] = "q7k-emulator";

bool Supported(uint8_t option) {
  return option == telnet::kBinary || option == telnet::kSuppressGoAhead ||
         option == telnet::kComPort;
}

}  // namespace

ComPortServer::ComPortServer(uint32_t pacedBaud, Events* events)
    : pacedBaud_(pacedBaud), events_(events) {
  Reset();
}

void ComPortServer::Reset() {
  parser_.Reset();
  settings_ = ComPortSettings();
  if (pacedBaud_ != 0) settings_.baud = pacedBaud_;
  peerWill_.fill(false);
  weWill_.fill(false);
  modemMask_ = 0;
  lineMask_ = 0;
}

bool ComPortServer::RateTaken(uint32_t baud) const {
  return baud == pacedBaud_ ||
         std::find(std::begin(kInstrumentRates), std::end(kInstrumentRates),
                   baud) != std::end(kInstrumentRates);
}

void ComPortServer::OnData(const uint8_t* data, size_t n) {
  events_->OnLineData(data, n);
}

void ComPortServer::OnNegotiation(uint8_t verb, uint8_t option) {
  // Only a change of state is answered, so two agreeing ends never loop.
  const bool peerSide = verb == telnet::kWill || verb == telnet::kWont;
  const bool wantOn = verb == telnet::kWill || verb == telnet::kDo;
  bool& on = peerSide ? peerWill_[option] : weWill_[option];
  uint8_t reply = 0;
  if (wantOn && !on) {
    on = Supported(option);
    if (peerSide) {
      reply = on ? telnet::kDo : telnet::kDont;
    } else {
      reply = on ? telnet::kWill : telnet::kWont;
    }
  } else if (!wantOn && on) {
    on = false;
    reply = peerSide ? telnet::kDont : telnet::kWont;
  }
  if (reply != 0) events_->OnReply({telnet::kIac, reply, option});
}

void ComPortServer::Answer(uint8_t command, const uint8_t* value, size_t n) {
  std::vector<uint8_t> out;
  AppendComPortCommand(static_cast<uint8_t>(command + telnet::kServerOffset),
                       value, n, &out);
  events_->OnReply(out);
}

void ComPortServer::OnSubnegotiation(uint8_t option, const uint8_t* body,
                                     size_t n) {
  if (option != telnet::kComPort || n == 0) return;
  const uint8_t command = body[0];
  const uint8_t* value = body + 1;
  const size_t size = n - 1;
  uint8_t one = size > 0 ? value[0] : 0;
  switch (command) {
    case kSignature:
      Answer(command, reinterpret_cast<const uint8_t*>(kSignatureText),
             std::strlen(kSignatureText));
      break;
    case telnet::kSetBaudRate: {
      if (size < 4) return;
      const uint32_t asked = static_cast<uint32_t>(value[0]) << 24 |
                             static_cast<uint32_t>(value[1]) << 16 |
                             static_cast<uint32_t>(value[2]) << 8 | value[3];
      if (asked != 0 && RateTaken(asked)) settings_.baud = asked;
      const uint32_t b = settings_.baud;
      const uint8_t be[4] = {
          static_cast<uint8_t>(b >> 24), static_cast<uint8_t>(b >> 16),
          static_cast<uint8_t>(b >> 8), static_cast<uint8_t>(b)};
      Answer(command, be, 4);
      break;
    }
    case telnet::kSetDataSize:
      Answer(command, &settings_.dataSize, 1);
      break;
    case telnet::kSetParity:
      Answer(command, &settings_.parity, 1);
      break;
    case telnet::kSetStopSize:
      Answer(command, &settings_.stopSize, 1);
      break;
    case telnet::kSetControl:
      if (size > 0) Control(one);
      break;
    case telnet::kSetLineStateMask:
      // The line has no errors of its own; replayed ones obey the mask.
      lineMask_ = one;
      Answer(command, &one, 1);
      break;
    case telnet::kSetModemStateMask: {
      modemMask_ = one;
      Answer(command, &one, 1);
      const uint8_t state =
          (kModemCts | kModemDsr | kModemCarrier) & modemMask_;
      if (modemMask_ != 0) Answer(telnet::kNotifyModemState, &state, 1);
      break;
    }
    case telnet::kPurgeData:
      if (one < 1 || one > 3) return;
      events_->OnPurge(one);
      Answer(command, &one, 1);
      break;
    default:
      break;  // notifications and flow suspension need no answer
  }
}

void ComPortServer::Control(uint8_t value) {
  uint8_t answer = 0;
  if (value <= 3) {
    answer = 1;  // outbound flow control: none, whatever was asked
  } else if (value <= 6) {
    if (value != 4 && settings_.lineBreak != (value == 5)) {
      settings_.lineBreak = value == 5;
      events_->OnBreak(settings_.lineBreak);
    }
    answer = settings_.lineBreak ? 5 : 6;
  } else if (value <= 9) {
    if (value != 7) settings_.dtr = value == 8;
    answer = settings_.dtr ? 8 : 9;
  } else if (value <= 12) {
    if (value != 10) settings_.rts = value == 11;
    answer = settings_.rts ? 11 : 12;
  } else if (value <= 19) {
    answer = 14;  // inbound flow control: none
  } else {
    return;
  }
  Answer(telnet::kSetControl, &answer, 1);
}

}  // namespace emu
}  // namespace q7k
