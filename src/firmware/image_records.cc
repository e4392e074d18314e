#include "firmware/image_records.h"

#include <cctype>
#include <string>

#include "firmware/app_image_file.h"

namespace q7k {
namespace {

constexpr size_t kLengthColumn = 1;
constexpr size_t kAddressColumn = 7;
constexpr size_t kDataColumn = 15;
constexpr int32_t kHeaderCharacters = 14;

bool IsBlank(std::string_view text) {
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u > ' ' && u != 0x7F) return false;
  }
  return true;
}

std::string_view Columns(std::string_view line, size_t from, size_t count) {
  if (from >= line.size()) return {};
  return line.substr(from, count);
}

}  // namespace

ImageLine ParseImageLine(std::string_view line, bool continuation,
                         ImageRecord* out) {
  const size_t end = line.find_first_of(std::string_view("\r\n\0", 3));
  std::string text(line.substr(0, end));
  if (IsBlank(text)) return ImageLine::kNoRecord;
  if (continuation || text[0] != '%') return ImageLine::kCorrupted;
  for (char& c : text) c = static_cast<char>(std::toupper((unsigned char)c));

  const auto length =
      static_cast<int32_t>(HexField(Columns(text, kLengthColumn, 2)));
  const int32_t digits = length - kHeaderCharacters;
  const int32_t present =
      static_cast<int32_t>(text.size()) - static_cast<int32_t>(kDataColumn);
  // A length that promises more than the line holds would read past it.
  if (digits > 0 && digits > present) return ImageLine::kCorrupted;

  out->address = HexField(Columns(text, kAddressColumn, 8));
  out->bytes.clear();
  for (int32_t i = 0; i + 1 < digits; i += 2) {
    const size_t at = kDataColumn + static_cast<size_t>(i);
    out->bytes.push_back(static_cast<uint8_t>((ImageDigit(text[at]) << 4) |
                                              ImageDigit(text[at + 1])));
  }
  return ImageLine::kRecord;
}

ImageLine ImageRecordReader::Next(ImageRecord* out) {
  std::string piece;
  for (;;) {
    // As fgets into the 84-byte buffer reads, but zero bytes keep their
    // place instead of hiding the rest of the piece.
    piece.clear();
    int c;
    while (piece.size() + 1 < kImageLineBuffer &&
           (c = std::getc(file_)) != EOF) {
      piece.push_back(static_cast<char>(c));
      if (c == '\n') break;
    }
    // A read error ends the image as surely as a corrupted line does; taken
    // for its end, it would pass a truncated image as a whole one.
    if (piece.empty()) {
      return std::ferror(file_) ? ImageLine::kCorrupted : ImageLine::kEnd;
    }
    const ImageLine kind = ParseImageLine(piece, continuation_, out);
    continuation_ = piece.back() != '\n';
    if (kind != ImageLine::kNoRecord) return kind;
  }
}

}  // namespace q7k
