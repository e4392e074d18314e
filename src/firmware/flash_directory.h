// FlashDirectory: the component's copy of the instrument's flash directory,
// at most 15 entries, read page by page with command 15:
//
//   request  U2  number of the first entry wanted (from 1)
//   reply    I2  n, entries in this page
//            I2  continuation flag, non-zero when more follow
//            n entries of 64 bytes (AppInfo wire form with description)
//
// Thread safety: none; the client's thread.
#ifndef Q7K_FIRMWARE_FLASH_DIRECTORY_H_
#define Q7K_FIRMWARE_FLASH_DIRECTORY_H_

#include <cstdint>

#include "firmware/app_info.h"
#include "link/command_channel.h"

namespace q7k {

class FlashDirectory {
 public:
  static constexpr int16_t kSlots = 15;

  // Clears the copy, then reads entries from number 1 on until the
  // instrument says no more follow, a page holds none, or the slots are
  // full. False when a page could not be read (recorded in the channel's
  // error record); count() then tells the slots filled before it.
  bool Read(const CommandChannel& channel);

  // The slot at index (0..14), or null outside.
  const AppInfo* slot(int16_t index) const;
  int16_t count() const { return count_; }

 private:
  void Clear();

  int16_t count_ = 0;
  AppInfo slots_[kSlots]{};
};

}  // namespace q7k

#endif  // Q7K_FIRMWARE_FLASH_DIRECTORY_H_
