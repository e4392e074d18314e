#include "firmware/app_image_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "component/error_state.h"
#include "support/component_fixture.h"

namespace q7k {
namespace {

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

}  // namespace
}  // namespace q7k
