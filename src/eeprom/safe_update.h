// SafeUpdater: changes words of a board EEPROM so that the board stays
// consistent (its 256 words sum to 0) and every word meant to change is
// proven to have changed. The old values are read, the new ones written and
// read back; the write count (location 1) and the checksum word (255) are
// then derived from what the board holds, committed and verified, and the
// instrument's own checksum must come out 0.
//
// Every transfer goes through the component's own IQ7kEeprom, so its
// guards, simulated path and error reporting apply. No step is retried and
// nothing is rolled back: the first failure ends the update and the board
// keeps what was already written.
//
// Thread safety: none; the client's thread.
#ifndef Q7K_EEPROM_SAFE_UPDATE_H_
#define Q7K_EEPROM_SAFE_UPDATE_H_

#include <cstdint>
#include <vector>

#include "eeprom/eeprom_image.h"
#include "link/error_reporter.h"
#include "q7kcomm/interfaces.h"

namespace q7k {

// The transfer methods that move one span of words.
enum class SpanKind {
  kInt,      // ReadInt / WriteInt, 1 word
  kLong,     // ReadLong / WriteLong, 2 words
  kFloat,    // ReadFloat / WriteFloat, 2 words
  kBlock,    // Read32 / Write32, 32 words
  kFloat16,  // ReadFloat16 / WriteFloat16, 32 words
};

struct Span {
  SpanKind kind;
  int16_t location;
};

int WordsIn(SpanKind kind);

class SafeUpdater {
 public:
  // REQUIRES: both outlive the update.
  SafeUpdater(IQ7kEeprom* eeprom, ErrorReporter* errors, int16_t slot,
              int16_t subslot)
      : eeprom_(eeprom), errors_(errors), slot_(slot), subslot_(subslot) {}

  // Writes words (the spans' words in order) to spans and commits. False
  // when a transfer failed (it has reported) or a check failed (EEPROM
  // error class 2 recorded).
  bool Write(const std::vector<Span>& spans,
             const std::vector<uint16_t>& words);
  // The commit step: write count + 2 to location 1, checksum - 2 to
  // location 255, each verified, then the instrument's checksum must be 0.
  bool Commit(uint16_t writeCount, uint16_t checksum);

 private:
  bool ReadSpan(const Span& span, uint16_t* out);
  bool WriteSpan(const Span& span, const uint16_t* words);
  bool ReadAll(const std::vector<Span>& spans, std::vector<uint16_t>* out);
  bool ReadWord(int16_t location, uint16_t* out);
  bool WriteVerified(int16_t location, uint16_t value);
  bool VerificationFailed();

  IQ7kEeprom* eeprom_;
  ErrorReporter* errors_;
  int16_t slot_;
  int16_t subslot_;
};

// The spans of the board header (locations 2 to 35, 40 to 43 and 50) and
// of a calibration header (8 words at base).
std::vector<Span> BoardHeaderSpans();
std::vector<Span> CalHeaderSpans(int16_t base);
// The image's words at the spans' locations, in order.
std::vector<uint16_t> WordsAt(const EepromImage& image,
                              const std::vector<Span>& spans);

}  // namespace q7k

#endif  // Q7K_EEPROM_SAFE_UPDATE_H_
