// The flash commands that wait long for the instrument: the reply time-out
// they raise, and that it is back at 4000 ms whatever the outcome.
#include <gtest/gtest.h>

#include "support/recording_progress_view.h"
#include "support/scripted_component.h"

namespace q7k {
namespace {

using FlashMethodsTest = ScriptedComponentTest;

TEST_F(FlashMethodsTest, LongRepliesRaiseTheTimeOutOnlyForTheirCommand) {
  RecordingProgressViews views;
  const struct {
    const char* name;
    std::function<HRESULT(IQ7kComm*)> call;
    uint16_t command;
    Bytes payload;
    int32_t timeout;
  } calls[] = {
      {"DeleteApp", [](IQ7kComm* c) { return c->DeleteApp(3); }, 0x0011,
       Le16(3), 20000},
      {"DownloadComplete(5)",
       [](IQ7kComm* c) { return c->DownloadComplete(5); },
       0x000C,
       {},
       20000},
      {"DownloadComplete(45)",
       [](IQ7kComm* c) { return c->DownloadComplete(45); },
       0x000C,
       {},
       45000},
  };
  const struct {
    const char* name;
    Bytes (*answer)(uint16_t);
    short code;  // 0: succeeds
  } outcomes[] = {
      {"ack", [](uint16_t c) { return LineBytes(AckFrame(c)); }, 0},
      {"nak", [](uint16_t c) { return LineBytes(NakFrame(c, 9)); }, 9},
      {"silence", [](uint16_t) { return Bytes{}; }, 133},
  };
  for (const auto& call : calls) {
    for (const auto& outcome : outcomes) {
      SCOPED_TRACE(std::string(call.name) + " " + outcome.name);
      comm_->ClearError();
      ConnectInProcess(
          [&](const Request& r) { return outcome.answer(r.command); });
      EXPECT_EQ(call.call(comm_.Get()), outcome.code == 0 ? S_OK : E_FAIL);
      EXPECT_EQ(Code(), outcome.code);
      EXPECT_EQ(LastCommand(), call.command);
      EXPECT_EQ(LastPayload(), call.payload);
      EXPECT_EQ(inProcess_->timeouts(),
                (std::vector<int32_t>{call.timeout, 4000}));
      EXPECT_EQ(views.open_views(), 0);
    }
  }
  comm_->ClosePort();
  EXPECT_EQ(comm_->DeleteApp(3), E_FAIL);  // no port: nothing sent
}

}  // namespace
}  // namespace q7k
