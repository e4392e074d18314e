#include "firmware/app_params.h"

#include "firmware/app_image_file.h"

namespace q7k {

void AppParams::Describe(const AppInfo& app) {
  std::memcpy(Name, app.Name, sizeof Name);
  std::memcpy(Version, app.Version, sizeof Version);
}

PayloadWriter AppParams::Payload() const {
  PayloadWriter w;
  w.Bytes(reinterpret_cast<const uint8_t*>(Name), sizeof Name)
      .Bytes(reinterpret_cast<const uint8_t*>(Version), sizeof Version)
      .U32(static_cast<uint32_t>(ImageLength));
  return w;
}

int32_t FillAppParams(const std::string& fileName, AppParams* out) {
  AppInfo header;
  const int32_t error =
      ReadAppFileHeader(fileName.substr(0, fileName.find('.')), &header);
  if (error != kAppFileOk) return error;
  out->Clear();
  out->Describe(header);
  out->ImageLength = AppImageLength(fileName);
  return kAppFileOk;
}

}  // namespace q7k
