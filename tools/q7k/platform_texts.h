// Help texts that tell what differs between platforms.
#ifndef Q7K_TOOLS_Q7K_PLATFORM_TEXTS_H_
#define Q7K_TOOLS_Q7K_PLATFORM_TEXTS_H_

namespace q7k::tool {

// --port: which device port n opens.
extern const char kPortHelp[];
// demo --emulator.
extern const char kEmulatorHelp[];
// ports: where the list comes from.
extern const char kPortsFooter[];

}  // namespace q7k::tool

#endif  // Q7K_TOOLS_Q7K_PLATFORM_TEXTS_H_
