// ports: the serial ports of this computer and, on request, which of them
// have an instrument behind them.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <thread>

#include "platform_texts.h"
#include "records.h"
#include "serial_ports.h"
#include "tool.h"

namespace q7k::tool {
namespace {

struct ProbeResult {
  bool answered = false;
  AppIdentity app;
  short code = 0;
  std::string message;
};

// Asks the port for the running application, the first question of every
// port setup; a port without an instrument costs the component's reply
// time-out.
ProbeResult Probe(const GlobalOptions& g, int number, const std::string& path) {
  ProbeResult r;
  ComPtr<IQ7kComm> comm;
  if (FAILED(
          CreateInstance("Veltrax.Q7kComm", IID_IQ7kComm, comm.AsVoidOut()))) {
    r.message = "cannot create the component";
    return r;
  }
  comm->put_Language(g.language);
  comm->put_EnableTrace(g.trace ? 1 : 0);
  SetSerialPortPath(number, path);
  const auto port = static_cast<Q7K_PORT>(number);
  if (SUCCEEDED(comm->OpenPort(port, g.bps)) &&
      SUCCEEDED(comm->ReadAppInfo())) {
    r.answered = true;
    r.app = ReadAppIdentity(comm.Get());
  } else {
    Bstr message;
    comm->get_ErrorCode(&r.code);
    comm->get_ErrorMsg(message.out());
    r.message = message.utf8();
  }
  comm->ClosePort();
  return r;
}

// Every port at once, each with its own component object, so that the
// silent ones cost one time-out in all.
std::vector<ProbeResult> ProbeAll(const GlobalOptions& g,
                                  const std::vector<SerialPort>& ports) {
  std::vector<ProbeResult> results(ports.size());
  std::vector<std::thread> threads;
  for (size_t i = 0; i < ports.size(); ++i) {
    threads.emplace_back([&, i] {
      results[i] = Probe(g, static_cast<int>(i) + 1, ports[i].path);
    });
  }
  for (std::thread& t : threads) t.join();
  return results;
}

std::string Answer(const ProbeResult& r) {
  if (r.answered) return r.app.name + " " + r.app.version;
  return "no (error " + std::to_string(r.code) + ": " + r.message + ")";
}

nlohmann::json ToJson(const SerialPort& p, const ProbeResult* probe) {
  nlohmann::json port = {{"name", p.name},     {"path", p.path},
                         {"kind", p.kind},     {"driver", p.driver},
                         {"by_id", p.aliases}, {"usb", nullptr}};
  if (p.usb) {
    const UsbIdentity& id = p.identity;
    port["usb"] = {{"vendor_id", id.vendorId},
                   {"product_id", id.productId},
                   {"serial", id.serial},
                   {"manufacturer", id.manufacturer},
                   {"product", id.product}};
  }
  if (probe != nullptr) {
    port["probe"] = {{"answered", probe->answered}};
    if (probe->answered) {
      port["probe"]["application"] = ToJson(probe->app);
    } else {
      port["probe"]["code"] = probe->code;
      port["probe"]["message"] = probe->message;
    }
  }
  return port;
}

// Columns as wide as their widest cell, without trailing blanks.
void PrintRow(const std::vector<std::string>& cells,
              const std::vector<size_t>& widths) {
  std::string line;
  for (size_t c = 0; c < cells.size(); ++c) {
    line += cells[c];
    if (c + 1 < cells.size()) line.append(widths[c] + 2 - cells[c].size(), ' ');
  }
  line.erase(line.find_last_not_of(' ') + 1);
  std::printf("%s\n", line.c_str());
}

void PrintTable(const std::vector<SerialPort>& ports,
                const std::vector<ProbeResult>& probes) {
  std::vector<std::vector<std::string>> rows = {{"device", "kind", "driver",
                                                 "usb id", "serial",
                                                 "manufacturer", "product"}};
  if (!probes.empty()) rows[0].push_back("instrument");
  for (size_t i = 0; i < ports.size(); ++i) {
    const SerialPort& p = ports[i];
    const UsbIdentity& id = p.identity;
    rows.push_back({p.path, p.kind, p.driver,
                    p.usb ? id.vendorId + ":" + id.productId : "", id.serial,
                    id.manufacturer, id.product});
    if (!probes.empty()) rows.back().push_back(Answer(probes[i]));
  }
  std::vector<size_t> widths(rows[0].size(), 0);
  for (const auto& row : rows) {
    for (size_t c = 0; c < row.size(); ++c) {
      widths[c] = std::max(widths[c], row[c].size());
    }
  }
  PrintRow(rows[0], widths);
  for (size_t i = 0; i < ports.size(); ++i) {
    PrintRow(rows[i + 1], widths);
    for (const std::string& alias : ports[i].aliases) {
      std::printf("  = %s\n", alias.c_str());
    }
  }
}

}  // namespace

Q7K_COMMAND(ports, 15) {
  auto probe = std::make_shared<bool>(false);
  auto* cmd = parent->add_subcommand(
      "ports",
      "List the serial ports with what USB adapters say about themselves; "
      "--probe asks each port for the instrument's running application");
  cmd->add_flag("--probe", *probe,
                "Send the instrument's first question on every port at the "
                "--bps speed (a device that is not an instrument receives "
                "these bytes) and show which port answers");
  cmd->footer(kPortsFooter);
  return {Runner(cmd, [probe](Tool& tool) {
    std::vector<SerialPort> ports;
    std::string error;
    if (!ListSerialPorts(&ports, &error)) return tool.FailWith(error);
    const std::vector<ProbeResult> probes =
        *probe ? ProbeAll(tool.options(), ports) : std::vector<ProbeResult>();
    if (tool.json()) {
      nlohmann::json list = nlohmann::json::array();
      for (size_t i = 0; i < ports.size(); ++i) {
        list.push_back(ToJson(ports[i], probes.empty() ? nullptr : &probes[i]));
      }
      tool.PrintJson({{"ports", list}});
    } else if (ports.empty()) {
      std::printf("no serial ports found\n");
    } else {
      PrintTable(ports, probes);
    }
    return kExitOk;
  })};
}

}  // namespace q7k::tool
