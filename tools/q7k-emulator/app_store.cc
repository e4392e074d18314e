#include "app_store.h"

#include <algorithm>

#include "link/le_bytes.h"

namespace q7k {
namespace emu {
namespace {

constexpr size_t kMaxBlockBytes = 256;
constexpr size_t kBlockHeader = 6;
constexpr size_t kIdentityBytes = 32;

}  // namespace

AppStore::AppStore(const FlashConfig& config)
    : config_(config),
      running_(config.firmware),
      inBootLoader_(config.startInBootLoader),
      pageSize_(std::clamp<size_t>(config.pageSize, 1, kMaxPageSize)) {
  if (config_.firmwareInFlash && config_.capacity > 0) {
    directory_.push_back({config_.firmware, config_.firmwareWords});
    runningEntry_ = 0;
  }
}

const AppIdentity& AppStore::running() const {
  return inBootLoader_ ? config_.bootLoader : running_;
}

Reply AppStore::AppInfo() const {
  std::vector<uint8_t> data;
  running().AppendWire(&data);
  return Reply::Ack(data);
}

Reply AppStore::RestartLoader() {
  inBootLoader_ = true;
  download_ = Download();
  return Reply::Ack();
}

uint32_t AppStore::UsedWords() const {
  uint32_t used = 0;
  for (const FlashEntry& e : directory_) used += e.words;
  return used;
}

Reply AppStore::Announce(const uint8_t* p, size_t n) {
  ByteReader r(p, n);
  std::string name = r.Text(8);
  std::string version = r.Text(8);
  int32_t words = r.I32();
  if (words <= 0) return Reply::BadParameter(3);
  const uint32_t used = UsedWords();
  const uint32_t free =
      config_.flashWords > used ? config_.flashWords - used : 0;
  if (directory_.size() >= config_.capacity ||
      static_cast<uint32_t>(words) > free) {
    return Reply::Nak(kInstrumentFlashFull);
  }
  download_ = Download();
  download_.active = true;
  download_.name = name;
  download_.version = version;
  download_.words = words;
  return Reply::Ack();
}

Reply AppStore::Block(const uint8_t* p, size_t n) {
  ByteReader r(p, n);
  const uint32_t address = r.U32();
  const uint16_t count = r.U16();
  if (n < kBlockHeader || count > kMaxBlockBytes || n != kBlockHeader + count) {
    return Reply::Nak(kInstrumentBadLength);
  }
  if (!download_.active) return Reply::Nak(kInstrumentImageBytes);
  if (count == 0) return Reply::Ack();  // places nothing, fixes no origin
  if (!download_.haveFirst) {
    download_.haveFirst = true;
    download_.firstAddress = address;
  }
  if (address < download_.firstAddress) return Reply::BadParameter(1);
  const uint64_t offset =
      static_cast<uint64_t>(address - download_.firstAddress) * 4;
  const uint64_t end = offset + count;
  // Whole words count, as in the announced length: a record of 34 bytes
  // may end two bytes into the word after it.
  if (end / 4 > static_cast<uint64_t>(download_.words)) {
    return Reply::Nak(kInstrumentImageBytes);
  }
  if (download_.bytes.size() < end) {
    download_.bytes.resize(end, 0xFF);
    download_.covered.resize(end, false);
  }
  std::copy(p + kBlockHeader, p + n, download_.bytes.begin() + offset);
  std::fill(download_.covered.begin() + offset, download_.covered.begin() + end,
            true);
  return Reply::Ack();
}

Reply AppStore::Complete() {
  if (!download_.active) return Reply::Nak(kInstrumentImageBytes);
  // The image must end where the announcement said: the host works its
  // length out from the last data record exactly so.
  const uint64_t receivedWords = download_.bytes.size() / 4;
  if (receivedWords != static_cast<uint64_t>(download_.words)) {
    download_ = Download();
    return Reply::Nak(kInstrumentImageBytes);
  }
  const size_t header = kHeaderOffsetWords * 4;
  const bool headerPresent =
      download_.bytes.size() >= header + kIdentityBytes &&
      std::all_of(download_.covered.begin() + header,
                  download_.covered.begin() + header + kIdentityBytes,
                  [](bool c) { return c; });
  if (!headerPresent) {
    download_ = Download();
    return Reply::Nak(kInstrumentFlashProgram);
  }
  FlashEntry entry;
  entry.identity =
      AppIdentity::FromWire(download_.bytes.data() + header, kIdentityBytes);
  if (entry.identity.SameName(config_.firmware.name)) {
    entry.identity.description = config_.firmware.description;
  }
  entry.words = static_cast<uint32_t>(download_.words);
  entry.origin = download_.firstAddress;
  entry.image = std::move(download_.bytes);
  download_ = Download();
  if (config_.corruptProgramming) {
    const std::string erased(8, '\xFF');
    entry.identity =
        AppIdentity{erased, erased, erased, erased, std::string(32, '\xFF')};
  }
  // Programming the same build again replaces its entry.
  for (size_t i = 0; i < directory_.size(); ++i) {
    if (directory_[i].identity.SameStamp(entry.identity)) {
      directory_[i] = entry;
      return Reply::Ack();
    }
  }
  if (!AddEntry(entry)) return Reply::Nak(kInstrumentFlashFull);
  return Reply::Ack();
}

Reply AppStore::Abort() {
  download_ = Download();
  return Reply::Ack();
}

Reply AppStore::Search(const uint8_t* p, size_t n) const {
  const AppIdentity wanted = AppIdentity::FromWire(p, n);
  int16_t found = 0;
  for (size_t i = 0; i < directory_.size(); ++i) {
    if (directory_[i].identity.SameStamp(wanted)) {
      found = static_cast<int16_t>(i + 1);
      break;
    }
  }
  std::vector<uint8_t> data;
  ByteWriter(&data).I16(found);
  return Reply::Ack(data);
}

Reply AppStore::DirectoryPage(const uint8_t* p, size_t n) const {
  ByteReader r(p, n);
  const uint16_t first = r.U16();
  if (first == 0) return Reply::BadParameter(1);
  const size_t start = first - 1u;
  const size_t count = start < directory_.size()
                           ? std::min(pageSize_, directory_.size() - start)
                           : 0;
  const bool more = start + count < directory_.size();
  std::vector<uint8_t> data;
  ByteWriter w(&data);
  w.I16(static_cast<int16_t>(count));
  w.I16(more ? 1 : 0);
  for (size_t i = 0; i < count; ++i) {
    directory_[start + i].identity.AppendWire(&data);
  }
  return Reply::Ack(data);
}

Reply AppStore::Execute(const uint8_t* p, size_t n) {
  ByteReader r(p, n);
  const int16_t entry = r.I16();
  if (entry < 1 || static_cast<size_t>(entry) > directory_.size()) {
    return Reply::BadParameter(1);
  }
  runningEntry_ = entry - 1;
  running_ = directory_[runningEntry_].identity;
  inBootLoader_ = false;
  download_ = Download();
  return Reply::Ack();
}

Reply AppStore::Delete(const uint8_t* p, size_t n) {
  ByteReader r(p, n);
  const int16_t entry = r.I16();
  const int protect = inBootLoader_ ? -1 : runningEntry_;
  int index = -1;
  if (entry == 0) {
    for (size_t i = 0; i < directory_.size(); ++i) {
      if (static_cast<int>(i) != protect) {
        index = static_cast<int>(i);
        break;
      }
    }
  } else if (entry > 0 && static_cast<size_t>(entry) <= directory_.size() &&
             entry - 1 != protect) {
    index = entry - 1;
  }
  if (index < 0) return Reply::BadParameter(1);
  directory_.erase(directory_.begin() + index);
  if (runningEntry_ == index) {
    runningEntry_ = -1;
  } else if (runningEntry_ > index) {
    --runningEntry_;
  }
  return Reply::Ack();
}

bool AppStore::AddEntry(const FlashEntry& entry) {
  if (directory_.size() >= config_.capacity) return false;
  directory_.push_back(entry);
  return true;
}

void AppStore::set_page_size(size_t entries) {
  pageSize_ = std::clamp<size_t>(entries, 1, kMaxPageSize);
}

}  // namespace emu
}  // namespace q7k
