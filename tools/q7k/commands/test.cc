// test run: one test with the parameters a technician chooses, each poll
// shown as it comes, then the final record.
#include <memory>
#include <string>

#include "result_table.h"
#include "insulation_test_session.h"
#include "interrupt.h"
#include "tool.h"

namespace q7k::tool {
namespace {

int RunTest(Tool& tool, const SessionOptions& options) {
  if (!tool.OpenPort()) return kExitFailed;
  SessionOptions session = options;
  const InterruptGuard interrupt;
  session.stopRequested = [&interrupt] { return interrupt.requested(); };
  if (!tool.json()) {
    session.onPoll = [](const SessionResult& r) { PrintPoll(r, stdout); };
  }
  // On a terminal the poll lines are the live display; the progress line
  // would share their line.
  session.progress = !tool.Interactive();
  SessionResult result;
  const HRESULT hr = RunTestSession(tool.Component(), session, &result,
                                    tool.json() ? nullptr : stdout);
  const int status = ReportSession(tool, hr, result);
  tool.Component()->ClosePort();
  return status;
}

}  // namespace

Q7K_COMMAND(test, 30) {
  auto* test = parent->add_subcommand("test", "Run tests on the instrument");
  test->require_subcommand(1);
  auto options = std::make_shared<SessionOptions>();
  auto* run = test->add_subcommand(
      "run", "Run one test, print every result poll and the final record");
  const Choices<TYPE_OF_TEST> types = {{"pf", POWER_FACTOR_TEST},
                                       {"xref", EXT_REF_TEST},
                                       {"xref-gst", EXT_REF_GST},
                                       {"leak", LEAK_REAC_TEST},
                                       {"exc", EXCITATION_TEST}};
  run->add_option("--type", options->type,
                  "pf (power factor), xref, xref-gst (external reference), "
                  "leak (leakage reactance) or exc (excitation) [pf]")
      ->transform(Choice(types))
      ->type_name("TYPE");
  const Choices<CIRC_DESC> circuits = {
      {"gnd-rb", CIRC_GND_RB}, {"gar-rb", CIRC_GAR_RB}, {"gar-r", CIRC_GAR_R},
      {"gar-b", CIRC_GAR_B},   {"ust-rb", CIRC_UST_RB}, {"ust-r", CIRC_UST_R},
      {"ust-b", CIRC_UST_B}};
  run->add_option("--circuit", options->circuit,
                  "GST ground red+blue (gnd-rb), GST guard (gar-rb, gar-r, "
                  "gar-b) or UST (ust-rb, ust-r, ust-b) [gnd-rb]")
      ->transform(Choice(circuits))
      ->type_name("CIRCUIT");
  run->add_option("--kv", options->kVolts, "Test voltage in kV, up to 12")
      ->check(CLI::Range(0.001, 12.0))
      ->capture_default_str();
  run->add_option("--frequency,--hz", options->frequency,
                  "Test frequency in Hz")
      ->check(CLI::Range(15.0, 500.0))
      ->capture_default_str();
  const Choices<FILTER_TYPE> filters = {{"fast", FIR_FAST_RESULTS},
                                        {"slow", FIR_SLOW_RESULTS},
                                        {"averaged", LOWPASS_AVERAGED}};
  run->add_option("--filter", options->filter,
                  "Result filter: fast, slow or averaged [fast]")
      ->transform(Choice(filters))
      ->type_name("FILTER");
  run->add_flag("--extended", options->extended,
                "Ask for extended results (voltage-control toggle and "
                "specimen peak extremes)");
  run->add_option("--polls", options->maxPolls,
                  "Give up when the results have not settled after N polls")
      ->check(CLI::Range(1, 100000))
      ->capture_default_str();
  run->add_option("--interval", options->pollIntervalMs,
                  "Milliseconds between polls")
      ->check(CLI::Range(0, 60000))
      ->capture_default_str();
  return {
      Runner(run, [options](Tool& tool) { return RunTest(tool, *options); })};
}

}  // namespace q7k::tool
