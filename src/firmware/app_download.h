// The download of an application image: its records packed into blocks of
// command 11, each block
//
//   U4  load address in 32-bit words
//   U2  count of data bytes, at most 256
//   the data bytes
//
// handed to the link behind a U2 length word (count + 6), which becomes the
// frame's length. Consecutive records share a block; a new block starts at
// every gap in the addresses and whenever 256 bytes would be exceeded.
//
// Thread safety: none; the client's thread.
#ifndef Q7K_FIRMWARE_APP_DOWNLOAD_H_
#define Q7K_FIRMWARE_APP_DOWNLOAD_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "firmware/image_records.h"
#include "firmware/progress_target.h"
#include "link/command_channel.h"

namespace q7k {

inline constexpr size_t kMaxBlockBytes = 256;
inline constexpr int kRecordsPerProgressStep = 30;

// Packs records into blocks and hands each full block to send.
class BlockPacker {
 public:
  // send(address, bytes) returns false when the block could not be sent.
  using Send = std::function<bool(uint32_t, const std::vector<uint8_t>&)>;

  explicit BlockPacker(Send send) : send_(std::move(send)) {}

  // Adds one record, sending the block built so far first when the record
  // does not continue it or would overflow it. False when a send failed.
  bool Add(const ImageRecord& record);
  // Sends what is left, if anything. False when that send failed.
  bool Finish();

 private:
  Send send_;
  bool started_ = false;
  uint32_t address_ = 0;
  uint32_t expected_ = 0;
  std::vector<uint8_t> bytes_;
};

// The payload handed to Transmit for one block.
std::vector<uint8_t> DownloadBlockPayload(uint32_t address,
                                          const std::vector<uint8_t>& bytes);

// Sends the image file at path (binary; relative to the current directory)
// in blocks, showing "Downloading ..." with a bar on 0..100 that steps once
// every 30 records. Records application-file error -1 (nothing shown) when
// the file cannot be opened, -3 when a block could not be sent or the file
// is corrupted (after the window closed); always the application wording.
bool DownloadApp(const CommandChannel& channel, const std::string& path,
                 const ProgressTarget& progress);

}  // namespace q7k

#endif  // Q7K_FIRMWARE_APP_DOWNLOAD_H_
