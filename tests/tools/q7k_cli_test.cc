// End-to-end runs of the built q7k program: on the component's simulator,
// against the virtual instrument over a pseudo-terminal, and with the wrong
// arguments a technician will type.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "emulator.h"
#include "support/pty_pair.h"
#include "support/shell_run.h"
#include "support/temp_dir.h"
#include "tools/q7k_expected_output.h"

namespace q7k {
namespace {

using nlohmann::json;

// Runs q7k with args (words split by the shell) in the current directory,
// which the fixture's ScopedTempDir makes its own.
ShellRun RunCli(const std::string& args) {
  ShellRun r = RunShell(std::string(Q7K_CLI_BINARY) + " " + args +
                        " 2>q7k-cli-test.err");
  r.err = ReadFileBytes("q7k-cli-test.err");
  return r;
}

json RunJson(const std::string& args) {
  const ShellRun r = RunCli("--json " + args);
  EXPECT_EQ(r.status, 0) << args << "\n" << r.err;
  return json::parse(r.out);
}

void ExpectOutput(const ShellRun& r, const std::vector<const char*>& texts) {
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* text : texts) {
    EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
  }
}

// The virtual instrument in this process, and the option that leads q7k to
// it.
struct Instrument {
  explicit Instrument(const EmulatorOptions& options = {})
      : emulator(options), device(" --device " + emulator.Start()) {
    EXPECT_TRUE(emulator.running()) << emulator.error();
  }
  Emulator emulator;
  std::string device;
};

class Q7kCliTest : public ::testing::Test {
 protected:
  ScopedTempDir dir_;
};

// A simulated test, the demos on the simulator and over the serial line to
// the virtual instrument, and the error lists in the language asked.
TEST_F(Q7kCliTest, SimulatedTestDemosAndTheErrorLists) {
  const json test = RunJson("--simulate xref --fast test run --kv 10");
  EXPECT_EQ(test["polls"], 8);
  EXPECT_NEAR(test["data"]["Amperes"].get<double>(), 0.004567, 1e-9);
  EXPECT_NEAR(test["data"]["Watts"].get<double>(), 23.45, 1e-4);

  const json errors =
      RunJson("--lang pt errors --comm --device absent")["errors"];
  const auto notFound =
      std::find_if(errors.begin(), errors.end(),
                   [](const json& e) { return e["code"] == -198; });
  ASSERT_NE(notFound, errors.end()) << errors;
  EXPECT_NE((*notFound)["text"], "COM port not found");

  std::vector<const char*> emulated = {"Virtual instrument on /dev/pts/"};
  emulated.insert(emulated.end(), kEmulatorDemoLines.begin(),
                  kEmulatorDemoLines.end());
  ExpectOutput(RunCli("demo --fast"), kSimulatedDemoLines);
  // The live displays on a terminal, the words after "q7k" sending output
  // there: the progress label in percent of the polls allowed, from 0 and
  // never the window's template text; test run's poll lines instead.
  PtyPair terminal;
  const std::string tty = terminal.slavePath();
  const auto shown = [&terminal](const std::string& words) {
    RunShell(std::string(Q7K_CLI_BINARY) + " " + words);
    std::string text(8192, '\0');
    text.resize(std::max<ssize_t>(
        0, read(terminal.master(), text.data(), text.size())));
    return text;
  };
  const std::string demo = shown("demo --fast 2>" + tty);
  EXPECT_NE(demo.find("Completed: 0 %"), std::string::npos) << demo;
  EXPECT_NE(demo.find("Completed: 20 %"), std::string::npos) << demo;
  EXPECT_EQ(demo.find("Termin"), std::string::npos) << demo;
  const std::string polls =
      shown("-s exc --fast test run --interval 0 >" + tty + " 2>&1");
  EXPECT_NE(polls.find("\npoll  8  valid"), std::string::npos) << polls;
  EXPECT_EQ(polls.find("Completed"), std::string::npos) << polls;
  // The bench runs in a directory of its own; the recording stays here.
  ExpectOutput(RunCli("--record demo.pcapng demo --emulator"), emulated);
  ExpectOutput(RunCli("decode demo.pcapng"), {" -> StartQ7kTest\n"});
  const ShellRun fr = RunCli("--language fr errors");
  ExpectOutput(fr, {"[14] Essai non exécuté\n"});
  EXPECT_EQ(std::count(fr.out.begin(), fr.out.end(), '\n'), 65);
}

TEST_F(Q7kCliTest, BadArgumentsGetAMessageAndAnExitStatus) {
  const std::string absent = dir_.File("absent");
  const struct {
    std::string args;
    int status;
    std::string err;
  } cases[] = {
      {"test run --kv -5", 2, "--kv: Value -5 not in range"},
      {"test run --polls -3", 2, "--polls: Value -3 not in range"},
      {"--bps 1234 version", 2, "'1234' is not one of 9600,"},
      {"--simulate warp demo", 2, "'warp' is not one of none, exc,"},
      {"-s exc demo --emulator", 2, "virtual instrument; leave out --sim"},
      {"demo --device " + absent, 2, "simulator; leave out --device"},
      {"frobnicate", 2, "unknown command 'frobnicate'"},
      {"test", 2, "subcommand is required"},
      {"--port 0 version", 2, "--port: Value 0 not in range"},
      {"--record " + absent + "/r.pcapng version", 2, "no such directory"},
      {"--device '' info", 2, "--device: an empty path names no device"},
      // Failures of the component: its code and text.
      {"loopback --port 9 --device " + absent, 1,
       "q7k: RunLoopbackTest failed: error 298: COM port not found\n"},
      {"eeprom dump 99 0", 2, "SLOT: Value 99 not in range 0 to 8"},
      {"eeprom set 1 0", 2, "needs a value to change"},
      {"eeprom set 1 0 --word 255=7", 2, "kept by the safe update"},
      {"eeprom set 1 0 --cal-date 1/2/24", 2, "is not a date MM/DD/YY"},
      {"eeprom set 1 0 --board-date 13/05/24", 2, "is not a date MM/DD/YY"},
      {"flash run -3", 2, "ENTRY: Value -3 not in range"},
      {"flash download " + absent + ".X0", 1, "absent.X0: no such image"},
      {"flash download notes.txt", 1, "named <name>.X0, not 'notes.txt'"},
      {"setup --firmware " + absent + "/Q7I.X0", 1, "no such firmware image"},
  };
  for (const auto& c : cases) {
    const ShellRun r = RunCli(c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << "\n" << r.err;
  }
  // Scripts get the failure as JSON too.
  const ShellRun r = RunCli("--json thermal --device " + absent);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(json::parse(r.out)["error"]["code"], 298) << r.out;
}

TEST_F(Q7kCliTest, FirmwareCommandsAgainstTheVirtualInstrument) {
  // Only the boot loader runs and the flash is empty, as on a new module.
  EmulatorOptions bare;
  bare.model.flash.startInBootLoader = true;
  bare.model.flash.firmwareInFlash = false;
  Instrument q7(bare);

  // An image given by path from another directory, the device by a name
  // from here; the loader already runs.
  ASSERT_TRUE(std::filesystem::create_directory(dir_.File("new")));
  ASSERT_EQ(RunCli("flash sample new --version 01.21.00").status, 0);
  std::filesystem::create_symlink(q7.device.substr(10), "com");
  EXPECT_EQ(RunJson("flash download new/Q7I.X0 --device com")["entry"], 1);

  // The check after a watchdog reset: power-on sequence, then a download
  // of the image here, which the flash does not hold yet.
  q7.emulator.WithModel([](emu::InstrumentModel& m) {
    m.ReportWatchdog("Woof");
    return 0;
  });
  ASSERT_EQ(RunCli("flash sample").status, 0);
  EXPECT_EQ(RunJson("setup" + q7.device)["application"]["version"], "01.20.02");
  EXPECT_EQ(q7.emulator.WithModel(
                [](emu::InstrumentModel& m) { return m.power_on_count(); }),
            1);

  const json flash = RunJson("flash list" + q7.device)["flash"];
  ASSERT_EQ(flash.size(), 2u) << flash;
  EXPECT_EQ(flash[0]["version"], "01.21.00");
  EXPECT_EQ(flash[1]["version"], "01.20.02");
  EXPECT_EQ(RunCli("flash run 1" + q7.device).status, 0);
  EXPECT_EQ(RunCli("flash delete 2" + q7.device).status, 0);
  EXPECT_EQ(q7.emulator.WithModel([](emu::InstrumentModel& m) {
    return m.apps().directory().size();
  }),
            1u);
}

TEST_F(Q7kCliTest, InstrumentAndBoardCommandsAgainstTheVirtualInstrument) {
  Instrument q7;
  const json info = RunJson("info" + q7.device);
  EXPECT_EQ(info["component"], "1.00.15");
  EXPECT_EQ(info["application"]["version"], "01.20.02");
  EXPECT_FLOAT_EQ(
      RunJson("thermal" + q7.device)["thermal"]["ExtTemperature"].get<float>(),
      22.5f);
  // Every poll is shown: three ranging, one settling, then valid results.
  ExpectOutput(
      RunCli("test run --extended --circuit ust-r --interval 0 --kv 2" +
             q7.device),
      {"poll  3  ranging", "poll  4  settling", "poll  5  valid      2.000 kV",
       "ReceiveTestResults       ok"});
  // Interrupted while it waits to poll again: the test is stopped first.
  const ShellRun stopped = RunShell(
      std::string(Q7K_CLI_BINARY) + " test run --interval 60000" + q7.device +
      " >polls & until grep -q 'poll  1' polls || ! kill -0 $!; do sleep 0.1;"
      " done; kill -TERM $!; wait $!");
  EXPECT_EQ(stopped.status, 130);
  EXPECT_FALSE(q7.emulator.WithModel(
      [](emu::InstrumentModel& m) { return m.tests().running(); }));

  const ShellRun set = RunCli(
      "eeprom set 1 0 --serial 4659 --word 45=0x1234 --board-date 02/03/24" +
      q7.device);
  ASSERT_EQ(set.status, 0) << set.out << set.err;
  const json board = RunJson("eeprom dump 1 0" + q7.device);
  EXPECT_EQ(board["header"]["serial"], 4659);
  EXPECT_EQ(board["header"]["date"], "02/03/24");
  EXPECT_EQ(board["words"][45], 0x1234);
  EXPECT_EQ(board["sum"], 0);
  // Factory count 2, then the header (39 words) and one word, each with its
  // two commit words.
  EXPECT_EQ(board["header"]["write_count"], 2 + 41 + 3);
  EXPECT_EQ(RunJson("eeprom set 1 0 --serial 4659" + q7.device)["write_count"],
            2 + 41 + 3);

  const json pool = RunJson("cal coeffs --block factory" + q7.device);
  EXPECT_EQ(pool["revision"], 1000);
  EXPECT_EQ(pool["gains"][9], 1.0);

  // All six valid only when the backplane blocks are checked last.
  const json cals = RunJson("cal status" + q7.device)["calibrations"];
  ASSERT_EQ(cals.size(), 6u);
  for (const json& cal : cals) EXPECT_TRUE(cal["valid"]) << cal;
}

TEST_F(Q7kCliTest, PortsFromSysfsAndTheProbeOverTheSerialLine) {
  Emulator q7;
  const std::string pty = q7.Start();
  ASSERT_FALSE(pty.empty()) << q7.error();
  const std::string usb = "sys/devices/pci0/usb1/1-1/";
  const std::string acm = "sys/devices/pci0/usb1/1-2/";
  const std::string tty = "sys/class/tty/";
  // A USB adapter, an ACM device without a serial number, a UART, the
  // serial core's placeholder UART and a console with no device.
  const std::pair<std::string, std::string> files[] = {
      {usb + "idVendor", "0403\n"},
      {usb + "idProduct", "6001\n"},
      {usb + "serial", "A10K3BX\n"},
      {usb + "manufacturer", "FTDI\n"},
      {usb + "product", "FT232R UART\n"},
      {acm + "idVendor", "2341\n"},
      {acm + "idProduct", "0043\n"},
      {acm + "manufacturer", "Arduino\n"},
      {tty + "ttyS0/type", "4\n"},
      {tty + "ttyS1/type", "0\n"},
      {tty + "tty0/dev", "4:0\n"},
      {"dev/ttyS0", ""},
      {"dev/ttyS1", ""},
      {"dev/ttyACM0", ""},
      {"dev/tty0", ""}};
  const std::pair<std::string, std::string> links[] = {
      {usb + "1-1:1.0/ttyUSB0/driver", "/drivers/ftdi_sio"},
      {acm + "1-2:1.0/driver", "/drivers/cdc_acm"},
      {"sys/devices/pnp0/00:01/driver", "/drivers/serial"},
      {"sys/devices/platform/serial8250/driver", "/drivers/serial8250"},
      {tty + "ttyUSB0/device", dir_.File(usb + "1-1:1.0/ttyUSB0")},
      {tty + "ttyACM0/device", dir_.File(acm + "1-2:1.0")},
      {tty + "ttyS0/device", dir_.File("sys/devices/pnp0/00:01")},
      {tty + "ttyS1/device", dir_.File("sys/devices/platform/serial8250")},
      {"dev/ttyUSB0", pty},
      {"dev/serial/by-id/usb-FTDI_A10K3BX-if00-port0", "../../ttyUSB0"}};
  namespace fs = std::filesystem;
  for (const auto& [path, bytes] : files) {
    fs::create_directories(fs::path(path).parent_path());
    ASSERT_TRUE(WriteFileBytes(path, bytes)) << path;
  }
  for (const auto& [link, target] : links) {
    fs::create_directories(fs::path(link).parent_path());
    fs::create_symlink(target, link);
  }
  setenv("Q7K_SYSFS_ROOT", "sys", 1);
  setenv("Q7K_DEV_ROOT", "dev", 1);
  const ShellRun table = RunCli("ports");
  EXPECT_EQ(table.out,
            "device       kind  driver    usb id     serial   manufacturer  "
            "product\n"
            "dev/ttyACM0  acm   cdc_acm   2341:0043           Arduino\n"
            "dev/ttyS0    uart  serial\n"
            "dev/ttyUSB0  usb   ftdi_sio  0403:6001  A10K3BX  FTDI          "
            "FT232R UART\n"
            "  = dev/serial/by-id/usb-FTDI_A10K3BX-if00-port0\n")
      << table.err;

  // Only the instrument answers; the files there cannot be set up as ports.
  const json ports = RunJson("ports --probe")["ports"];
  unsetenv("Q7K_SYSFS_ROOT");
  unsetenv("Q7K_DEV_ROOT");
  ASSERT_EQ(ports.size(), 3u) << ports;
  EXPECT_EQ(ports[0]["usb"],
            json::parse(R"({"vendor_id": "2341", "product_id": "0043",
                "serial": "", "manufacturer": "Arduino", "product": ""})"));
  EXPECT_EQ(ports[1]["usb"], nullptr);
  EXPECT_EQ(ports[2]["by_id"][0],
            "dev/serial/by-id/usb-FTDI_A10K3BX-if00-port0");
  EXPECT_EQ(ports[2]["probe"]["application"]["version"], "01.20.02");
  EXPECT_FALSE(ports[1]["probe"]["answered"]) << ports[1];
}

}  // namespace
}  // namespace q7k
