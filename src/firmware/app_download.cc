#include "firmware/app_download.h"

#include <cstdio>
#include <memory>

#include "firmware/app_image_file.h"
#include "link/command_codes.h"
#include "link/le_bytes.h"
#include "resources/string_ids.h"

namespace q7k {
namespace {

constexpr size_t kBlockHeader = 6;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

bool BlockPacker::Add(const ImageRecord& record) {
  const bool gap = started_ && record.address != expected_;
  if (!started_) {
    started_ = true;
    address_ = record.address;
  }
  if (!gap && bytes_.size() + record.bytes.size() <= kMaxBlockBytes) {
    bytes_.insert(bytes_.end(), record.bytes.begin(), record.bytes.end());
  } else {
    if (!send_(address_, bytes_)) return false;
    address_ = record.address;
    bytes_ = record.bytes;
  }
  expected_ = address_ + static_cast<uint32_t>(bytes_.size() / 4);
  return true;
}

bool BlockPacker::Finish() {
  if (bytes_.empty()) return true;
  const bool ok = send_(address_, bytes_);
  bytes_.clear();
  return ok;
}

std::vector<uint8_t> DownloadBlockPayload(uint32_t address,
                                          const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> payload;
  ByteWriter w(&payload);
  w.U16(static_cast<uint16_t>(bytes.size() + kBlockHeader));
  w.U32(address);
  w.U16(static_cast<uint16_t>(bytes.size()));
  w.Bytes(bytes.data(), bytes.size());
  return payload;
}

bool DownloadApp(const CommandChannel& channel, const std::string& path,
                 const ProgressTarget& progress) {
  std::unique_ptr<std::FILE, FileCloser> file(OpenImageFile(path, "rb"));
  if (!file) {
    channel.errors().RecordAppFileError(kAppFileUnreadable, false);
    return false;
  }
  progress.Open(ids::kDownloading);
  progress.slot->ShowProgress(0, 100);

  BlockPacker packer([&channel](uint32_t address,
                                const std::vector<uint8_t>& bytes) {
    const std::vector<uint8_t> payload = DownloadBlockPayload(address, bytes);
    return channel.Exchange(cmd::kDownloadBlock, payload.data(),
                            payload.size());
  });
  ImageRecordReader reader(file.get());
  ImageRecord record;
  bool ok = true;
  for (int counter = 0; ok; ++counter) {
    const ImageLine kind = reader.Next(&record);
    if (kind == ImageLine::kEnd) break;
    ok = kind == ImageLine::kRecord && packer.Add(record);
    if (ok && counter % kRecordsPerProgressStep == 0) progress.slot->Step(1);
  }
  file.reset();
  ok = ok && packer.Finish();
  progress.Close();
  if (!ok) channel.errors().RecordAppFileError(kAppDownloadFailed, false);
  return ok;
}

}  // namespace q7k
