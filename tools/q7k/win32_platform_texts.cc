#include "platform_texts.h"

namespace q7k::tool {

const char kPortHelp[] =
    "Serial port number n: COMn, or the device named by Q7K_COM<n>";
const char kEmulatorHelp[] =
    "Not on Windows: run q7k-emulator at the far end of a serial line and "
    "name its port with --port instead";
const char kPortsFooter[] =
    "Lists the COM ports the system has registered "
    "(HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM); the driver column is the "
    "device the port belongs to.";

}  // namespace q7k::tool
