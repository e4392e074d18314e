// EmbeddedEmulator: the virtual instrument started inside a program that
// uses only the public API (q7k's demo). This header includes nothing of
// the emulator's or the library's internals, so such a program links the
// emulator without seeing their headers.
#ifndef Q7K_EMULATOR_EMBEDDED_EMULATOR_H_
#define Q7K_EMULATOR_EMBEDDED_EMULATOR_H_

#include <memory>
#include <string>

namespace q7k {

class Emulator;

class EmbeddedEmulator {
 public:
  // flashEmpty: the instrument runs its boot loader and holds no firmware,
  // so a host's firmware check has to download one.
  explicit EmbeddedEmulator(bool flashEmpty);
  ~EmbeddedEmulator();  // stops serving
  EmbeddedEmulator(const EmbeddedEmulator&) = delete;
  EmbeddedEmulator& operator=(const EmbeddedEmulator&) = delete;

  // Serves on a pseudo-terminal. Returns the path a host opens, or empty
  // with error() telling why.
  std::string Start();
  std::string error() const;

 private:
  std::unique_ptr<Emulator> emulator_;
};

}  // namespace q7k

#endif  // Q7K_EMULATOR_EMBEDDED_EMULATOR_H_
