// The engine with its real clock thread while the UI thread works on it:
// every built-in generator bound, edited, copied, rebound and resized under
// running ticks, and projects loaded while the outputs send to loopback.
// These are the ThreadSanitizer build's main targets.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <chrono>
#include <memory>
#include <thread>

#include "engine/engine.h"
#include "engine/project_file.h"
#include "generators/builtin_generators.h"
#include "tests/output/udp_receiver.h"

namespace quor {
namespace {

using namespace std::chrono_literals;

// Text-drawing generators need a QGuiApplication; this executable has none.
void EnsureGuiApplication() {
  static std::unique_ptr<QGuiApplication> app;
  if (QGuiApplication::instance() != nullptr) return;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "quor_thread_tests";
  static char* argv[] = {name, nullptr};
  app = std::make_unique<QGuiApplication>(argc, argv);
}

void BindEverywhere(Engine& engine, int type) {
  for (int s = 0; s < kSlotCount; ++s) engine.SelectEffect(s, EffectListPosition(type));
  engine.PostMessageWork();
}

TEST(LiveEngineThread, EveryBuiltinGeneratorIsBoundEditedCopiedAndResizedUnderTheClock) {
  EnsureGuiApplication();
  Engine engine(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kThread, 7});
  engine.console().SetSink([](std::string_view) {});
  engine.StartClock();
  int bound = 0;
  for (int type = 1; type <= kMaxGeneratorType; ++type) {
    if (!engine.registry().IsRegistered(type)) continue;
    ++bound;
    BindEverywhere(engine, type);
    ASSERT_EQ(engine.BoundType(3), type);
    std::this_thread::sleep_for(40ms);

    // A settings dialog's round trip on a running slot, then copy and paste.
    engine.EditGenerator(2, [](Generator& g) {
      SettingsBlock block{};
      g.ExchangeSettings(block, SettingsDirection::kStore);
      g.ExchangeSettings(block, SettingsDirection::kLoad);
    });
    engine.CopySlot(2);
    ASSERT_TRUE(engine.PasteSlot(1));
    engine.PostMessageWork();
    std::this_thread::sleep_for(20ms);

    // A resize puts every slot back to None; the type comes back at the new size.
    const bool wide = type % 2 == 0;
    ASSERT_TRUE(engine.ResizeMatrix(wide ? 40 : 12, wide ? 8 : 20, 0));
    BindEverywhere(engine, type);
    std::this_thread::sleep_for(40ms);
  }
  EXPECT_GE(bound, 14);
  engine.StopRendering();
  EXPECT_GT(engine.flags().frameCounter.load(), 0);
}

TEST(LiveEngineThread, ProjectsLoadWhileTheClockAndLoopbackOutputsRun) {
  EnsureGuiApplication();
  test::UdpReceiver receiver;
  Engine engine(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kThread, 3});
  engine.console().SetSink([](std::string_view) {});
  OutputDevice device;
  device.port = receiver.port(), device.channels = 30;
  device.SetAddress("127.0.0.1");
  engine.outputs().devices().Add(device);
  engine.SetMasterLevel(255);
  BindEverywhere(engine, 7);
  ASSERT_TRUE(engine.OpenOutputs());
  engine.StartClock();
  test::Datagram got;
  ASSERT_TRUE(receiver.Receive(got));

  // Two projects that differ in matrix size, so every other load resizes.
  const std::vector<uint8_t> small = SerializeProject(engine);
  ASSERT_TRUE(engine.ResizeMatrix(48, 24, 0));
  const std::vector<uint8_t> large = SerializeProject(engine);

  for (int load = 0; load < 6; ++load) {
    const ProjectFileResult result = LoadProjectBytes(engine, load % 2 == 0 ? small : large);
    ASSERT_EQ(result.status, ProjectFileStatus::kDone) << load;
    EXPECT_TRUE(result.outputsRunning);
    EXPECT_EQ(engine.width(), load % 2 == 0 ? 32 : 48);
    BindEverywhere(engine, load % 2 == 0 ? 1 : 2);
    receiver.ReceiveAll(30);
    EXPECT_TRUE(receiver.Receive(got)) << "no frame reached the loopback receiver after load " << load;
  }
  engine.StopRendering();
  engine.Shutdown();
  EXPECT_EQ(engine.flags().outputState.load(), kOutputStopped);
}

}  // namespace
}  // namespace quor
