#include "app_identity.h"

#include "link/le_bytes.h"

namespace q7k {
namespace emu {
namespace {

constexpr size_t kField = 8;
constexpr size_t kDescription = 32;

std::string Pad(const std::string& text, size_t width, char pad) {
  std::string s = text.substr(0, width);
  s.resize(width, pad);
  return s;
}

}  // namespace

std::string TrimField(const std::string& field) {
  size_t end = field.size();
  while (end > 0 && (field[end - 1] == ' ' || field[end - 1] == '\0')) --end;
  return field.substr(0, end);
}

AppIdentity AppIdentity::Make(const std::string& name, const std::string& date,
                              const std::string& time,
                              const std::string& version,
                              const std::string& description) {
  AppIdentity a;
  a.name = Pad(name, kField, ' ');
  a.date = Pad(date, kField, '\0');
  a.time = Pad(time, kField, '\0');
  a.version = Pad(version, kField, '\0');
  a.description = Pad(description, kDescription, '\0');
  return a;
}

AppIdentity AppIdentity::FromWire(const uint8_t* p, size_t size) {
  ByteReader r(p, size);
  AppIdentity a;
  a.name = Pad(r.Text(kField), kField, '\0');
  a.date = Pad(r.Text(kField), kField, '\0');
  a.time = Pad(r.Text(kField), kField, '\0');
  a.version = Pad(r.Text(kField), kField, '\0');
  a.description = Pad(r.Text(kDescription), kDescription, '\0');
  return a;
}

void AppIdentity::AppendWire(std::vector<uint8_t>* out) const {
  ByteWriter w(out);
  w.Text(name, kField);
  w.Text(date, kField);
  w.Text(time, kField);
  w.Text(version, kField);
  w.Text(description, kDescription);
}

bool AppIdentity::SameStamp(const AppIdentity& other) const {
  return SameName(other.name) && TrimField(date) == TrimField(other.date) &&
         TrimField(time) == TrimField(other.time) &&
         TrimField(version) == TrimField(other.version);
}

bool AppIdentity::SameName(const std::string& otherName) const {
  return TrimField(name) == TrimField(otherName);
}

}  // namespace emu
}  // namespace q7k
