// ProfileFile: a read-only file of initialisation sections ("[section]"
// lines followed by "key=value" lines), read the way the host platform's
// private-profile reader reads them. The simulator takes its specimen data
// from such a file.
//
// Reading rules: section names and keys compare without regard to ASCII
// case; keys and values are trimmed of blanks (spaces and tabs), and a value
// enclosed in a matching pair of single or double quotes loses them; lines
// whose first non-blank character is ';' are comments; lines that are
// neither a section header nor contain '=' are ignored, as are keys before
// the first section. Only the first section with a given name is searched,
// and the first matching key in it wins. A value is returned with at most
// kMaxValueChars characters.
//
// Thread safety: immutable after construction; const methods are safe from
// any thread.
#ifndef Q7K_SIMULATOR_PROFILE_READER_H_
#define Q7K_SIMULATOR_PROFILE_READER_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace q7k {

class ProfileFile {
 public:
  // The reader hands out values through a 64-byte buffer.
  static constexpr size_t kMaxValueChars = 63;

  // Reads and parses the file at path; nullopt when it cannot be opened.
  static std::optional<ProfileFile> Load(const std::string& path);
  // Parses text; any byte sequence is accepted.
  static ProfileFile Parse(std::string_view text);

  // The value of key in section, or defaultValue when the section or the
  // key is missing; either way cut to kMaxValueChars characters.
  std::string GetString(std::string_view section, std::string_view key,
                        std::string_view defaultValue = {}) const;

 private:
  struct Entry {
    std::string key;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };

  std::vector<Section> sections_;
};

}  // namespace q7k

#endif  // Q7K_SIMULATOR_PROFILE_READER_H_
