// Arbitrary line bytes, cut into arbitrary blocks, through the line decoder
// and the reply checks: nothing may crash or read outside its buffer.
//
// Input: two bytes of expected message number, then blocks, each a length
// byte (taken modulo 64) followed by that many line bytes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "link/line_codec.h"
#include "link/link_errors.h"
#include "link/message_buffer.h"

namespace q7k {
namespace {

std::string* g_logDir = nullptr;
volatile uint32_t g_sink = 0;  // keeps the payload reads

void RemoveLogDir() {
  if (g_logDir == nullptr) return;
  std::error_code ec;
  std::filesystem::remove_all(*g_logDir, ec);
}

void Check(bool condition) {
  if (!condition) std::abort();
}

// Reads a reply the way a command method does, touching every data byte.
void VerifyDecoded(const uint8_t* frame, size_t count, uint16_t expected) {
  if (count > kFrameCapacity) return;  // the link refuses it as too long
  // Exactly sized, so a read past the frame's spare bytes is caught.
  MessageBuffer reply(static_cast<uint32_t>(count));
  Check(reply.SetFrame(frame, static_cast<uint32_t>(count)));
  reply.expectedNumber = expected;
  const int32_t result = reply.VerifyReply().result;
  if (result == kLinkOk || result > 0) {
    const uint8_t* data = reply.Payload();
    uint32_t sum = 0;
    for (int32_t i = 0; i < reply.PayloadRemaining(); ++i) sum += data[i];
    g_sink = sum;
  }
}

// A decoded frame encodes and decodes to itself.
void CheckRoundTrip(const uint8_t* frame, size_t count) {
  std::vector<uint8_t> line(MaxEncodedSize(count));
  line.resize(EncodeLine(frame, count, line.data()));
  LineDecoder decoder;
  Check(decoder.Feed(line.data(), line.size()) == LineDecoder::kComplete);
  Check(decoder.count() == count);
  for (size_t i = 0; i < count; ++i) Check(decoder.frame()[i] == frame[i]);
}

void EnterScratchDir() {
  // Failed checks write the trace log into the current directory; keep it
  // in a scratch directory of its own.
  char dir[] = "/tmp/q7k_frame_fuzz_XXXXXX";
  if (mkdtemp(dir) == nullptr || chdir(dir) != 0) std::abort();
  g_logDir = new std::string(dir);
  std::atexit(RemoveLogDir);
}

void FuzzOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return;
  const uint16_t expected = static_cast<uint16_t>(data[0] | (data[1] << 8));
  // The raw bytes as a decoded frame, so the checks see every shape.
  VerifyDecoded(data + 2, size - 2, expected);

  LineDecoder decoder;
  LineDecoder::Result result = LineDecoder::kNeedMore;
  for (size_t at = 2; at < size && result == LineDecoder::kNeedMore;) {
    size_t block = data[at++] % 64;
    if (block > size - at) block = size - at;
    result = decoder.Feed(data + at, block);
    at += block;
  }
  if (result == LineDecoder::kComplete) {
    Check(decoder.count() < LineDecoder::kBufferSize);
    Check(decoder.frame()[decoder.count()] == 0);
    CheckRoundTrip(decoder.frame(), decoder.count());
    VerifyDecoded(decoder.frame(), decoder.count(), expected);
  } else if (result == LineDecoder::kTooLong) {
    Check(decoder.count() >= LineDecoder::kBufferSize);
  }
}

}  // namespace
}  // namespace q7k

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  q7k::EnterScratchDir();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  q7k::FuzzOneInput(data, size);
  return 0;
}
