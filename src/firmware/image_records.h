// The data records of an application image file as the download sends
// them. Each line is read with the image reader's 84-byte buffer (at most
// 83 characters), cut at its first CR or LF and folded to upper case; a
// record then gives its load address (columns 7-14, in words) and
// (length - 14) / 2 data bytes from column 15 on. The record type and the
// checksum are not examined.
//
// A line that is empty or holds only blanks and control characters (a
// stray line end, the rest of an 83-character record's line) is no record.
// A line is corrupted when its length field announces more data digits
// than the line holds, when it does not start with the record mark, or when
// it continues a line longer than any record.
//
// Thread safety: a reader belongs to one thread.
#ifndef Q7K_FIRMWARE_IMAGE_RECORDS_H_
#define Q7K_FIRMWARE_IMAGE_RECORDS_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

namespace q7k {

inline constexpr size_t kMaxRecordBytes = 34;  // 68 digits fill a line

struct ImageRecord {
  uint32_t address = 0;
  std::vector<uint8_t> bytes;  // at most kMaxRecordBytes
};

enum class ImageLine { kRecord, kNoRecord, kCorrupted, kEnd };

// Classifies one line as read (line end included, if any) and, for a
// record, fills out. continuation: the line carries on a previous piece
// that had no line end.
ImageLine ParseImageLine(std::string_view line, bool continuation,
                         ImageRecord* out);

// Reads the records of an open image file one after the other.
class ImageRecordReader {
 public:
  // REQUIRES: file is open for reading and outlives the reader.
  explicit ImageRecordReader(std::FILE* file) : file_(file) {}

  // The next record, skipping lines that hold none: kRecord, kCorrupted
  // (also for a read error; read nothing further) or kEnd.
  ImageLine Next(ImageRecord* out);

 private:
  std::FILE* file_;
  bool continuation_ = false;
};

}  // namespace q7k

#endif  // Q7K_FIRMWARE_IMAGE_RECORDS_H_
