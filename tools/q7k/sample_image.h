// A stand-in firmware image for the demo and for trying the firmware check:
// a valid "Q7I" image file with its identity record and a version, whose
// data are filler, not a program.
#ifndef Q7K_TOOLS_Q7K_SAMPLE_IMAGE_H_
#define Q7K_TOOLS_Q7K_SAMPLE_IMAGE_H_

#include <string>

namespace q7k::tool {

struct SampleImage {
  std::string version = "01.20.02";  // 8 characters
  std::string date = "06/03/24";
  std::string time = "12:00:00";
  // Records of 32 data bytes; 3000 take the download's bar to its end.
  int records = 3000;
};

// Writes the image to path (normally "Q7I.X0"). False when it cannot.
bool WriteSampleFirmware(const std::string& path, const SampleImage& image);

}  // namespace q7k::tool

#endif  // Q7K_TOOLS_Q7K_SAMPLE_IMAGE_H_
