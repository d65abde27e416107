// Output setup by keyboard in the real binary (private Xvfb, loopback-only network): two Art-Net devices, a snake
// FastPatch across both, output started, the project saved from the menu and loaded again.
#include <QImage>
#include <cstring>

#include "generators/image_viewer.h"
#include "output/device_editor.h"
#include "output/fast_patch.h"
#include "tests/app/loopback_quor.h"

namespace quor {
namespace {

using test::ReadWholeFile;

constexpr int kWidth = 16, kHeight = 8;
constexpr int kDeviceChannels = kWidth * kHeight / 2 * 3;  // half the rows per universe
constexpr int kSnakeTopLeft = 4, kGrb = 5;

// Each pixel has its own colour, so the payload shows where it went and in which order.
QColor PictureAt(int x, int y) { return QColor(10 + x * 15, 20 + y * 25, 255 - (y * kWidth + x)); }

// The engine's FastPatch for what the dialogs are told: snake from the top left, GRB, 4 rows per device.
struct Expected {
  Console console;
  OutputDeviceList devices{console};
  PatchTable patch{kWidth, kHeight};
  std::vector<std::vector<uint8_t>> payloads;  // by universe

  Expected() {
    for (int universe = 0; universe < 2; ++universe) {
      OutputDevice device = NewDeviceDefaults();
      device.channels = kDeviceChannels, device.universe = universe;
      devices.Add(device);
      FastPatchSettings s{kWidth, kHeight, 0, kSnakeTopLeft, kGrb, universe};
      ApplyFastPatch(patch, devices, 0, universe * kHeight / 2, s);
    }
    payloads.assign(2, std::vector<uint8_t>(kDeviceChannels, 0));
    for (int i = 0; i < kWidth * kHeight; ++i) {
      const PatchEntry& e = patch.At(i % kWidth, i / kWidth);
      const QColor c = PictureAt(i % kWidth, i / kWidth);
      for (auto [channel, value] : {std::pair{e.red, c.red()}, {e.green, c.green()}, {e.blue, c.blue()}}) {
        payloads.at(static_cast<size_t>(e.device)).at(static_cast<size_t>(channel)) = static_cast<uint8_t>(value);
      }
    }
  }
};

// A 16 x 8 project whose first scene shows the picture at full level.
void WriteStartProject(const std::string& dir) {
  QImage picture(kWidth, kHeight, QImage::Format_RGB32);
  for (int i = 0; i < kWidth * kHeight; ++i) {
    picture.setPixelColor(i % kWidth, i / kWidth, PictureAt(i % kWidth, i / kWidth));
  }
  ASSERT_TRUE(picture.save(QString::fromStdString(dir + "/picture.png")));
  Engine setup(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  ASSERT_TRUE(setup.ResizeMatrix(kWidth, kHeight));
  setup.RequestType(0, 6);
  setup.RebindSlots();
  setup.EditGenerator(0, [&dir](Generator& g) { dynamic_cast<ImageViewerGenerator&>(g).LoadPath(dir + "/picture.png"); });
  setup.SetChannelFade(kMixChannel1, 0), setup.SetMainFadeByHand(0);
  ASSERT_TRUE(setup.show().sceneList().Add("Picture"));
  ASSERT_EQ(SaveProject(setup, dir + "/start.qrx").status, ProjectFileStatus::kDone);
}

class OutputSetupWindowedTest : public test::LoopbackQuorTest {
 protected:
  // Receives until one datagram of each universe carries the expected payload.
  testing::AssertionResult PayloadsArrive(const Expected& expected, const char* when) {
    bool matched[2] = {false, false};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    test::Datagram got;
    while (!(matched[0] && matched[1]) && std::chrono::steady_clock::now() < deadline && receiver_->Receive(got, 1000)) {
      const size_t universe = got.bytes.size() == 18u + kDeviceChannels && got.bytes[15] == 0 ? got.bytes[14] : 2;
      if (universe < 2) matched[universe] |= test::UdpReceiver::ArtNetData(got) == expected.payloads[universe];
    }
    if (matched[0] && matched[1]) return testing::AssertionSuccess();
    return testing::AssertionFailure() << when << ": the Art-Net payload of universe " << (matched[0] ? 1 : 0)
                                       << " never followed the snake patch\n" << ReadWholeFile(dir_ + "/quor.log");
  }
};

TEST_F(OutputSetupWindowedTest, ArtNetDevicesAndSnakeFastPatchFromTheMenusReachTheWireAndTheProject) {
  const std::string kTitle = test::kMainTitle;
  dir_ = test::FreshTestDir("windowed_output_setup");
  ASSERT_NO_FATAL_FAILURE(WriteStartProject(dir_));
  if (!StartQuor(dir_ + "/start.qrx")) GTEST_SKIP() << "no private network namespace here (enable user namespaces)";
  // Tab walks each dialog's fields from the first (five to "Universe"), selecting text so typing replaces it.
  ASSERT_TRUE(Steps({
      {"key", kTitle, "alt+s", "o"},  // recalling the scene started the output: stop it
      {"key", kTitle, "alt+s", "d"},  // Setup > Output Devices
      {"key", "Output Devices", "Tab", "space"},  // from the list to "Add"
      {"key", "Add/Edit Device", "Tab", "Tab", "Tab", "Tab", "Tab", "0", "Tab", "1", "9", "2", "Return"},
      {"gone", "Add/Edit Device", "10000"},
      {"key", "Output Devices", "space"},  // "Add" again
      {"key", "Add/Edit Device", "Tab", "Tab", "Tab", "Tab", "Tab", "1", "Tab", "1", "9", "2", "Return"},
      {"gone", "Add/Edit Device", "10000"},
      {"key", "Output Devices", "Escape"},
      {"gone", "Output Devices", "10000"},
      {"key", kTitle, "alt+s", "p"},  // Setup > Output Patch
      {"key", "Output Patch", "Tab", "space"},  // from the device list to "Fast Patch"
      // Past Dimension X, Y, First Channel: pixel order (the fifth), colour order (last), device 1.
      {"key", "FastPatch", "Tab", "Tab", "Tab", "Home", "Down", "Down", "Down", "Down", "Tab", "End", "Tab", "Home",
       "Return"},
      // Device 1 is full after the top four rows: go on with device 2, the next universe.
      {"key", "FastPatch - Device Full", "Return"},
      {"gone", "FastPatch", "10000"},
      {"key", "Output Patch", "Escape"},
      {"gone", "Output Patch", "10000"},
      {"key", kTitle, "alt+s", "o"},  // Setup > Start Output
  }));
  const Expected expected;
  ASSERT_TRUE(PayloadsArrive(expected, "after Start Output"));

  // Saved from the menu while the output runs, then quit.
  const std::string saved = dir_ + "/leds.qrx";
  ASSERT_TRUE(Steps({{"key", kTitle, "alt+f", "a"}}));  // File > Save As
  ASSERT_TRUE(ChooseFile("Save As ...", saved)) << "the save dialog did not take " << saved << ": "
                                                << ReadWholeFile(dir_ + "/probe.log");
  ASSERT_TRUE(Steps({{"close", kTitle}}));
  ASSERT_EQ(test::WaitFor(std::exchange(quor_, -1), std::chrono::seconds(20)), 0) << ReadWholeFile(dir_ + "/quor.log");
  // Started again on the saved project (it opens the outputs): the same payloads.
  receiver_.reset();
  ASSERT_TRUE(StartQuor(saved)) << "the private network for the second start failed";
  ASSERT_TRUE(Steps({{"wait", kTitle, "20000"}}));
  EXPECT_TRUE(PayloadsArrive(expected, "after loading the saved project"));
  EXPECT_TRUE(Steps({{"close", kTitle}}));
  EXPECT_EQ(test::WaitFor(std::exchange(quor_, -1), std::chrono::seconds(20)), 0) << ReadWholeFile(dir_ + "/quor.log");
}

}  // namespace
}  // namespace quor
