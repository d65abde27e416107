// Opening and closing the remote input on one thread while another polls it, as the mix pass does (TSan target):
// a pass never reads a handle while it is opened or closed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "input/remote_control.h"
#include "test_support.h"

namespace quor {
namespace {

// Counts the controls set (from the polling thread).
class CountingSurface : public ControlSurface {
 public:
  bool SetControl(const ControlAddress&, int) override {
    sets.fetch_add(1);
    return true;
  }
  std::optional<int> ControlValue(const ControlAddress&) const override { return std::nullopt; }
  int ControlInstances(ControlId) const override { return 0; }
  std::atomic<int> sets{0};
};

TEST(RemoteCloseThread, PassesRunWhileTheInputOpensAndCloses) {
  CountingSurface surface;
  Console console;
  RemoteInputSettings settings;
  settings.inputType = kRemoteTpm2Net, settings.listenPort = test::FreeLoopbackPort();
  std::atomic<int> active{0};
  RemoteControl remote(surface, console, settings, active);
  test::LoopbackSender sender(settings.listenPort);

  std::atomic<bool> stop{false};
  std::thread clock([&] {
    for (uint8_t master = 0; !stop.load(); ++master) {
      sender.Send({0x9C, 0xDA, 0x00, 0x04, 0x01, 0x01, 0, 0, master, 0, 0x36});
      if (active.load() == 1) remote.PollRemoteInput();
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });
  for (int round = 0; round < 200; ++round) {
    ASSERT_TRUE(remote.OpenRemoteInput());
    std::this_thread::sleep_for(std::chrono::microseconds(500));
    remote.CloseRemoteInput();
  }
  stop.store(true);
  clock.join();
  EXPECT_GT(remote.counters().frames.load(), 0);
  EXPECT_GT(surface.sets.load(), 0);
  EXPECT_EQ(active.load(), 0);
}

}  // namespace
}  // namespace quor
