// The codes the component's error record holds, and the numbers that lead
// to them. Clients read a code as ErrorCode or LastError and may store or
// compare it, so every value here is fixed; the texts are the catalog's.
//
//   0             none
//   -1            an error the component cannot classify further
//   0..14         an instrument error number from a negative reply
//   10..13, 20, 21, 22..41, 50..65
//                 what the detail bytes of instrument errors 11..14 say
//   81..86        application-file errors -1..-6
//   101..300      link and port failures: 100 - LinkErrorNumber
//   132           opening the port failed and no more specific text applies
//   151..154      EEPROM error classes 1..4
#ifndef Q7K_LINK_ERROR_CODES_H_
#define Q7K_LINK_ERROR_CODES_H_

#include <cstdint>

namespace q7k {

inline constexpr int32_t kNoError = 0;
inline constexpr int32_t kUnclassifiedError = -1;

// The error numbers of the instrument's negative replies (0 and 6 mean
// nothing); every number from 15 on is unknown.
enum InstrumentError : int32_t {
  // The request: its number, its length (not the command's), a command not
  // in the tables or not here, refused while a test runs.
  kInstrumentBadNumber = 1,
  kInstrumentBadLength = 2,
  kInstrumentUnsupported = 3,
  kInstrumentTestRunning = 4,
  // The flash: no room for the announced image, the image could not be
  // programmed or erased, a download out of sequence or of the wrong size.
  kInstrumentFlashFull = 5,
  kInstrumentFlashProgram = 7,
  kInstrumentFlashErase = 8,
  kInstrumentImageBytes = 9,
  kInstrumentExecuteChecksum = 10,
  // With detail bytes: a sub-code word; up to 64 bytes of text; the
  // parameter's number; the safety word and the stop-reason bytes.
  kInstrumentSelfTest = 11,
  kInstrumentWatchdogReset = 12,
  kInstrumentBadParameter = 13,
  kInstrumentTestNotRunning = 14,
  kFirstUnknownInstrumentError = 15,
};

// Codes the detail bytes of instrument errors 11..14 lead to (stop-reason
// bytes are counted after the safety word).
inline constexpr int32_t kSelfTestCode = 10;  // + sub-code 0..3
inline constexpr int32_t kSelfTestSubCodes = 4;
inline constexpr int32_t kWatchdogResetCode = 20;
inline constexpr int32_t kBadParameterCode = 21;
inline constexpr int32_t kSafetyBitCode = 22;        // + status bit 0..15
inline constexpr int32_t kEarlyStopReasonCode = 38;  // + byte 0, 1
inline constexpr int32_t kStrobeCode = 39;           // + byte 2 low bits 1, 2
inline constexpr int32_t kLateStopReasonCode = 47;   // + byte 3..18

// Application-file errors, as the image file readers return them:
// unreadable covers a missing file and a name that cannot be used;
// not-in-flash is a failed programming; needs-update a version too old.
enum AppFileError : int32_t {
  kAppFileOk = 0,
  kAppFileUnreadable = -1,
  kAppFileCorrupt = -2,
  kAppDownloadFailed = -3,
  kAppNotInFlash = -4,
  kAppFlashCorrupt = -5,
  kAppNeedsUpdate = -6,
};

// EEPROM error classes.
enum EepromErrorClass : int32_t {
  kEepromReadFailed = 1,
  kEepromSafeWriteFailed = 2,
  kEepromNoBoardName = 3,
  kEepromNoBoardSlot = 4,
};

inline constexpr int32_t kPortOpenFailedCode = 132;

// The code of a link or port failure with LinkErrorNumber linkError (< 0).
constexpr int32_t LinkErrorCode(int32_t linkError) { return 100 - linkError; }
// The code of application-file error error (kAppFileUnreadable..).
constexpr int32_t AppFileErrorCode(int32_t error) { return 80 - error; }
// The code of EEPROM error class errorClass.
constexpr int32_t EepromErrorCode(int32_t errorClass) {
  return 150 + errorClass;
}

}  // namespace q7k

#endif  // Q7K_LINK_ERROR_CODES_H_
