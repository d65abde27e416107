// The remote input under load while the real frame clock runs: 100 000
// tpm2.net datagrams, valid and malformed mixed, sent over loopback as fast
// as the system takes them. Nothing may crash, the values of the last
// complete frame must win, and the mix pass must stay within its period.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "engine/remote_control.h"
#include "show/show.h"
#include "test_support.h"

namespace quor {
namespace {

int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void StoreMax(std::atomic<int64_t>& target, int64_t value) {
  int64_t seen = target.load();
  while (value > seen && !target.compare_exchange_weak(seen, value)) {
  }
}

TEST(RemoteInputLoad, HundredThousandMixedDatagramsWhileTheClockRuns) {
  Engine engine(test::TestRegistry(), EngineOptions{FrameClock::Mode::kThread, 1});
  test::ConsoleCapture capture(engine.console());
  Show& show = engine.show();
  engine.RequestType(0, test::kSolidType);
  engine.RebindSlots();
  for (const char* name : {"A", "B", "C"}) ASSERT_TRUE(show.sceneList().Add(name));

  // A free port for the input.
  const int sender = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof to;
  {
    const int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
    ::bind(probe, reinterpret_cast<sockaddr*>(&to), length);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&to), &length);
    ::close(probe);
  }
  RemoteInputSettings& s = engine.remoteInputSettings();
  s.inputType = kRemoteTpm2Net, s.listenPort = ntohs(to.sin_port);
  ASSERT_TRUE(engine.remote().OpenRemoteInput());

  // Time each pass from the remote poll (its first stage) to the chase
  // player (its last).
  std::atomic<int64_t> passStartUs{0}, maxPassUs{0}, maxPollUs{0}, passes{0};
  engine.EditHooks([&](EngineHooks& hooks) {
    auto poll = hooks.pollRemoteInput;
    auto advance = hooks.advanceChase;
    hooks.pollRemoteInput = [&, poll] {
      const int64_t start = NowUs();
      passStartUs.store(start);
      poll();
      StoreMax(maxPollUs, NowUs() - start);
    };
    hooks.advanceChase = [&, advance] {
      advance();
      if (engine.flags().remoteInputActive.load() == 1) {
        StoreMax(maxPassUs, NowUs() - passStartUs.load());
        passes.fetch_add(1);
      }
    };
  });
  engine.StartClock();

  std::mt19937 random(7);
  auto send = [&](const std::vector<uint8_t>& b) {
    return ::sendto(sender, b.data(), b.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) >= 0;
  };
  constexpr int kDatagrams = 100000;
  int valid = 0;
  int sentOk = 0;
  const int64_t floodStart = NowUs();
  for (int i = 0; i < kDatagrams; ++i) {
    std::vector<uint8_t> b = {0x9C, 0xDA, 0x00, 0x04, 0x01, 0x01, static_cast<uint8_t>(i % 3 + 1), 0,
                              static_cast<uint8_t>(i % 256), static_cast<uint8_t>(i % 7), 0x36};
    switch (i % 4) {
      case 1:  // random bytes of any length up to the receive size
        b.resize(random() % 600);
        for (uint8_t& byte : b) byte = static_cast<uint8_t>(random());
        break;
      case 2:  // truncated
        b.resize(random() % b.size());
        break;
      case 3:  // size field pointing past the end
        b[3] = static_cast<uint8_t>(5 + random() % 250);
        break;
      default:
        ++valid;
    }
    sentOk += send(b);
  }
  const int64_t floodUs = NowUs() - floodStart;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  // The last complete frame of a pass wins: two frames, then a damaged one.
  send({0x9C, 0xDA, 0x00, 0x04, 0x01, 0x01, 1, 0, 11, 0, 0x36});
  send({0x9C, 0xDA, 0x00, 0x04, 0x01, 0x01, 2, 0, 222, 9, 0x36});
  send({0x9C, 0xDA, 0x00, 0x04, 0x01, 0x01, 3, 0, 33, 0});
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  engine.StopClock();
  engine.remote().CloseRemoteInput();
  ::close(sender);

  const RemoteInputCounters& c = engine.remote().counters();
  EXPECT_EQ(engine.settings().masterLevel.load(), 222);
  EXPECT_EQ(engine.remote().LastValues(), (RemoteValues{2, 0, 222, 9}));
  EXPECT_EQ(engine.settings().strobeTime.load(), 1);
  const int periodUs = 1000000 / engine.settings().outputFps.load();
  EXPECT_LT(maxPassUs.load(), periodUs) << "a mix pass took longer than its period";
  EXPECT_GT(passes.load(), 5);
  std::printf("[ figures  ] sent %d datagrams (%d valid, %d taken by the system) in %.1f ms; "
              "received %lld, frames %lld, passes applying values %lld; mix passes %lld, "
              "longest pass %lld us, longest poll %lld us (period %d us)\n",
              kDatagrams, valid, sentOk, floodUs / 1000.0, static_cast<long long>(c.received.load()),
              static_cast<long long>(c.frames.load()), static_cast<long long>(c.passes.load()),
              static_cast<long long>(passes.load()), static_cast<long long>(maxPassUs.load()),
              static_cast<long long>(maxPollUs.load()), periodUs);
}

}  // namespace
}  // namespace quor
