// Image files as the download, the length, the version rules and the
// header reader read them.
#include "firmware/app_image_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "component/error_state.h"
#include "firmware/app_version.h"
#include "firmware/image_records.h"
#include "support/component_fixture.h"
#include "support/test_platform.h"

namespace q7k {
namespace {

using Bytes = std::vector<uint8_t>;
const std::string k68Digits(68, '7');

// One record line: "%", length, type, checksum, width digit, address, data.
std::string Record(uint32_t address, const std::string& dataDigits) {
  char head[32];
  std::snprintf(head, sizeof head, "%%%02X6008%08X",
                static_cast<unsigned>(14 + dataDigits.size()), address);
  return head + dataDigits + "\n";
}

std::string Hex(const std::string& text) {
  std::string digits;
  char pair[3];
  for (unsigned char c : text) {
    std::snprintf(pair, sizeof pair, "%02X", c);
    digits += pair;
  }
  return digits;
}

std::string Header(const std::string& name) {
  return Hex(name + "12/04/2615:18:1901.20.02");
}

class AppImageFileTest : public ::testing::Test {
 protected:
  void Write(const std::string& file, const std::string& text) {
    ASSERT_TRUE(WriteFileBytes(dir_.File(file), text));
  }
  // Records a failure as the component does.
  bool Read(const std::string& name) {
    const int32_t error = ReadAppFileHeader(name, &info_);
    if (error != 0) errors_.RecordAppFileError(error, IsFirmwareName(name));
    return error == 0;
  }
  ScopedTempDir dir_;
  ErrorState errors_;
  AppInfo info_;
};

TEST_F(AppImageFileTest, FirmwareHeaderAt192WordsAboveTheFirstRecord) {
  Write("Q7I.X0", Record(0x1000, "00112233") + Record(0x1001, "44") +
                      Record(0x10C0, Header("Q7I     ")) +
                      Record(0x2000, "FF") + "%0781010\n");
  ASSERT_TRUE(Read("Q7I"));
  EXPECT_STREQ(info_.Name, "Q7I     ");
  EXPECT_STREQ(info_.Date, "12/04/26");
  EXPECT_STREQ(info_.Time, "15:18:19");
  EXPECT_STREQ(info_.Version, "01.20.02");
  EXPECT_STREQ(info_.Description, "");
  EXPECT_EQ(errors_.code(), 0);
  // A lower-case name is an ordinary application's, which need not name
  // itself, nor have a header record at all.
  Write("q7i.X0", Record(0, "00") + Record(0xC0, Header("OTHER   ")));
  ASSERT_TRUE(Read("q7i"));
  EXPECT_STREQ(info_.Name, "OTHER   ");
  Write("APP.X0", Record(0x100, "00") + Record(0x110, "11") + "%0781010\n");
  ASSERT_TRUE(Read("APP"));
  EXPECT_STREQ(info_.Name, "");
}

TEST_F(AppImageFileTest, FailuresChooseTheirWording) {
  EXPECT_FALSE(Read("Q7I"));
  EXPECT_EQ(errors_.code(), 81);
  EXPECT_EQ(errors_.message(),
            u"Unable to open Q7310 Firmware file.  Tests cannot be run.");
  errors_.Clear();
  EXPECT_FALSE(Read("APP"));
  EXPECT_EQ(errors_.message(), u"Unable to open Application file.");

  // An address jumps past the header before it is met.
  errors_.Clear();
  Write("APP.X0", Record(0x100, "00") + Record(0x1C1, "00"));
  EXPECT_FALSE(Read("APP"));
  EXPECT_EQ(errors_.code(), 82);
  EXPECT_EQ(errors_.message(), u"Application file is corrupted.");

  // The firmware must name itself.
  errors_.Clear();
  Write("Q7I.X0", Record(0, "00") + Record(0xC0, Header("Q7J     ")));
  EXPECT_FALSE(Read("Q7I"));
  EXPECT_EQ(errors_.message(),
            u"Q7310 Firmware file is corrupted.  Tests cannot be run.");
}

TEST_F(AppImageFileTest, ShortAndOverlongLinesStayInsideTheirBuffers) {
  // A header record cut after the name: the other fields stay empty.
  const std::string cut = Record(0xC0, Header("APP")).substr(0, 15 + 6) + "\n";
  Write("APP.X0", Record(0, "00") + cut);
  ASSERT_TRUE(Read("APP"));
  EXPECT_STREQ(info_.Name, "APP");
  EXPECT_STREQ(info_.Date, "");
  // A line longer than the reader's buffer is read in pieces.
  Write("APP.X0", Record(0, std::string(200, '0')) + "%\n" + "x");
  EXPECT_TRUE(Read("APP"));
}

TEST_F(AppImageFileTest, DirectoryUnderTheImagesNameCannotBeOpened) {
  ASSERT_TRUE(std::filesystem::create_directory("APP.X0"));
  ComPtr<IQ7kComm> comm;
  ASSERT_EQ(CreateInstance(CLSID_Q7kComm, IID_IQ7kComm, comm.AsVoidOut()),
            S_OK);
  const Bstr name(u"APP"), file(u"APP.X0");
  const std::function<HRESULT()> calls[] = {
      [&] { return comm->ReadDiskAppInfo(name.get()); },
      [&] { return comm->FillAppParams(file.get()); },
      [&] { return comm->DownloadApp(file.get()); },
  };
  for (const auto& call : calls) {
    comm->ClearError();
    EXPECT_EQ(call(), E_FAIL);
    EXPECT_EQ(ErrorCode(comm.Get()), 81);  // "Unable to open Application file."
  }
}

TEST(AppImageFieldTest, HexFieldRules) {
  EXPECT_EQ(HexField(""), 0u);
  EXPECT_EQ(HexField("123456789"), 0u);  // more than 8 characters
  EXPECT_EQ(HexField("000010C0"), 0x10C0u);
  EXPECT_EQ(HexField("1G2"), 0x102u);  // a stranger keeps its position
  EXPECT_EQ(HexField("ffffffff"), 0xFFFFFFFFu);
  EXPECT_EQ(ImageDigit('9'), 9);
  EXPECT_EQ(ImageDigit('F'), 15);
}

TEST(ImageRecordsTest, LinesAsTheDownloadReadsThem) {
  struct Case {
    const char* what;
    std::string line;
    bool continuation;
    ImageLine kind;
    uint32_t address;
    Bytes bytes;
  };
  const ImageLine kRec = ImageLine::kRecord, kNo = ImageLine::kNoRecord,
                  kBad = ImageLine::kCorrupted;
  // clang-format off
  const Case cases[] = {
      {"record", "%166008000010C00102A0ff\r\n", false, kRec, 0x10C0,
       {0x01, 0x02, 0xA0, 0xFF}},
      {"odd digit count", "%136008000000200102A\n", false, kRec, 0x20,
       {0x01, 0x02}},
      {"34 bytes fill the line", "%526008000000FF" + k68Digits, false, kRec,
       0xFF, Bytes(34, 0x77)},
      {"termination", "%0E800800000000\n", false, kRec, 0, {}},
      {"empty line", "\r\n", false, kNo, 0, {}},
      {"stray end of a full line", "\n", true, kNo, 0, {}},
      {"end-of-file mark", "\x1A", false, kNo, 0, {}},
      {"length beyond the line", "%1A6008000010C001\n", false, kBad, 0, {}},
      {"no record mark", "1A6008000010C00102A0FF\n", false, kBad, 0, {}},
      {"rest of an overlong line", "0102\n", true, kBad, 0, {}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ImageRecord record;
    ASSERT_EQ(ParseImageLine(c.line, c.continuation, &record), c.kind);
    if (c.kind != ImageLine::kRecord) continue;
    EXPECT_EQ(record.address, c.address);
    EXPECT_EQ(record.bytes, c.bytes);
  }
}

TEST(ImageRecordsTest, ReaderSkipsNonRecordsAndStopsAtOverlongLines) {
  const std::string full = "%526008000000FF" + k68Digits;
  ScopedTempDir dir;
  ASSERT_TRUE(WriteFileBytes("TEXT.X0",
                             full + "\r\n\n" + full + "00\n%0E8008000000FF\n"));
  std::FILE* f = std::fopen("TEXT.X0", "rb");
  ImageRecordReader reader(f);
  ImageRecord r;
  EXPECT_EQ(reader.Next(&r), ImageLine::kRecord);
  EXPECT_EQ(reader.Next(&r), ImageLine::kRecord);
  EXPECT_EQ(reader.Next(&r), ImageLine::kCorrupted);
  std::fclose(f);
  if (RunningUnderWine()) {
    GTEST_SKIP() << "wine's C runtime ends a read of a write-only stream "
                    "without the error indicator";
  }
  // A stream that fails mid-read may not pass for an empty image.
  f = std::fopen("APP.X0", "w");  // reading it fails
  ASSERT_NE(f, nullptr);
  ImageRecordReader unreadable(f);
  EXPECT_EQ(unreadable.Next(&r), ImageLine::kCorrupted);
  std::fclose(f);
}

TEST_F(AppImageFileTest, ImageLength) {
  const std::string first = "%166008000010000011223344\n";
  const std::string last = "%4E600800001FF0" + std::string(64, '0') + "\n";
  const struct {
    const char* what;
    std::string text;
    int32_t words;
  } cases[] = {
      {"last data record of 64 digits", first + last + "%0E800800000000\n",
       8 + 0x1FF0 - 0x1000},
      {"one record mark only", first, -1},
      {"empty file", "", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Write("L.X0", c.text);
    EXPECT_EQ(AppImageLength("L.X0"), c.words);
  }
  EXPECT_EQ(AppImageLength("missing.X0"), -1);
}

TEST(AppVersionTest, Rules) {
  const struct {
    const char* name;
    const char* version;
    double number;
    bool valid;
  } cases[] = {
      {"Q7I     ", "01.20.02", 1020.02, true},
      {"Q7I     ", "02.00.00", 2000.0, true},
      {"Q7I     ", "01.19.99", 1019.99, false},
      {"Q7I     ", "012002", 0.0, false},
      {"Q7I     ", "", 0.0, false},
      {"OTHER   ", "00.01.00", 1.0, true},
      {"", "", 0.0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    EXPECT_NEAR(AppVersionNumber(c.version), c.number, 1e-9);
    AppInfo app;
    app.Clear();
    std::memcpy(app.Name, c.name, std::strlen(c.name));
    std::memcpy(app.Version, c.version, std::strlen(c.version));
    EXPECT_EQ(IsAppVersionValid(app), c.valid);
  }
}

}  // namespace
}  // namespace q7k
