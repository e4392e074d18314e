#include "simulator/profile_reader.h"

#include <fstream>
#include <iterator>

namespace q7k {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

std::string Cut(std::string_view value) {
  return std::string(value.substr(0, ProfileFile::kMaxValueChars));
}

}  // namespace

std::optional<ProfileFile> ProfileFile::Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(in)),
                   std::istreambuf_iterator<char>());
  return Parse(text);
}

ProfileFile ProfileFile::Parse(std::string_view text) {
  ProfileFile file;
  Section* current = nullptr;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = Trim(line);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      std::string_view name = line.substr(1);
      name = Trim(name.substr(0, name.find(']')));
      file.sections_.push_back(Section{std::string(name), {}});
      current = &file.sections_.back();
      continue;
    }
    size_t equals = line.find('=');
    if (equals == std::string_view::npos || current == nullptr) continue;
    current->entries.push_back(
        Entry{std::string(Trim(line.substr(0, equals))),
              std::string(Unquote(Trim(line.substr(equals + 1))))});
  }
  return file;
}

std::string ProfileFile::GetString(std::string_view section,
                                   std::string_view key,
                                   std::string_view defaultValue) const {
  for (const Section& candidate : sections_) {
    if (!EqualsNoCase(candidate.name, section)) continue;
    for (const Entry& entry : candidate.entries) {
      if (EqualsNoCase(entry.key, key)) return Cut(entry.value);
    }
    break;
  }
  return Cut(defaultValue);
}

}  // namespace q7k
