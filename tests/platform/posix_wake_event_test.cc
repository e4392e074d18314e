#include <gtest/gtest.h>
#include <poll.h>

#include "platform/wake_event.h"

namespace q7k {
namespace {

bool Signalled(const WakeEvent& event) {
  struct pollfd p = {static_cast<int>(event.Handle()), POLLIN, 0};
  return poll(&p, 1, 0) == 1;
}

TEST(PosixWakeEventTest, SignalsAreNotCountedAndDrainClears) {
  WakeEvent event;
  ASSERT_EQ(event.Error(), 0u);
  EXPECT_FALSE(Signalled(event));
  event.Signal();
  event.Signal();
  EXPECT_TRUE(Signalled(event));
  event.Drain();
  EXPECT_FALSE(Signalled(event));
  event.Drain();  // draining an unsignalled event does not block
  EXPECT_FALSE(Signalled(event));
}

}  // namespace
}  // namespace q7k
