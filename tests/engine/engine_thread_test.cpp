// The engine on its real clock thread under other threads (TSan targets): no race, deadlock, lost command or overrun.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <thread>

#include "engine/engine.h"
#include "engine/project_file.h"
#include "generators/generator_catalogue.h"
#include "input/remote_control.h"
#include "show/show.h"
#include "test_support.h"
#include "tests/output/udp_receiver.h"

namespace quor {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;


// Text-drawing generators need a QGuiApplication; it goes before static destruction.
class GuiEnvironment : public testing::Environment {
  void SetUp() override {
    if (QGuiApplication::instance() != nullptr) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QGuiApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }
  int argc_ = 1;
  char name_[18] = "quor_thread_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QGuiApplication> app_;
};
[[maybe_unused]] testing::Environment* const kGui = testing::AddGlobalTestEnvironment(new GuiEnvironment);

// An engine with the test generators on the real clock thread.
class ThreadedEngine : public testing::Test {
 protected:
  Engine engine_{test::TestRegistry(), EngineOptions{FrameClock::Mode::kThread, 1}};
  test::ConsoleCapture capture_{engine_.console()};
};
using EngineThread = ThreadedEngine;
using ClockContention = ThreadedEngine;
using RemoteInputLoad = ThreadedEngine;

// An engine with every built-in generator, its console lines discarded.
class LiveEngineThread : public testing::Test {
 protected:
  LiveEngineThread() { engine_.console().SetSink([](std::string_view) {}); }
  void BindEverywhere(int type) {
    for (int s = 0; s < kSlotCount; ++s) engine_.SelectEffect(s, EffectListPosition(type));
    engine_.PostMessageWork();
  }
  Engine engine_{BuiltinGenerators(), EngineOptions{FrameClock::Mode::kThread, 7}};
};

TEST_F(EngineThread, RebindingPastingAndResizingWhileTheClockRuns) {
  engine_.RequestType(0, test::kSolidType);
  engine_.RebindSlots();
  engine_.StartClock();
  const auto end = steady_clock::now() + 600ms;
  for (int round = 0; steady_clock::now() < end; ++round) {
    engine_.RequestType(1, round % 2 == 0 ? test::kSolidType : 0);
    engine_.RequestType(2, round % 3 == 0 ? test::kFailingType : test::kSolidType);
    engine_.PostMessageWork();
    if (round % 5 == 0) engine_.CopySlot(0), engine_.PasteSlot(3);
    if (round % 40 == 39) engine_.ResizeMatrix(round % 80 == 39 ? 16 : 32, 16);
    engine_.StartMainGlide(1 + round % 3);
    engine_.SetSlotSpeed(round % 4, 5 + round % 21);
    EXPECT_EQ(engine_.CopyFrame(FrameIndex::kOutput).size(), size_t(engine_.width() * engine_.height() * 3));
    std::this_thread::sleep_for(3ms);
  }
  engine_.Shutdown();
  EXPECT_GT(engine_.flags().frameCounter.load() + capture_.Count("FPS:") * 100, 5);
}

// While the clock runs only its thread may run a pass; with the clock
// stopped, the thread that drives the passes stands in for it.
TEST_F(EngineThread, APassFromAnotherThreadWhileTheClockRunsTripsTheDebugCheck) {
#ifdef NDEBUG
  GTEST_SKIP() << "the thread-role checks exist in debug builds only";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  engine_.RunMixPass();
  EXPECT_DEATH((engine_.StartClock(), engine_.RunMixPass()), "clock-thread-only");
#endif
}

// Runs the mix pass flat out on a thread of its own (the clock stays stopped).
class FlatOutMixPass {
 public:
  explicit FlatOutMixPass(Engine& engine)
      : engine_(engine), thread_([this] { while (!stop_.load()) engine_.RunMixPass(); }) {}
  ~FlatOutMixPass() { stop_ = true; thread_.join(); }
  // Waits until two more passes have completed (the second started after now).
  void WaitTwoPasses() {
    const int start = engine_.flags().frameCounter.load();
    while (engine_.flags().frameCounter.load() - start < 2) std::this_thread::yield();
  }

 private:
  Engine& engine_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST_F(ClockContention, ACommandFromAnotherThreadAlwaysWinsOverTheMixPass) {
  struct Case {
    const char* name;
    void (*arm)(Engine&);      // the state the pass keeps writing back
    void (*command)(Engine&);  // from the other thread
    bool (*held)(Engine&);     // the command's effect survived
  };
  const Case cases[] = {
      {"strobe off", [](Engine& e) { e.SetStrobeTime(1), e.SetStrobe(true); },
       [](Engine& e) { e.SetStrobe(false); }, [](Engine& e) { return e.settings().strobeCounter.load() == -1; }},
      {"crossfader moved by hand during a glide",
       [](Engine& e) { e.SetMainFadeByHand(0), e.StartMainGlide(kGlideToEnd); },
       [](Engine& e) { e.SetMainFadeByHand(101); },  // odd: never a glide position
       [](Engine& e) {
         return e.panel().masterFade[kMixMain].load() == 101 && e.settings().mainFadeDirection.load() == kGlideNone;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FlatOutMixPass pass(engine_);
    int lost = 0, rounds = 0;
    // The window between the pass's read and write is short: many rounds, bounded by time.
    const auto end = steady_clock::now() + 2s;
    for (; rounds < 20000 && steady_clock::now() < end && lost == 0; ++rounds) {
      c.arm(engine_);
      for (int spin = rounds % 64; spin > 0; --spin) std::this_thread::yield();
      c.command(engine_);
      pass.WaitTwoPasses();
      if (!c.held(engine_)) ++lost;
    }
    EXPECT_EQ(lost, 0) << "the mix pass undid the command in round " << rounds;
  }
}

TEST_F(ClockContention, StoppingTheClockOrChangingASpeedInsideTheTickLockReturns) {
  engine_.StartClock();
  // Each time, a tick falls due while the lock is held and waits for it.
  const auto insideTheLock = [&](const char* what, const std::function<void()>& run) {
    test::FinishesWithin(5000, what, [&] { engine_.WithTickLock([&] { std::this_thread::sleep_for(60ms); run(); }); });
  };
  insideTheLock("SetSlotSpeed inside WithTickLock", [&] { engine_.SetSlotSpeed(0, 10); });
  EXPECT_EQ(engine_.SlotTimerPeriod(0), 100);
  insideTheLock("StopClock inside WithTickLock", [&] { engine_.StopClock(); });
  EXPECT_FALSE(engine_.ClockRunning());
  // The tick that waited found its timer gone; the clock starts again normally.
  const int before = engine_.flags().frameCounter.load();
  engine_.StartClock();
  const auto end = steady_clock::now() + 2s;
  while (engine_.flags().frameCounter.load() == before && steady_clock::now() < end) std::this_thread::sleep_for(5ms);
  EXPECT_GT(engine_.flags().frameCounter.load(), before);
  engine_.StopClock();
}

// Recalls faster than the frame period never hold the mix timer back: the passes keep coming.
TEST_F(EngineThread, RecallsUnderTheClockNeverDelayAPass) {
  for (int red : {10, 200}) {
    engine_.RequestType(0, test::kSolidType), engine_.RebindSlots();
    test::SolidIn(engine_, 0)->color[0] = static_cast<uint8_t>(red);
    Scene scene;
    engine_.StoreLiveScene(scene, "Look");
    std::vector<Scene> all = engine_.show().scenes().records();
    all.push_back(scene);
    ASSERT_TRUE(engine_.show().scenes().ReplaceAll(all));
  }
  engine_.StartClock();
  std::this_thread::sleep_for(100ms);
  const int before = engine_.flags().frameCounter.load();
  const auto start = steady_clock::now();
  for (int i = 0; steady_clock::now() - start < 1500ms; ++i) {
    engine_.RecallScene(i % 2);
    std::this_thread::sleep_for(30ms);
  }
  const double seconds = duration<double>(steady_clock::now() - start).count();
  const int passes = engine_.flags().frameCounter.load() - before;
  engine_.StopClock();
  std::printf("%d passes in %.2f s of recalls every 30 ms\n", passes, seconds);
  EXPECT_GE(passes, static_cast<int>(seconds * 25 * 0.8));
}

TEST_F(LiveEngineThread, EveryBuiltinGeneratorIsBoundEditedCopiedAndResizedUnderTheClock) {
  engine_.StartClock();
  int bound = 0;
  for (int type = 1; type <= kMaxGeneratorType; ++type) {
    if (!engine_.registry().IsRegistered(type)) continue;
    ++bound;
    BindEverywhere(type);
    ASSERT_EQ(engine_.BoundType(3), type);
    std::this_thread::sleep_for(40ms);
    // A settings round trip on a running slot, copy and paste, a resize, the type again.
    engine_.EditGenerator(2, [](Generator& g) {
      SettingsBlock block{};
      g.ExchangeSettings(block, SettingsDirection::kStore);
      g.ExchangeSettings(block, SettingsDirection::kLoad);
    });
    engine_.CopySlot(2);
    ASSERT_TRUE(engine_.PasteSlot(1));
    engine_.PostMessageWork();
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(engine_.ResizeMatrix(type % 2 == 0 ? 40 : 12, type % 2 == 0 ? 8 : 20));
    BindEverywhere(type);
    std::this_thread::sleep_for(40ms);
  }
  EXPECT_GE(bound, 14);
  engine_.StopRendering();
  EXPECT_GT(engine_.flags().frameCounter.load(), 0);
}

TEST_F(LiveEngineThread, ProjectsLoadWhileTheClockAndLoopbackOutputsRun) {
  test::UdpReceiver receiver;
  OutputDevice device;
  device.port = receiver.port(), device.channels = 30;
  device.SetAddress("127.0.0.1");
  engine_.outputs().devices().Add(device);
  BindEverywhere(7);
  ASSERT_TRUE(engine_.OpenOutputs());
  engine_.StartClock();
  test::Datagram got;
  ASSERT_TRUE(receiver.Receive(got));
  // Two projects that differ in matrix size, so every load resizes.
  const std::vector<uint8_t> small = SerializeProject(engine_);
  ASSERT_TRUE(engine_.ResizeMatrix(48, 24));
  const std::vector<uint8_t> large = SerializeProject(engine_);
  for (int load = 0; load < 6; ++load) {
    const ProjectFileResult result = LoadProjectBytes(engine_, load % 2 == 0 ? small : large);
    ASSERT_EQ(result.status, ProjectFileStatus::kDone) << load;
    EXPECT_TRUE(result.outputsRunning);
    EXPECT_EQ(engine_.width(), load % 2 == 0 ? 32 : 48);
    BindEverywhere(load % 2 == 0 ? 1 : 2);
    receiver.ReceiveAll(30);
    EXPECT_TRUE(receiver.Receive(got)) << "no frame reached the loopback receiver after load " << load;
  }
  engine_.StopRendering();
  engine_.Shutdown();
  EXPECT_EQ(engine_.flags().outputState.load(), kOutputStopped);
}

// 100 000 valid and malformed tpm2.net datagrams flat out: no crash, the last complete frame wins, no overrun.
TEST_F(RemoteInputLoad, HundredThousandMixedDatagramsWhileTheClockRuns) {
  engine_.RequestType(0, test::kSolidType);
  engine_.RebindSlots();
  for (const char* name : {"A", "B", "C"}) ASSERT_TRUE(engine_.show().sceneList().Add(name));
  RemoteInputSettings& s = engine_.remoteInputSettings();
  s.inputType = kRemoteTpm2Net, s.listenPort = test::FreeLoopbackPort();
  ASSERT_TRUE(engine_.remote().OpenRemoteInput());
  test::LoopbackSender sender(s.listenPort);
  engine_.StartClock();

  std::mt19937 random(7);
  for (int i = 0; i < 100000; ++i) {
    std::vector<uint8_t> b = {0x9C, 0xDA, 0x00, 0x04, 0x01, 0x01, static_cast<uint8_t>(i % 3 + 1), 0,
                              static_cast<uint8_t>(i % 256), static_cast<uint8_t>(i % 7), 0x36};
    if (i % 2 == 1) {  // random bytes of any length up to the receive size
      b.resize(random() % 600);
      for (uint8_t& byte : b) byte = static_cast<uint8_t>(random());
    }
    sender.Send(b);
  }
  std::this_thread::sleep_for(200ms);
  // The last complete frame wins: two frames, then a damaged one.
  sender.Send({0x9C, 0xDA, 0x00, 0x04, 0x01, 0x01, 1, 0, 11, 0, 0x36});
  sender.Send({0x9C, 0xDA, 0x00, 0x04, 0x01, 0x01, 2, 0, 222, 9, 0x36});
  sender.Send({0x9C, 0xDA, 0x00, 0x04, 0x01, 0x01, 3, 0, 33, 0});
  EXPECT_TRUE(test::Eventually([&] { return engine_.remote().LastValues() == RemoteValues{2, 0, 222, 9}; }));
  engine_.StopClock();
  // The input thread reads the flood beside the clock: no mix pass waits for it.
  const int64_t passes = engine_.mixPassTiming().passes.load(), maxPassUs = engine_.mixPassTiming().longestUs.load();
  engine_.remote().CloseRemoteInput();
  EXPECT_EQ(engine_.remote().LastValues(), (RemoteValues{2, 0, 222, 9}));
  EXPECT_EQ(std::pair(engine_.settings().masterLevel.load(), engine_.settings().strobeTime.load()), std::pair(222, 1));
  const int periodUs = 1000000 / engine_.settings().outputFps.load();
  EXPECT_LT(maxPassUs, periodUs) << "a mix pass took longer than its period";
  EXPECT_GT(passes, 5);
  std::printf("[ figures  ] 100000 datagrams sent, %lld received; %lld mix passes, longest %lld us\n",
              static_cast<long long>(engine_.remote().counters().received.load()),
              static_cast<long long>(passes), static_cast<long long>(maxPassUs));
}

}  // namespace
}  // namespace quor
