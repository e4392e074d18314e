#include "eeprom/board_reads.h"

#include "link/command_codes.h"

namespace q7k {
namespace {

// One exchange of command for the address, decoded by decode once the reply
// holds replyBytes.
template <typename Decode>
bool Read(const CommandChannel& channel, uint16_t command, int16_t slot,
          int16_t subslot, int16_t location, size_t replyBytes, Decode decode) {
  const auto w = BoardAddress(slot, subslot, location);
  return channel.Exchange(command, w.data(), w.size(), replyBytes,
                          [&decode](const uint8_t* p, size_t) {
                            decode(p);
                            return true;
                          });
}

}  // namespace

PayloadWriter BoardAddress(int16_t slot, int16_t subslot, int16_t location) {
  PayloadWriter w;
  w.U16(static_cast<uint16_t>(slot))
      .U16(static_cast<uint16_t>(subslot))
      .U16(static_cast<uint16_t>(location));
  return w;
}

bool ReadBoardWord(const CommandChannel& channel, int16_t slot, int16_t subslot,
                   int16_t location, int16_t* out) {
  *out = 0;
  return Read(channel, cmd::kReadInt, slot, subslot, location, 2,
              [out](const uint8_t* p) { *out = LoadI16(p); });
}

bool ReadBoardLong(const CommandChannel& channel, int16_t slot, int16_t subslot,
                   int16_t location, int32_t* out) {
  *out = 0;
  return Read(channel, cmd::kReadLong, slot, subslot, location, 4,
              [out](const uint8_t* p) { *out = LoadI32(p); });
}

bool ReadBoardFloat(const CommandChannel& channel, int16_t slot,
                    int16_t subslot, int16_t location, float* out) {
  *out = 0.0f;
  return Read(channel, cmd::kReadLong, slot, subslot, location, 4,
              [out](const uint8_t* p) { *out = LoadF32(p); });
}

bool ReadBoard32(const CommandChannel& channel, int16_t slot, int16_t subslot,
                 int16_t location, int16_t* words, int16_t* sum) {
  return Read(channel, cmd::kRead32, slot, subslot, location, 2 * kBlockWords,
              [words, sum](const uint8_t* p) {
                uint16_t total = static_cast<uint16_t>(*sum);
                for (int i = 0; i < kBlockWords; ++i) {
                  words[i] = LoadI16(p + 2 * i);
                  total = static_cast<uint16_t>(total + LoadU16(p + 2 * i));
                }
                *sum = static_cast<int16_t>(total);
              });
}

bool ReadBoardFloat16(const CommandChannel& channel, int16_t slot,
                      int16_t subslot, int16_t location, float* floats) {
  return Read(channel, cmd::kReadFloat16, slot, subslot, location,
              4 * kBlockFloats, [floats](const uint8_t* p) {
                for (int i = 0; i < kBlockFloats; ++i) {
                  floats[i] = LoadF32(p + 4 * i);
                }
              });
}

bool ReadBoardChecksum(const CommandChannel& channel, int16_t slot,
                       int16_t subslot, int16_t* out) {
  *out = 0;
  PayloadWriter w;
  w.U16(static_cast<uint16_t>(slot)).U16(static_cast<uint16_t>(subslot));
  return channel.Exchange(cmd::kChecksum, w.data(), w.size(), 2,
                          [out](const uint8_t* p, size_t) {
                            *out = LoadI16(p);
                            return true;
                          });
}

}  // namespace q7k
