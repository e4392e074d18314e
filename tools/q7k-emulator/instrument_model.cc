#include "instrument_model.h"

#include <algorithm>

#include "link/message_buffer.h"
#include "wire_bytes.h"

namespace q7k {
namespace emu {
namespace {

constexpr size_t kWatchdogTextBytes = 64;

// Commands the boot loader answers; everything else needs the application.
bool LoaderKnows(uint16_t command) {
  return command <= 0x0002 || command == 0x0008 || command == 0x0009 ||
         (command >= 0x000A && command <= 0x0011);
}

// Commands refused while a test runs: they reconfigure the instrument, its
// flash or its calibration under the test's feet.
bool DisturbsTest(uint16_t command) {
  switch (command) {
    case 0x0003:
    case 0x0005:
    case 0x0008:
    case 0x000A:
    case 0x000B:
    case 0x000C:
    case 0x0010:
    case 0x0011:
    case 0x7E04:
    case 0x7E05:
    case 0x7E08:
    case 0x7E09:
    case 0x7E18:
      return true;
    default:
      return command >= 0x7E0F && command <= 0x7E14;
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
    return Reply::Nak(kErrWatchdogReset,
                      std::vector<uint8_t>(text.begin(), text.end()));
  }
  const int32_t length = RequestPayloadLength(command);
  if (length < 0) return Reply::Nak(kErrUnsupported);
  if (length != kVariableLength && static_cast<size_t>(length) != size) {
    return Reply::Nak(kErrBadLength);
  }
  if (apps_.in_boot_loader() && !LoaderKnows(command)) {
    return Reply::Nak(kErrUnsupported);
  }
  if (tests_.running() && DisturbsTest(command)) {
    return Reply::Nak(kErrTestRunning);
  }
  return Dispatch(command, payload, size);
}

Reply InstrumentModel::Dispatch(uint16_t command, const uint8_t* p, size_t n) {
  switch (command) {
    case 0x0001:
      return apps_.AppInfo();
    case 0x0002:
      ++powerOns_;
      tests_.PowerOn();
      apps_.Abort();
      return Reply::Ack();
    case 0x0003:
      return tests_.InitParams(p, n);
    case 0x0004:
      return tests_.RuntimeParams(p, n);
    case 0x0005:
      return tests_.Start();
    case 0x0006:
      return tests_.Results(p, n, false);
    case 0x0007:
      return tests_.Stop();
    case 0x0008:
      return apps_.RestartLoader();
    case 0x000A:
      return apps_.Announce(p, n);
    case 0x000B:
      return apps_.Block(p, n);
    case 0x000C:
      return apps_.Complete();
    case 0x000D:
      return apps_.Abort();
    case 0x000E:
      return apps_.Search(p, n);
    case 0x000F:
      return apps_.DirectoryPage(p, n);
    case 0x0010:
      return apps_.Execute(p, n);
    case 0x0011:
      return apps_.Delete(p, n);
    case 0x0012:
      return tests_.Thermal();
    case 0x0013:
      return CalInfo();
    case 0x0014:
      return tests_.BoundaryTemps(p, n);
    case 0x0015:
      return service_.RefCalCoeffs();
    case 0x0016:
      return tests_.Results(p, n, true);
    case 0x7E00:
    case 0x7E01:
    case 0x7E02:
    case 0x7E03:
    case 0x7E19:
    case 0x7E1A:
      return service_.Registers(command, p, n);
    case 0x7E0D:
    case 0x7E0F:
    case 0x7E10:
    case 0x7E11:
    case 0x7E17:
      return service_.Enable(command, p, n);
    case 0x7E0E:
      return service_.TestWaveform(p, n);
    case 0x7E12:
      return service_.UpdateRefCal(p, n);
    case 0x7E13:
      return service_.UpdateGuardCal(p, n);
    case 0x7E14:
      return service_.UpdateSysCal(p, n);
    case 0x7E16:
      return tests_.RawResults(p, n);
    default:
      break;
  }
  if (command >= 0x7E04 && command <= 0x7E0C) {
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
