// The component's records as JSON objects and short tables, shared by the
// commands that print them.
#ifndef Q7K_TOOLS_Q7K_RECORDS_H_
#define Q7K_TOOLS_Q7K_RECORDS_H_

#include <q7kcomm/q7kcomm.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace q7k::tool {

// The running application as the App* properties hold it.
struct AppIdentity {
  std::string name, date, time, version, description;
};
AppIdentity ReadAppIdentity(IQ7kComm* comm);

// The flash directory that ReadFlashDirectory filled, entry 1 first.
// Replaces the App* properties with the last entry.
std::vector<AppIdentity> FlashEntries(IQ7kComm* comm);
// Entries numbered as the instrument numbers them (from 1).
nlohmann::json ToJson(const std::vector<AppIdentity>& entries);
void PrintFlashTable(const std::vector<AppIdentity>& entries, std::FILE* out);

nlohmann::json ToJson(const AppIdentity& app);
nlohmann::json ToJson(const Q7K_TEST_DATA& data);
nlohmann::json ToJson(const Q7K_THERMAL_DATA& thermal);

void PrintThermalTable(const Q7K_THERMAL_DATA& thermal, std::FILE* out);

}  // namespace q7k::tool

#endif  // Q7K_TOOLS_Q7K_RECORDS_H_
