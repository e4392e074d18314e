// AppStore: the instrument's applications: the one that runs, the resident
// boot loader, the flash directory and the download that programs a new
// entry.
//
// Request payloads handled here (little-endian):
//   10 announce:  name 8, version 8, image length in 32-bit words (I4)
//   11 block:     load address in words (U4), byte count (U2, at most 256),
//                 the bytes; the payload is exactly count + 6 bytes
//   14 search:    name, date, time, version, 8 bytes each
//   15 page:      first entry number wanted (U2, from 1)
//   16, 17:       entry number (I2, from 1; 17 also takes 0, see Delete)
// Reply data:
//   1  identity of the running application, 64 bytes (AppIdentity)
//   14 entry number (I2), 0 when not found
//   15 entries in this page (I2), more-follow flag (I2), the entries
//
// Thread safety: none; the owner serialises access.
#ifndef Q7K_EMULATOR_APP_STORE_H_
#define Q7K_EMULATOR_APP_STORE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app_identity.h"
#include "reply.h"

namespace q7k {
namespace emu {

// How the flash starts out and how much it holds.
struct FlashConfig {
  AppIdentity firmware =
      AppIdentity::Make("Q7I", "03/12/02", "14:05:33", "01.20.02",
                        "Q7300 Instrument Measurement App");
  AppIdentity bootLoader = AppIdentity::Make("POSTLOAD", "01/15/98", "08:00:00",
                                             "01.02.00", "Q7310 Boot Loader");
  // The firmware is entry 1 of the directory (otherwise it runs from RAM
  // and the directory starts empty).
  bool firmwareInFlash = true;
  bool startInBootLoader = false;
  size_t capacity = 8;            // directory entries
  uint32_t flashWords = 0x80000;  // 2 MB of 32-bit words
  uint32_t firmwareWords = 0x10000;
  size_t pageSize = 4;  // entries per reply to 15; 1 to 4 fit a frame
  // Programming (12) is acknowledged but the new entry reads back erased,
  // as from a worn-out flash: searches no longer find it.
  bool corruptProgramming = false;
};

// One application in flash.
struct FlashEntry {
  AppIdentity identity;
  uint32_t words = 0;
  // What a download programmed: its first word address and its bytes.
  uint32_t origin = 0;
  std::vector<uint8_t> image{};
};

class AppStore {
 public:
  // Word offset of the identity record from the image's first address.
  static constexpr uint32_t kHeaderOffsetWords = 192;
  static constexpr size_t kMaxPageSize = 4;

  explicit AppStore(const FlashConfig& config);

  Reply AppInfo() const;                                  // 1
  Reply RestartLoader();                                  // 8
  Reply Announce(const uint8_t* p, size_t n);             // 10
  Reply Block(const uint8_t* p, size_t n);                // 11
  Reply Complete();                                       // 12
  Reply Abort();                                          // 13
  Reply Search(const uint8_t* p, size_t n) const;         // 14
  Reply DirectoryPage(const uint8_t* p, size_t n) const;  // 15
  Reply Execute(const uint8_t* p, size_t n);              // 16
  // 17. Entry 0 makes room: it deletes the oldest entry that is not the
  // running application. The running application's entry is refused.
  Reply Delete(const uint8_t* p, size_t n);

  // Adds an entry as if programmed; false when the directory is full.
  bool AddEntry(const FlashEntry& entry);
  void set_page_size(size_t entries);

  bool in_boot_loader() const { return inBootLoader_; }
  // The identity command 1 reports.
  const AppIdentity& running() const;
  const std::vector<FlashEntry>& directory() const { return directory_; }
  bool download_in_progress() const { return download_.active; }
  size_t page_size() const { return pageSize_; }

 private:
  // A download between 10 and 12: the announced image and the bytes that
  // arrived, from the first block's address on.
  struct Download {
    bool active = false;
    std::string name;
    std::string version;
    int32_t words = 0;
    bool haveFirst = false;
    uint32_t firstAddress = 0;
    std::vector<uint8_t> bytes;
    std::vector<bool> covered;
  };

  uint32_t UsedWords() const;

  FlashConfig config_;
  std::vector<FlashEntry> directory_;
  AppIdentity running_;
  // Directory index the running application came from; -1 when none.
  int runningEntry_ = -1;
  bool inBootLoader_ = false;
  size_t pageSize_;
  Download download_;
};

}  // namespace emu
}  // namespace q7k

#endif  // Q7K_EMULATOR_APP_STORE_H_
