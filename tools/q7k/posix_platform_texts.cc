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
const char kPortsFooter[] =
    "Lists ttyS ports that have a UART behind them, ttyUSB and ttyACM ports, "
    "each with the names under /dev/serial/by-id that lead to it (after "
    "'='), and the USB ids, serial number, manufacturer and product that "
    "sysfs holds for an adapter. For tests, Q7K_SYSFS_ROOT and Q7K_DEV_ROOT "
    "stand for /sys and /dev.";

}  // namespace q7k::tool
