// Image files that open but cannot be read: a directory under the image's
// name, a stream that fails mid-read. Neither may pass for an empty image.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <functional>

#include "firmware/image_records.h"
#include "q7kcomm/q7kcomm.h"
#include "support/temp_dir.h"

namespace q7k {
namespace {

TEST(UnreadableImageTest, DirectoryIsAFileThatCannotBeOpened) {
  ScopedTempDir dir;
  ASSERT_EQ(mkdir("APP.X0", 0755), 0);
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
    short code = 0;
    comm->get_ErrorCode(&code);
    EXPECT_EQ(code, 81);  // "Unable to open Application file."
  }
}

TEST(UnreadableImageTest, ReadErrorEndsTheRecordsAsCorrupted) {
  ScopedTempDir dir;
  std::FILE* f = std::fopen("APP.X0", "w");  // reading it fails
  ASSERT_NE(f, nullptr);
  ImageRecordReader reader(f);
  ImageRecord record;
  EXPECT_EQ(reader.Next(&record), ImageLine::kCorrupted);
  std::fclose(f);
}

}  // namespace
}  // namespace q7k
