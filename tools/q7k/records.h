// The component's records as JSON objects and short tables, shared by the
// commands that print them.
#ifndef Q7K_TOOLS_Q7K_RECORDS_H_
#define Q7K_TOOLS_Q7K_RECORDS_H_

#include <q7kcomm/q7kcomm.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

namespace q7k::tool {

// The running application as the App* properties hold it.
struct AppIdentity {
  std::string name, date, time, version, description;
};
AppIdentity ReadAppIdentity(IQ7kComm* comm);

nlohmann::json ToJson(const AppIdentity& app);
nlohmann::json ToJson(const Q7K_TEST_DATA& data);
nlohmann::json ToJson(const Q7K_THERMAL_DATA& thermal);

void PrintThermalTable(const Q7K_THERMAL_DATA& thermal, std::FILE* out);

}  // namespace q7k::tool

#endif  // Q7K_TOOLS_Q7K_RECORDS_H_
