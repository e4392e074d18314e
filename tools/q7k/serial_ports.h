// The serial ports this computer has, as the system describes them, for
// `q7k ports`. Where they come from is the platform's business.
#ifndef Q7K_TOOLS_Q7K_SERIAL_PORTS_H_
#define Q7K_TOOLS_Q7K_SERIAL_PORTS_H_

#include <string>
#include <vector>

namespace q7k::tool {

// What a USB adapter says about itself; empty where it says nothing.
struct UsbIdentity {
  std::string vendorId, productId, serial, manufacturer, product;
};

struct SerialPort {
  std::string name;  // ttyUSB0, COM3
  std::string path;  // what --device and Q7K_COM<n> take
  std::string kind;  // uart, usb, acm, serial
  std::string driver;
  std::vector<std::string> aliases;  // stable names leading to path
  bool usb = false;
  UsbIdentity identity;
};

// In name order (ttyS2 before ttyS10). False when this platform cannot list
// its ports; error then says why.
bool ListSerialPorts(std::vector<SerialPort>* ports, std::string* error);

}  // namespace q7k::tool

#endif  // Q7K_TOOLS_Q7K_SERIAL_PORTS_H_
