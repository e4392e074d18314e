// The instrument's command codes (message numbers): one-byte commands
// 0x0000..0x0016 and two-byte commands 0x7E00..0x7E1A.
#ifndef Q7K_LINK_COMMAND_CODES_H_
#define Q7K_LINK_COMMAND_CODES_H_

#include <cstdint>

namespace q7k::cmd {

inline constexpr uint16_t kAppInfo = 0x0001;
inline constexpr uint16_t kPowerOn = 0x0002;
inline constexpr uint16_t kInitParams = 0x0003;
inline constexpr uint16_t kRuntimeParams = 0x0004;
inline constexpr uint16_t kStartTest = 0x0005;
inline constexpr uint16_t kResults = 0x0006;
inline constexpr uint16_t kStopTest = 0x0007;
inline constexpr uint16_t kRestartLoader = 0x0008;
inline constexpr uint16_t kAppParams = 0x000A;
inline constexpr uint16_t kDownloadBlock = 0x000B;
inline constexpr uint16_t kDownloadComplete = 0x000C;
inline constexpr uint16_t kAbortDownload = 0x000D;
inline constexpr uint16_t kSearchApp = 0x000E;
inline constexpr uint16_t kFlashDirectory = 0x000F;
inline constexpr uint16_t kExecuteApp = 0x0010;
inline constexpr uint16_t kDeleteApp = 0x0011;
inline constexpr uint16_t kThermal = 0x0012;
inline constexpr uint16_t kCalInfo = 0x0013;
inline constexpr uint16_t kBoundaryTemps = 0x0014;
inline constexpr uint16_t kRefCalCoeffs = 0x0015;
inline constexpr uint16_t kExtendedResults = 0x0016;

inline constexpr uint16_t kRegWrite = 0x7E00;
inline constexpr uint16_t kRegRead = 0x7E01;
inline constexpr uint16_t kRegOr = 0x7E02;
inline constexpr uint16_t kRegAnd = 0x7E03;
inline constexpr uint16_t kWriteInt = 0x7E04;
inline constexpr uint16_t kWrite32 = 0x7E05;
inline constexpr uint16_t kReadInt = 0x7E06;
inline constexpr uint16_t kRead32 = 0x7E07;
inline constexpr uint16_t kWriteLong = 0x7E08;
inline constexpr uint16_t kWriteFloat16 = 0x7E09;
inline constexpr uint16_t kReadLong = 0x7E0A;
inline constexpr uint16_t kReadFloat16 = 0x7E0B;
inline constexpr uint16_t kChecksum = 0x7E0C;
inline constexpr uint16_t kSoftwareVerify = 0x7E0D;
inline constexpr uint16_t kTestWaveform = 0x7E0E;
inline constexpr uint16_t kGuardCal = 0x7E0F;
inline constexpr uint16_t kRefCal = 0x7E10;
inline constexpr uint16_t kSysCal = 0x7E11;
inline constexpr uint16_t kUpdateRefCal = 0x7E12;
inline constexpr uint16_t kUpdateGuardCal = 0x7E13;
inline constexpr uint16_t kUpdateSysCal = 0x7E14;
inline constexpr uint16_t kRawResults = 0x7E16;
inline constexpr uint16_t kSafetyMonitor = 0x7E17;
inline constexpr uint16_t kChipSelectTest = 0x7E18;
inline constexpr uint16_t kContinuousWrite = 0x7E19;
inline constexpr uint16_t kContinuousRead = 0x7E1A;

}  // namespace q7k::cmd

#endif  // Q7K_LINK_COMMAND_CODES_H_
