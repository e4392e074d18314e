// Firmware management through the public API against the virtual
// instrument: the application check's decision table, the download and its
// block packing, the paged flash directory and the watchdog path; the long
// flash commands' time-outs against a scripted one.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/emulated_component.h"
#include "support/firmware_image.h"
#include "support/recording_progress_view.h"
#include "support/scripted_component.h"

namespace q7k {
namespace {

const emu::AppIdentity kDisk = Firmware("01.20.02");

class FirmwareSetupTest : public EmulatedComponentTest {
 protected:
  void SetUp() override {
    UseFakeClock();  // the instrument's pauses pass at once
    EmulatedComponentTest::SetUp();
  }
  void WriteFirmware(const std::string& version, size_t records = 64) {
    image_.clear();
    ASSERT_TRUE(WriteFileBytes("Q7I.X0", ImageFile(records, version, &image_)));
  }
  // The commands the instrument received, a run of blocks as one.
  std::vector<int> Commands() const {
    std::vector<int> out;
    for (const ReceivedRequest& r : emulator_->Requests()) {
      if (r.command != 0x0B || out.empty() || out.back() != 0x0B) {
        out.push_back(r.command);
      }
    }
    return out;
  }
  std::vector<size_t> BlockSizes() const {
    std::vector<size_t> out;
    for (const ReceivedRequest& r : emulator_->Requests()) {
      if (r.command == 0x0B) out.push_back(r.payload.size() - 6);
    }
    return out;
  }

  RecordingProgressViews views_;
  Bytes image_;
};

TEST_F(FirmwareSetupTest, DecisionTable) {
  enum Flash { kFirmwareOnly, kDiskAsEntry2, kDiskAsEntry3 };
  struct Row {
    const char* what;
    std::string diskVersion;  // empty: no firmware file
    emu::AppIdentity running;
    bool bootLoader, reboot, corrupt;
    Flash flash;
    size_t capacity;
    const char* fault;
    HRESULT result;
    short code;
    std::vector<int> commands;
  };
  const emu::AppIdentity older = Firmware("01.20.01");
  const emu::AppIdentity other = emu::AppIdentity::Make(
      "OTHERAPP", "01/01/20", "00:00:00", "02.00.00", "");
  const std::string v = "01.20.02";
  // clang-format off
  const Row rows[] = {
      {"no firmware file", "", kDisk, 0, 0, 0, kFirmwareOnly, 8, "",
       E_FAIL, 81, {}},
      {"firmware file too old", "01.19.99", kDisk, 0, 0, 0, kFirmwareOnly, 8,
       "", E_FAIL, 86, {}},
      {"running application unreadable", v, kDisk, 0, 0, 0, kFirmwareOnly, 8,
       "nak=3@cmd=1", E_FAIL, 3, {1}},
      {"same build", v, kDisk, 0, 0, 0, kFirmwareOnly, 8, "",
       S_OK, 0, {1}},
      {"same build, reboot requested", v, kDisk, 0, 1, 0, kFirmwareOnly, 8, "",
       S_OK, 0, {1, 8, 14, 16}},
      {"boot loader, firmware in flash", v, older, 1, 0, 0, kDiskAsEntry3, 8,
       "", S_OK, 0, {1, 14, 16}},
      {"another application", v, other, 0, 0, 0, kFirmwareOnly, 8, "",
       S_OK, 0, {1, 8, 14, 10, 11, 12, 14, 16}},
      {"another build, also in flash", v, older, 0, 0, 0, kDiskAsEntry2, 8, "",
       S_OK, 0, {1, 8, 10, 11, 12, 14, 16}},
      {"flash full", v, older, 0, 0, 0, kFirmwareOnly, 1, "",
       S_OK, 5, {1, 8, 10, 17, 10, 11, 12, 14, 16}},
      {"corrupt after download", v, older, 0, 0, 1, kFirmwareOnly, 8, "",
       E_FAIL, 85, {1, 8, 10, 11, 12, 14}},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    comm_->ClearError();
    if (!row.diskVersion.empty()) WriteFirmware(row.diskVersion);
    EmulatorOptions options;
    options.model.flash.firmware = row.running;
    options.model.flash.startInBootLoader = row.bootLoader;
    options.model.flash.capacity = row.capacity;
    options.model.flash.corruptProgramming = row.corrupt;
    Start(options, false);
    if (*row.fault) {
      ASSERT_TRUE(emulator_->AddFault(row.fault));
    }
    emulator_->WithModel([&](emu::InstrumentModel& m) {
      if (row.flash == kDiskAsEntry3) m.apps().AddEntry({other, 1000});
      if (row.flash != kFirmwareOnly) m.apps().AddEntry({kDisk, 1000});
      return 0;
    });
    comm_->put_RequireReboot(row.reboot);

    EXPECT_EQ(comm_->SetupComm(kComPort, BPS_115200, 5), row.result);
    EXPECT_EQ(Code(), row.code) << Message();
    EXPECT_EQ(Commands(), row.commands);
    EXPECT_EQ(Get(&IQ7kComm::IsPortOpen), row.result == S_OK ? 1 : 0);
    EXPECT_EQ(views_.open_views(), 0);
    EXPECT_EQ(Get(&IQ7kComm::get_RequireReboot),
              row.reboot && row.result == E_FAIL ? 1 : 0);
    if (row.flash == kDiskAsEntry3) {
      EXPECT_EQ(emulator_->Requests().back().payload, (Bytes{3, 0}));
    }
    if (row.result == S_OK) {
      EXPECT_TRUE(emulator_->WithModel([](emu::InstrumentModel& m) {
        return m.apps().running().SameStamp(kDisk);
      }));
    }
    comm_->ClosePort();
    emulator_->Stop();
    std::remove("Q7I.X0");
  }
  EXPECT_EQ(Message(),
            "Q7310 FLASH ROM has been corrupted.  Tests cannot be run.");
}

TEST_F(FirmwareSetupTest, DownloadProgramsTheImageByteForByte) {
  WriteFirmware("01.20.02", 8192);  // 256 KiB of data
  EmulatorOptions options;
  options.model.flash.firmware = Firmware("01.20.01");
  Start(options, false);
  ASSERT_EQ(comm_->SetupComm(kComPort, BPS_115200, 5), S_OK) << Message();
  EXPECT_EQ(BlockSizes(), std::vector<size_t>(1024, 256));
  const auto entry = emulator_->WithModel(
      [](emu::InstrumentModel& m) { return m.apps().directory().back(); });
  EXPECT_TRUE(entry.identity.SameStamp(kDisk));
  EXPECT_EQ(entry.origin, kImageOrigin);
  EXPECT_TRUE(entry.image == image_);
  // What the user saw: the restart, the download with its bar, programming.
  std::vector<std::string> shown;
  for (const ProgressViewEvent& e : views_.events()) {
    if (e.kind == ProgressViewEvent::kOpen) {
      shown.push_back(Bstr(e.state.message).utf8());
    }
  }
  EXPECT_EQ(shown, (std::vector<std::string>{
                       "Restarting Q7310 Boot Loader - Please Wait",
                       "Downloading Firmware to the Q7310 - Please Wait",
                       "Programming Q7310 Flash ROM - Please Wait"}));
}

TEST_F(FirmwareSetupTest, BlocksBreakAtGapsAndAt256Bytes) {
  // Records of `bytes` bytes back to back, from a gap on 80 words
  // further, and one more of lastBytes at the end.
  struct Case {
    const char* what;
    uint32_t records, bytes, gapAt;
    size_t lastBytes;
    std::vector<size_t> blocks;
    int progressSteps;
  };
  // clang-format off
  const Case cases[] = {
      {"100 records of 32 bytes", 99, 32, 1000, 32,
       {256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 128}, 4},
      {"a gap after 3 records", 9, 32, 3, 32, {96, 224}, 1},
      {"34 bytes after 240", 15, 16, 1000, 34, {240, 34}, 1},
  };
  // clang-format on
  Start({}, false);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text;
    uint32_t address = 0;
    for (uint32_t i = 0; i <= c.records; ++i, address += c.bytes / 4) {
      if (i == c.gapAt) address += 80;
      text +=
          RecordLine(address, Bytes(i < c.records ? c.bytes : c.lastBytes, 1));
    }
    ASSERT_TRUE(WriteFileBytes("APP.X0", text + "\n%0E800800000000\n"));
    ASSERT_EQ(comm_->OpenPort(kComPort, BPS_115200), S_OK);
    ASSERT_EQ(comm_->FillAppParams(Bstr(u"APP.X0").get()), S_OK);
    ASSERT_EQ(comm_->SendAppParams(), S_OK) << Message();
    emulator_->ClearRequests();
    ASSERT_EQ(comm_->DownloadApp(Bstr(u"APP.X0").get()), S_OK) << Message();
    EXPECT_EQ(BlockSizes(), c.blocks);
    EXPECT_EQ(views_.Last().position, c.progressSteps);
    ASSERT_EQ(comm_->AbortDownload(), S_OK);
  }
}

TEST_F(FirmwareSetupTest, UnusableFilesFailClearly) {
  Start();
  // A truncated record: what came before it is not sent either.
  ASSERT_TRUE(WriteFileBytes(
      "BAD.X0", RecordLine(0, Bytes(32, 1)) + "%4E6008000000080102\n"));
  EXPECT_EQ(comm_->DownloadApp(Bstr(u"BAD.X0").get()), E_FAIL);
  EXPECT_EQ(Code(), 83);
  EXPECT_EQ(views_.open_views(), 0);
  EXPECT_TRUE(BlockSizes().empty());
  // Missing: nothing shown, the application wording even for the firmware.
  comm_->ClearError();
  const size_t events = views_.events().size();
  EXPECT_EQ(comm_->DownloadApp(Bstr(u"Q7I.X0").get()), E_FAIL);
  EXPECT_EQ(Message(), "Unable to open Application file.");
  EXPECT_EQ(views_.events().size(), events);
  // A name that does not fit the request's field.
  EXPECT_EQ(comm_->FillAppParams(Bstr(u"SIXTEEN_CHARS.X0").get()), E_FAIL);
}

TEST_F(FirmwareSetupTest, FlashDirectoryOfTwentyInPagesOfFour) {
  EmulatorOptions options;
  options.model.flash.capacity = 20;
  options.model.flash.pageSize = 4;
  Start(options);
  emulator_->WithModel([](emu::InstrumentModel& m) {
    for (int i = 2; i <= 20; ++i) {
      m.apps().AddEntry(
          {emu::AppIdentity::Make("APP" + std::to_string(i), "", "", "", ""),
           1});
    }
    return 0;
  });
  ASSERT_EQ(comm_->ReadFlashDirectory(), S_OK);
  EXPECT_EQ(Get(&IQ7kComm::get_FlashDirCount), 15);
  EXPECT_EQ(Commands(), std::vector<int>(4, 15));
  comm_->ReadFlashDirInfo(14);
  Bstr name;
  comm_->get_AppName(name.out());
  EXPECT_EQ(name.utf8(), "APP15   ");

  // A page that fails after the first: reported, the slots filled kept.
  ASSERT_TRUE(emulator_->AddFault("nak=13@cmd=15@every=2"));
  EXPECT_EQ(comm_->ReadFlashDirectory(), E_FAIL);
  EXPECT_EQ(Get(&IQ7kComm::get_FlashDirCount), 4);
}

TEST_F(FirmwareSetupTest, WatchdogReportThenSetupTwice) {
  WriteFirmware("01.20.02");
  EmulatorOptions options;
  options.model.flash.firmware = kDisk;
  options.model.watchdogText = "WDT @ 0x1234";
  Start(options);
  EXPECT_EQ(comm_->ReadAppInfo(), E_FAIL);
  EXPECT_EQ(Code(), 20);
  comm_->ClosePort();

  EXPECT_EQ(comm_->SetupComm(kComPort, BPS_115200, 5), S_OK);
  EXPECT_EQ(Get(&IQ7kComm::IsPortOpen), 0);
  EXPECT_EQ(emulator_->Requests().back().command, 2);  // power-on sequence
  comm_->ClearError();
  EXPECT_EQ(comm_->SetupComm(kComPort, BPS_115200, 5), S_OK);
  EXPECT_EQ(Get(&IQ7kComm::IsPortOpen), 1);
  EXPECT_EQ(emulator_->Requests().back().command, 1);

  // A restart without a port sets it up first, then reopens it.
  comm_->ClosePort();
  comm_->put_RequireReboot(1);
  EXPECT_EQ(comm_->RestartBootLoader(kComPort, BPS_115200, 5), S_OK);
  EXPECT_EQ(Get(&IQ7kComm::IsPortOpen), 1);
  EXPECT_EQ(Get(&IQ7kComm::get_RequireReboot), 0);
  EXPECT_TRUE(emulator_->WithModel(
      [](emu::InstrumentModel& m) { return m.apps().in_boot_loader(); }));
}

TEST_F(FirmwareSetupTest, SimulatedInstrumentRunsTheFileOnDisk) {
  WriteFirmware("01.20.02");
  comm_->put_SimulMode(SIMUL_EXC);
  comm_->put_SimulFast(1);
  EXPECT_EQ(comm_->SetupComm(kComPort, BPS_115200, 5), S_OK);
  EXPECT_EQ(Get(&IQ7kComm::IsPortOpen), 1);
  short entry = 0;
  EXPECT_EQ(comm_->SearchForApp(nullptr, nullptr, nullptr, nullptr, &entry),
            S_OK);
  EXPECT_EQ(entry, 2);
}

// The flash commands that wait long for the instrument: the reply time-out
// they raise, and that it is back at 4000 ms whatever the outcome.
using FlashMethodsTest = ScriptedComponentTest;

TEST_F(FlashMethodsTest, LongRepliesRaiseTheTimeOutOnlyForTheirCommand) {
  RecordingProgressViews views;
  const struct {
    const char* name;
    std::function<HRESULT(IQ7kComm*)> call;
    uint16_t command;
    Bytes payload;
    int32_t timeout;
  } calls[] = {
      // clang-format off
      {"DeleteApp", [](IQ7kComm* c) { return c->DeleteApp(3); }, 0x0011,
       Le16(3), 20000},
      {"DownloadComplete(5)",
       [](IQ7kComm* c) { return c->DownloadComplete(5); }, 0x000C, {}, 20000},
      {"DownloadComplete(45)",
       [](IQ7kComm* c) { return c->DownloadComplete(45); }, 0x000C, {}, 45000},
      // clang-format on
  };
  const struct {
    const char* name;
    Bytes (*answer)(uint16_t);
    short code;  // 0: succeeds
  } outcomes[] = {
      {"ack", [](uint16_t c) { return LineBytes(AckFrame(c)); }, 0},
      {"nak", [](uint16_t c) { return LineBytes(NakFrame(c, 9)); }, 9},
      {"silence", [](uint16_t) { return Bytes{}; }, 133},
  };
  for (const auto& call : calls) {
    for (const auto& outcome : outcomes) {
      SCOPED_TRACE(std::string(call.name) + " " + outcome.name);
      comm_->ClearError();
      ConnectInProcess(
          [&](const Request& r) { return outcome.answer(r.command); });
      EXPECT_EQ(call.call(comm_.Get()), outcome.code == 0 ? S_OK : E_FAIL);
      EXPECT_EQ(Code(), outcome.code);
      EXPECT_EQ(LastCommand(), call.command);
      EXPECT_EQ(LastPayload(), call.payload);
      EXPECT_EQ(inProcess_->timeouts(),
                (std::vector<int32_t>{call.timeout, 4000}));
      EXPECT_EQ(views.open_views(), 0);
    }
  }
  comm_->ClosePort();
  EXPECT_EQ(comm_->DeleteApp(3), E_FAIL);  // no port: nothing sent
}

}  // namespace
}  // namespace q7k
