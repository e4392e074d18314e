// ErrorState: the component object's one error record, shared with its link.
//
// Holds the current error code and text (in the language current when the
// text was recorded), the watchdog-reset flag and the language of texts loaded
// from now on. An error stays until Clear or a newer error replaces or extends
// it; a later success never clears it.
//
// The codes are those of link/error_codes.h.
//
// Thread safety: none; used only on the client's thread.
#ifndef Q7K_COMPONENT_ERROR_STATE_H_
#define Q7K_COMPONENT_ERROR_STATE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/error_reporter.h"

namespace q7k {

class ErrorState final : public ErrorReporter {
 public:
  // Instrument error 14's safety status bits that say nothing (0, 3, 5, 8,
  // 9), and the stop-reason byte that is decoded by its value.
  static constexpr uint16_t kIgnoredSafetyBits = 0x329;
  static constexpr size_t kStrobeByte = 2;

  // Empties the message, clears the watchdog flag, code 0. Language stays.
  void Clear();

  // Catalog text baseId in the current language; empty when missing.
  std::u16string LoadText(int32_t baseId) const;

  // Code = code; when id is not 0 the message becomes text id.
  void SetCode(int32_t code, int32_t id) override;

  // Records an instrument error number with the detail bytes of its reply.
  // Only the first length bytes of details are read (details may be null).
  void RecordInstrumentError(int32_t number, const uint8_t* details,
                             size_t length) override;

  // EEPROM error class: extends an existing message (keeping its code) or
  // records the class's code. Other classes record nothing.
  void RecordEepromError(int32_t errorClass) override;

  // Application-file error; firmware selects the firmware wording. Sets the
  // error's code only when no error is recorded yet; appends the text on a
  // new line.
  void RecordAppFileError(int32_t error, bool firmware) override;

  const std::u16string& message() const override { return message_; }
  int32_t code() const override { return code_; }
  bool watchdogReset() const { return watchdogReset_; }
  // The power-on sequence after a watchdog report has been run; the error
  // itself stays.
  void ClearWatchdogReset() { watchdogReset_ = false; }
  int32_t language() const { return language_; }
  // Stored without a range check: an unknown language loads empty texts.
  void set_language(int32_t language) { language_ = language; }

 private:
  void AppendStopReason(const uint8_t* details, size_t length);

  std::u16string message_;
  bool watchdogReset_ = false;
  int32_t code_ = kNoError;
  int32_t language_ = 0;
};

}  // namespace q7k

#endif  // Q7K_COMPONENT_ERROR_STATE_H_
