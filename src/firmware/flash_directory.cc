#include "firmware/flash_directory.h"

#include <algorithm>

#include "link/command_codes.h"
#include "link/le_bytes.h"

namespace q7k {
namespace {

constexpr size_t kPageHeader = 4;

}  // namespace

void FlashDirectory::Clear() {
  count_ = 0;
  for (AppInfo& s : slots_) s.Clear();
}

const AppInfo* FlashDirectory::slot(int16_t index) const {
  if (index < 0 || index >= kSlots) return nullptr;
  return &slots_[index];
}

bool FlashDirectory::Read(const CommandChannel& channel) {
  Clear();
  int16_t filled = 0;
  uint16_t next = 1;
  // Every page that goes on fills at least one slot, so this bounds the
  // walk even when an instrument keeps saying more entries follow.
  for (int page = 0; page < kSlots; ++page) {
    PayloadWriter w;
    w.U16(next);
    int16_t n = 0;
    bool more = false;
    const bool ok =
        channel.Exchange(cmd::kFlashDirectory, w.data(), w.size(), kPageHeader,
                         [&](const uint8_t* p, size_t size) {
                           n = LoadI16(p);
                           more = LoadI16(p + 2) != 0;
                           const int16_t take = std::clamp<int16_t>(
                               n, 0, static_cast<int16_t>(kSlots - filled));
                           if (size < kPageHeader + kAppInfoWire * take)
                             return false;
                           for (int16_t k = 0; k < take; ++k) {
                             UnpackAppInfo(p + kPageHeader + kAppInfoWire * k,
                                           true, &slots_[filled++]);
                           }
                           return true;
                         });
    if (!ok) {
      count_ = filled;
      return false;
    }
    if (!more || n <= 0 || filled == kSlots) break;
    next = static_cast<uint16_t>(next + n);
  }
  count_ = filled;
  return true;
}

}  // namespace q7k
