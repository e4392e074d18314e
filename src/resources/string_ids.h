// Base ids of the message catalog that code refers to by name.
#ifndef Q7K_RESOURCES_STRING_IDS_H_
#define Q7K_RESOURCES_STRING_IDS_H_

#include <cstdint>

namespace q7k::ids {

inline constexpr int32_t kModuleName = 100;
inline constexpr int32_t kRangeLabelFirst = 6080;  // "10 A" .. 6089 "300 uA"
inline constexpr int32_t kSimulClipData = 6096;
inline constexpr int32_t kSimulExtRef = 6097;
inline constexpr int32_t kSimulLeakReac = 6098;
inline constexpr int32_t kSimulBhTest = 6099;
inline constexpr int32_t kSimulCalErrors = 6101;

inline constexpr int32_t kSafetyBitFirst = 7360;   // + bit index
inline constexpr int32_t kStopReasonFirst = 7376;  // + byte index
inline constexpr int32_t kStrobeFirst = 7395;      // + low bits (1, 2)
inline constexpr int32_t kSelfTestFirst = 7398;    // + sub-code 0..3
inline constexpr int32_t kUndefinedSafety = 7402;
inline constexpr int32_t kUndefinedSelfTest = 7403;
inline constexpr int32_t kInstrumentErrorFirst = 7408;  // + error 0..14
inline constexpr int32_t kNoErrors = 7424;
inline constexpr int32_t kUndefinedError = 7425;
inline constexpr int32_t kUnableToOpenPort = 7426;
inline constexpr int32_t kPortInUse = 7427;
inline constexpr int32_t kPortNotFound = 7428;
inline constexpr int32_t kIllegalStopBits = 7429;
inline constexpr int32_t kIllegalWordLength = 7430;
inline constexpr int32_t kIllegalParity = 7431;
inline constexpr int32_t kTimedOut = 7432;
inline constexpr int32_t kNotSupported = 7433;
inline constexpr int32_t kHandshakeInUse = 7434;
inline constexpr int32_t kPortSettingsFailed = 7435;
inline constexpr int32_t kOsError = 7436;
inline constexpr int32_t kNoResponse = 7440;
inline constexpr int32_t kBadNumber = 7441;
inline constexpr int32_t kBadChecksum = 7442;
inline constexpr int32_t kBadLength = 7443;
inline constexpr int32_t kBadAckNak = 7444;
inline constexpr int32_t kLoopbackMismatch = 7445;
inline constexpr int32_t kLoopbackMissing = 7446;
inline constexpr int32_t kEepromRead = 7447;
inline constexpr int32_t kEepromWrite = 7448;
inline constexpr int32_t kBoardNameMissing = 7449;
inline constexpr int32_t kBoardSlotMissing = 7450;
inline constexpr int32_t kAppFileFirst = 7456;  // + (-1 - error), 7456..7461
inline constexpr int32_t kFirmwareFileFirst = 7462;  // 7462..7467
inline constexpr int32_t kParameterNumber = 7473;
inline constexpr int32_t kCompleted = 7474;
inline constexpr int32_t kProgressTitle = 7475;
inline constexpr int32_t kDownloading = 7476;
inline constexpr int32_t kProgramming = 7477;
inline constexpr int32_t kRestartingLoader = 7478;
inline constexpr int32_t kMeasuringFrequency = 7479;

}  // namespace q7k::ids

#endif  // Q7K_RESOURCES_STRING_IDS_H_
