#include "platform_texts.h"

namespace q7k::tool {

const char kPortHelp[] =
    "Serial port number n: COMn, the device named by Q7K_COM<n> or else "
    "/dev/ttyS<n-1>";
const char kEmulatorHelp[] =
    "Start the virtual instrument (boot loader only, flash empty) on a "
    "pseudo-terminal in this process; the firmware check then downloads, "
    "programs and starts a sample firmware image before the session runs "
    "over the serial port. Works in a temporary directory";

}  // namespace q7k::tool
