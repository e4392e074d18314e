#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "serial_ports.h"

namespace q7k::tool {

bool ListSerialPorts(std::vector<SerialPort>* ports, std::string* error) {
  ports->clear();
  HKEY key;
  const LONG opened =
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0,
                    KEY_QUERY_VALUE, &key);
  // The system makes the key with its first port.
  if (opened == ERROR_FILE_NOT_FOUND) return true;
  if (opened != ERROR_SUCCESS) {
    *error =
        "cannot read the registered COM ports: error " + std::to_string(opened);
    return false;
  }
  for (DWORD i = 0;; ++i) {
    char device[256];
    DWORD deviceSize = sizeof device;
    BYTE name[256] = {};
    DWORD nameSize = sizeof name - 1;  // room for the missing terminator
    DWORD type = 0;
    const LONG r = RegEnumValueA(key, i, device, &deviceSize, nullptr, &type,
                                 name, &nameSize);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS || type != REG_SZ) continue;
    SerialPort port;
    port.name = reinterpret_cast<const char*>(name);
    // Only COM1 to COM9 are known by their bare name everywhere.
    const bool bare = port.name.size() == 4 &&
                      port.name.compare(0, 3, "COM") == 0 &&
                      port.name[3] >= '1' && port.name[3] <= '9';
    port.path = bare ? port.name : "\\\\.\\" + port.name;
    port.kind = "serial";
    port.driver = device;
    ports->push_back(std::move(port));
  }
  RegCloseKey(key);
  // COM2 before COM10.
  std::sort(ports->begin(), ports->end(),
            [](const SerialPort& a, const SerialPort& b) {
              return a.name.size() != b.name.size()
                         ? a.name.size() < b.name.size()
                         : a.name < b.name;
            });
  return true;
}

}  // namespace q7k::tool
