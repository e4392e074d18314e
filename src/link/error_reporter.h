// ErrorReporter: what the link and the subsystems need of the component's
// error record. The link owns this interface so that nothing below the
// component knows the component; the component's ErrorState implements it.
//
// The codes it records are those of error_codes.h.
//
// Thread safety: none; used only on the client's thread.
#ifndef Q7K_LINK_ERROR_REPORTER_H_
#define Q7K_LINK_ERROR_REPORTER_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/error_codes.h"

namespace q7k {

class ErrorReporter {
 public:
  // Code = code; when textId is not 0 the message becomes that catalog text.
  virtual void SetCode(int32_t code, int32_t textId) = 0;
  // An instrument error number with the detail bytes of its negative reply
  // (only the first length bytes of details are read; details may be null).
  virtual void RecordInstrumentError(int32_t number, const uint8_t* details,
                                     size_t length) = 0;
  // EEPROM error class kEepromReadFailed..kEepromNoBoardSlot.
  virtual void RecordEepromError(int32_t errorClass) = 0;
  // Application-file error kAppFileUnreadable..kAppNeedsUpdate; firmware
  // selects the firmware wording.
  virtual void RecordAppFileError(int32_t error, bool firmware) = 0;

  virtual int32_t code() const = 0;
  virtual const std::u16string& message() const = 0;

 protected:
  ~ErrorReporter() = default;
};

}  // namespace q7k

#endif  // Q7K_LINK_ERROR_REPORTER_H_
