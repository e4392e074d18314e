#include "instrument_model.h"

#include <algorithm>

#include "link/command_codes.h"
#include "link/le_bytes.h"
#include "link/message_buffer.h"

namespace q7k {
namespace emu {
namespace {

constexpr size_t kWatchdogTextBytes = 64;

// Commands the boot loader answers; everything else needs the application.
bool LoaderKnows(uint16_t command) {
  return command <= cmd::kPowerOn || command == cmd::kRestartLoader ||
         command == 0x0009 ||
         (command >= cmd::kAppParams && command <= cmd::kDeleteApp);
}

// Commands refused while a test runs: they reconfigure the instrument, its
// flash or its calibration under the test's feet.
bool DisturbsTest(uint16_t command) {
  switch (command) {
    case cmd::kInitParams:
    case cmd::kStartTest:
    case cmd::kRestartLoader:
    case cmd::kAppParams:
    case cmd::kDownloadBlock:
    case cmd::kDownloadComplete:
    case cmd::kExecuteApp:
    case cmd::kDeleteApp:
    case cmd::kWriteInt:
    case cmd::kWrite32:
    case cmd::kWriteLong:
    case cmd::kWriteFloat16:
    case cmd::kChipSelectTest:
      return true;
    default:
      return command >= cmd::kGuardCal && command <= cmd::kUpdateSysCal;
  }
}

// The calibration records command 19 reports, in reply order: board and
// location of the MMDDYY date.
struct CalSource {
  int16_t slot;
  int16_t subslot;
  int location;
};
constexpr CalSource kCalSources[] = {
    {0, 0, 166},  // backplane field calibration block
    {0, 0, 66},   // backplane factory calibration block
    {6, 0, 52},   // guard board
    {0, 2, 52},   // main reference assembly
    {0, 3, 52},   // cal reference protection board
};

}  // namespace

InstrumentModel::InstrumentModel(const ModelConfig& config)
    : apps_(config.flash),
      tests_(config.test),
      watchdogText_(config.watchdogText) {}

Reply InstrumentModel::Handle(uint16_t command, const uint8_t* payload,
                              size_t size) {
  if (!watchdogText_.empty()) {
    std::string text = watchdogText_.substr(0, kWatchdogTextBytes);
    watchdogText_.clear();
    return Reply::Nak(kInstrumentWatchdogReset,
                      std::vector<uint8_t>(text.begin(), text.end()));
  }
  const int32_t length = RequestPayloadLength(command);
  if (length < 0) return Reply::Nak(kInstrumentUnsupported);
  if (length != kVariableLength && static_cast<size_t>(length) != size) {
    return Reply::Nak(kInstrumentBadLength);
  }
  if (apps_.in_boot_loader() && !LoaderKnows(command)) {
    return Reply::Nak(kInstrumentUnsupported);
  }
  if (tests_.running() && DisturbsTest(command)) {
    return Reply::Nak(kInstrumentTestRunning);
  }
  return Dispatch(command, payload, size);
}

Reply InstrumentModel::Dispatch(uint16_t command, const uint8_t* p, size_t n) {
  switch (command) {
    case cmd::kAppInfo:
      return apps_.AppInfo();
    case cmd::kPowerOn:
      ++powerOns_;
      tests_.PowerOn();
      apps_.Abort();
      return Reply::Ack();
    case cmd::kInitParams:
      return tests_.InitParams(p, n);
    case cmd::kRuntimeParams:
      return tests_.RuntimeParams(p, n);
    case cmd::kStartTest:
      return tests_.Start();
    case cmd::kResults:
      return tests_.Results(p, n, false);
    case cmd::kStopTest:
      return tests_.Stop();
    case cmd::kRestartLoader:
      return apps_.RestartLoader();
    case cmd::kAppParams:
      return apps_.Announce(p, n);
    case cmd::kDownloadBlock:
      return apps_.Block(p, n);
    case cmd::kDownloadComplete:
      return apps_.Complete();
    case cmd::kAbortDownload:
      return apps_.Abort();
    case cmd::kSearchApp:
      return apps_.Search(p, n);
    case cmd::kFlashDirectory:
      return apps_.DirectoryPage(p, n);
    case cmd::kExecuteApp:
      return apps_.Execute(p, n);
    case cmd::kDeleteApp:
      return apps_.Delete(p, n);
    case cmd::kThermal:
      return tests_.Thermal();
    case cmd::kCalInfo:
      return CalInfo();
    case cmd::kBoundaryTemps:
      return tests_.BoundaryTemps(p, n);
    case cmd::kRefCalCoeffs:
      return service_.RefCalCoeffs();
    case cmd::kExtendedResults:
      return tests_.Results(p, n, true);
    case cmd::kRegWrite:
    case cmd::kRegRead:
    case cmd::kRegOr:
    case cmd::kRegAnd:
    case cmd::kContinuousWrite:
    case cmd::kContinuousRead:
      return service_.Registers(command, p, n);
    case cmd::kSoftwareVerify:
    case cmd::kGuardCal:
    case cmd::kRefCal:
    case cmd::kSysCal:
    case cmd::kSafetyMonitor:
      return service_.Enable(command, p, n);
    case cmd::kTestWaveform:
      return service_.TestWaveform(p, n);
    case cmd::kUpdateRefCal:
      return service_.UpdateRefCal(p, n);
    case cmd::kUpdateGuardCal:
      return service_.UpdateGuardCal(p, n);
    case cmd::kUpdateSysCal:
      return service_.UpdateSysCal(p, n);
    case cmd::kRawResults:
      return tests_.RawResults(p, n);
    default:
      break;
  }
  if (command >= cmd::kWriteInt && command <= cmd::kChecksum) {
    return boards_.Handle(command, p, n);
  }
  // 0x0000, 0x0009, 0x7E15 and the chip select test: nothing to do.
  return Reply::Ack();
}

Reply InstrumentModel::CalInfo() const {
  std::vector<uint8_t> data;
  ByteWriter w(&data);
  for (const CalSource& src : kCalSources) {
    const EepromWords* board = boards_.Find(src.slot, src.subslot);
    const std::string mmddyy =
        board ? GetText(*board, src.location, 6) : std::string(6, '\0');
    const bool done = std::any_of(mmddyy.begin(), mmddyy.end(),
                                  [](char c) { return c != '\0'; });
    w.U16(done ? 1 : 0);
    if (done) {
      w.Text(mmddyy.substr(0, 2) + "/" + mmddyy.substr(2, 2) + "/" +
                 mmddyy.substr(4, 2),
             8);
    } else {
      w.Zeros(8);
    }
  }
  return Reply::Ack(data);
}

}  // namespace emu
}  // namespace q7k
