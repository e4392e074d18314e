// q7k: the command-line tool for technicians and integrators. Built on the
// public API only.
#include <q7kcomm/q7kcomm.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <map>
#include <string>

#include "result_table.h"
#include "test_session.h"

namespace q7k::tool {
namespace {

struct Globals {
  std::string language = "en";
  bool trace = false;
};

struct PortOptions {
  int port = 1;
  int bps = BPS_115200;
};

// Prints the component's current error and returns the exit status 1.
int Fail(IQ7kComm* comm, const char* what) {
  short code = 0;
  comm->get_ErrorCode(&code);
  Bstr message;
  comm->get_ErrorMsg(message.out());
  std::fprintf(stderr, "q7k: %s failed: error %d: %s\n", what, code,
               message.utf8().c_str());
  return 1;
}

ComPtr<IQ7kComm> NewComponent(const Globals& g) {
  ComPtr<IQ7kComm> comm;
  if (FAILED(
          CreateInstance("Veltrax.Q7kComm", IID_IQ7kComm, comm.AsVoidOut()))) {
    std::fprintf(stderr, "q7k: cannot create the component\n");
    return comm;
  }
  static const std::map<std::string, Q7K_LANGUAGE> languages = {
      {"en", LANGUAGE_ENGLISH},
      {"es", LANGUAGE_SPANISH},
      {"pt", LANGUAGE_PORTUGUESE},
      {"fr", LANGUAGE_FRENCH}};
  comm->put_Language(languages.at(g.language));
  comm->put_EnableTrace(g.trace ? 1 : 0);
  return comm;
}

int RunSession(IQ7kComm* comm, const PortOptions& port,
               const SessionOptions& options, bool verbose) {
  if (FAILED(comm->OpenPort(static_cast<Q7K_PORT>(port.port),
                            static_cast<Q7K_BPS>(port.bps)))) {
    return Fail(comm, "OpenPort");
  }
  SessionResult result;
  const HRESULT hr =
      RunPowerFactorTest(comm, options, &result, verbose ? stdout : nullptr);
  if (FAILED(hr)) {
    const int status = Fail(comm, "test session");
    comm->ClosePort();
    return status;
  }
  Bstr app, version;
  comm->get_AppName(app.out());
  comm->get_AppVersion(version.out());
  if (app.empty()) {
    std::printf("Instrument application: unknown (no Q7I.X0 here)\n");
  } else {
    std::printf("Instrument application: %s %s\n", app.utf8().c_str(),
                version.utf8().c_str());
  }
  PrintResultTable(result, stdout);
  comm->ClosePort();
  return 0;
}

void AddPortOptions(CLI::App* cmd, PortOptions* port) {
  cmd->add_option("-p,--port", port->port,
                  "Serial port number (device from Q7K_COM<n>)")
      ->check(CLI::PositiveNumber);
  cmd->add_option("-b,--bps", port->bps,
                  "Speed code: 0 9600, 1 14400, 2 19200, 3 38400, 4 57600, "
                  "5 112500, 6 128000")
      ->check(CLI::Range(0, 6));
}

}  // namespace
}  // namespace q7k::tool

int main(int argc, char** argv) {
  using namespace q7k;
  using namespace q7k::tool;
  CLI::App app{"q7k: drive a Q7300 insulation test set through q7kcomm"};
  app.require_subcommand(1);
  Globals g;
  app.add_option("-l,--language", g.language, "Texts: en, es, pt or fr")
      ->check(CLI::IsMember({"en", "es", "pt", "fr"}));
  app.add_flag("-t,--trace", g.trace, "Write every exchange to Q7kComm.log");

  SessionOptions demoOptions;
  bool fast = false;
  auto* demo = app.add_subcommand(
      "demo", "Run a simulated power-factor test on the built-in simulator");
  demo->add_flag("--fast", fast, "Simulate without waiting and without noise");
  demo->add_option("--kv", demoOptions.kVolts, "Test voltage in kV");

  SessionOptions testOptions;
  PortOptions testPort;
  auto* test = app.add_subcommand(
      "test", "Run a power-factor test on an instrument (or the emulator)");
  AddPortOptions(test, &testPort);
  test->add_option("--kv", testOptions.kVolts, "Test voltage in kV");

  PortOptions loopPort;
  auto* loop = app.add_subcommand(
      "loopback", "Check the cable with a loopback plug or an echoing device");
  AddPortOptions(loop, &loopPort);

  PortOptions powerPort;
  auto* power =
      app.add_subcommand("poweron", "Run the instrument's power-on sequence");
  AddPortOptions(power, &powerPort);

  PortOptions errorsPort;
  bool commErrors = false;
  auto* errors = app.add_subcommand("errors", "List the error codes and texts");
  errors->add_flag("--link", commErrors,
                   "List the link's errors (opens the port)");
  AddPortOptions(errors, &errorsPort);

  auto* version = app.add_subcommand("version", "Print the component version");

  CLI11_PARSE(app, argc, argv);

  ComPtr<IQ7kComm> comm = NewComponent(g);
  if (!comm) return 1;

  if (*demo) {
    comm->put_SimulMode(SIMUL_EXC);
    comm->put_SimulFast(fast ? 1 : 0);
    PortOptions simulated;
    return RunSession(comm.Get(), simulated, demoOptions, true);
  }
  if (*test) return RunSession(comm.Get(), testPort, testOptions, true);
  if (*loop) {
    if (FAILED(comm->RunLoopbackTest(static_cast<Q7K_PORT>(loopPort.port),
                                     static_cast<Q7K_BPS>(loopPort.bps)))) {
      return Fail(comm.Get(), "RunLoopbackTest");
    }
    std::printf("loopback ok\n");
    return 0;
  }
  if (*power) {
    if (FAILED(comm->OpenPort(static_cast<Q7K_PORT>(powerPort.port),
                              static_cast<Q7K_BPS>(powerPort.bps)))) {
      return Fail(comm.Get(), "OpenPort");
    }
    if (FAILED(comm->StartPONSequence())) {
      return Fail(comm.Get(), "StartPONSequence");
    }
    std::printf("power-on sequence ok\n");
    return 0;
  }
  if (*errors) {
    Bstr list;
    if (commErrors) {
      comm->OpenPort(static_cast<Q7K_PORT>(errorsPort.port),
                     static_cast<Q7K_BPS>(errorsPort.bps));
      comm->ListCommErrors(list.out());
    } else {
      comm->ListAppErrors(list.out());
    }
    std::fputs(list.utf8().c_str(), stdout);
    return 0;
  }
  if (*version) {
    Bstr text;
    comm->get_Version(text.out());
    std::printf("%s\n", text.utf8().c_str());
  }
  return 0;
}
