// Fuzzes the download's record reader with arbitrary file contents: it must
// never crash, read outside a line or hand out more bytes than a line holds.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "firmware/image_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (f == nullptr) std::abort();
  q7k::ImageRecordReader reader(f);
  q7k::ImageRecord record;
  q7k::ImageLine kind;
  size_t records = 0;
  while ((kind = reader.Next(&record)) == q7k::ImageLine::kRecord) {
    if (record.bytes.size() > q7k::kMaxRecordBytes) std::abort();
    // Each record takes at least its mark from the input.
    if (++records > size) std::abort();
  }
  if (kind != q7k::ImageLine::kEnd && kind != q7k::ImageLine::kCorrupted) {
    std::abort();
  }
  std::fclose(f);
  return 0;
}
