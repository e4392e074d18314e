// AppIdentity: the description of one application as the instrument reports
// it (running application, flash directory entry).
//
// Wire form, 64 bytes (reply to command 1, each directory entry):
//   offset 0   8 bytes  name        offset 24  8 bytes  version
//   offset 8   8 bytes  date        offset 32 32 bytes  description
//   offset 16  8 bytes  time
// Command 14 sends the first 32 bytes only. Fields are not necessarily
// terminated: a field that fills its width has no NUL.
//
// Thread safety: none; a plain value.
#ifndef Q7K_EMULATOR_APP_IDENTITY_H_
#define Q7K_EMULATOR_APP_IDENTITY_H_

#include <cstdint>
#include <string>
#include <vector>

namespace q7k {
namespace emu {

struct AppIdentity {
  // Each field holds exactly its width in bytes (8, or 32 for description).
  std::string name;
  std::string date;
  std::string time;
  std::string version;
  std::string description;

  // Pads the texts to their widths: the name with blanks (the firmware's
  // name reads "Q7I" and five blanks), the others with NULs.
  static AppIdentity Make(const std::string& name, const std::string& date,
                          const std::string& time, const std::string& version,
                          const std::string& description);
  // From the 32 (or 64) wire bytes at p; a missing description is empty.
  static AppIdentity FromWire(const uint8_t* p, size_t size);

  // Appends the 64-byte wire form.
  void AppendWire(std::vector<uint8_t>* out) const;

  // Same name, date, time and version, each compared with trailing blanks
  // and NULs ignored (hosts pad typed names either way).
  bool SameStamp(const AppIdentity& other) const;
  bool SameName(const std::string& otherName) const;
};

// The text with trailing blanks and NULs removed.
std::string TrimField(const std::string& field);

}  // namespace emu
}  // namespace q7k

#endif  // Q7K_EMULATOR_APP_IDENTITY_H_
