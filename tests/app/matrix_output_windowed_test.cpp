// New Matrix Output in the real binary (private Xvfb, loopback-only network): the operator's 32 x 16 snake on four
// Art-Net universes set up through the one dialog, the output started, and every universe's bytes at the receiver
// following the wiring. The user steps are counted: each menu click, field edit and OK is one.
#include <QImage>
#include <algorithm>
#include <cstdio>

#include "generators/image_viewer.h"
#include "output/output_device.h"
#include "tests/app/loopback_quor.h"

namespace quor {
namespace {

using test::ReadWholeFile;

constexpr int kWidth = 32, kHeight = 16, kUniverses = 4, kPixelsPerUniverse = 170;

QColor PictureAt(int x, int y) { return QColor(7 * x, 15 * y, 255 - (y * kWidth + x) % 256); }

// What each universe must carry, worked out from the wiring itself: one strip snaking from the top left, row by row,
// 170 pixels a universe, GRB LEDs. Art-Net carries an even channel count, so the 2 pixels of the last universe take 6.
std::vector<std::vector<uint8_t>> SnakePayloads() {
  std::vector<std::vector<uint8_t>> payloads(kUniverses);
  for (int u = 0; u < kUniverses; ++u) {
    const int pixels = std::min(kPixelsPerUniverse, kWidth * kHeight - u * kPixelsPerUniverse);
    payloads[static_cast<size_t>(u)].assign(static_cast<size_t>(pixels * 3), 0);
  }
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const int along = y * kWidth + (y % 2 == 0 ? x : kWidth - 1 - x);
      std::vector<uint8_t>& p = payloads[static_cast<size_t>(along / kPixelsPerUniverse)];
      const size_t at = static_cast<size_t>(along % kPixelsPerUniverse) * 3;
      const QColor c = PictureAt(x, y);
      p[at] = static_cast<uint8_t>(c.green()), p[at + 1] = static_cast<uint8_t>(c.red());
      p[at + 2] = static_cast<uint8_t>(c.blue());
    }
  }
  return payloads;
}

// A 32 x 16 project whose first scene shows the picture at full level.
void WriteStartProject(const std::string& dir) {
  QImage picture(kWidth, kHeight, QImage::Format_RGB32);
  for (int i = 0; i < kWidth * kHeight; ++i)
    picture.setPixelColor(i % kWidth, i / kWidth, PictureAt(i % kWidth, i / kWidth));
  ASSERT_TRUE(picture.save(QString::fromStdString(dir + "/picture.png")));
  Engine setup(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  ASSERT_TRUE(setup.ResizeMatrix(kWidth, kHeight));
  setup.RequestType(0, 6);
  setup.RebindSlots();
  setup.EditGenerator(0,
                      [&dir](Generator& g) { dynamic_cast<ImageViewerGenerator&>(g).LoadPath(dir + "/picture.png"); });
  setup.SetChannelFade(kMixChannel1, 0), setup.SetMainFadeByHand(0);
  ASSERT_TRUE(setup.show().sceneList().Add("Picture"));
  ASSERT_EQ(SaveProject(setup, dir + "/start.qrx").status, ProjectFileStatus::kDone);
}

using MatrixOutputWindowedTest = test::LoopbackQuorTest;

TEST_F(MatrixOutputWindowedTest, ASnakeOnFourArtNetUniversesInAtMostFifteenSteps) {
  const std::string kTitle = test::kMainTitle;
  dir_ = test::FreshTestDir("windowed_matrix_output");
  ASSERT_NO_FATAL_FAILURE(WriteStartProject(dir_));
  if (!StartQuor(dir_ + "/start.qrx")) GTEST_SKIP() << "no private network namespace here (enable user namespaces)";
  // Each probe step with the user steps it stands for. In the dialog, Tab moves from field to field (a click on
  // the field for a mouse user) and selects the field's text, so typing replaces it: one field edit.
  struct UserStep {
    std::vector<std::string> probe;
    int steps;
  };
  const char* kDialog = "New Matrix Output";
  const std::vector<UserStep> flow = {
      {{"key", kTitle, "alt+s", "o"}, 2},  // recalling the scene started the output: Setup > Start Output stops it
      {{"key", kTitle, "alt+s", "n"}, 2},  // Setup > New Matrix Output...
      // IP Address, the field after Protocol (Art-Net already): the node's address.
      {{"key", kDialog, "Tab", "1", "2", "7", ".", "0", ".", "0", ".", "1"}, 1},
      // Past Net, Subnet, Universe (0:0:0) and Pixels per Universe (170): Wiring "Snakelines".
      {{"key", kDialog, "Tab", "Tab", "Tab", "Tab", "Tab", "Home", "Down"}, 1},
      // Past Start Corner (Top-Left): Colour Order "GRB", the last.
      {{"key", kDialog, "Tab", "Tab", "End"}, 1},
      {{"key", kDialog, "Return"}, 1},  // OK
      {{"key", "Matrix Output Added", "Return"}, 1},
      {{"gone", kDialog, "10000"}, 0},
      {{"key", kTitle, "alt+s", "o"}, 2},  // Setup > Start Output
  };
  int steps = 0;
  for (const UserStep& step : flow) {
    ASSERT_TRUE(Steps({step.probe})) << "after " << steps << " user steps";
    steps += step.steps;
  }
  std::printf("New Matrix Output: the 32 x 16 snake on four Art-Net universes took %d user steps\n", steps);
  EXPECT_LE(steps, 15);

  // One datagram of each universe (port address 0:0:0 .. 0:0:3) with the snake's bytes.
  const std::vector<std::vector<uint8_t>> expected = SnakePayloads();
  std::vector<bool> matched(kUniverses, false);
  std::vector<std::vector<uint8_t>> last(kUniverses);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  test::Datagram got;
  auto all = [&matched] { return std::all_of(matched.begin(), matched.end(), [](bool m) { return m; }); };
  while (!all() && std::chrono::steady_clock::now() < deadline && receiver_->Receive(got, 1000)) {
    if (got.bytes.size() < 18 || got.bytes[15] != 0 || got.bytes[14] >= kUniverses) continue;
    const size_t universe = got.bytes[14];
    last[universe] = test::UdpReceiver::ArtNetData(got);
    matched[universe] = matched[universe] || last[universe] == expected[universe];
  }
  for (int u = 0; u < kUniverses; ++u) {
    EXPECT_TRUE(matched[static_cast<size_t>(u)])
        << "universe " << u << " never carried the snake's " << expected[static_cast<size_t>(u)].size()
        << " bytes (last had " << last[static_cast<size_t>(u)].size() << ")\n"
        << ReadWholeFile(dir_ + "/quor.log");
  }
  const std::string log = ReadWholeFile(dir_ + "/quor.log");
  EXPECT_NE(log.find("Matrix output: 32 x 16 pixels on 4 Art-Net devices from device 1, 4 universes"),
            std::string::npos)
      << log;
  // The new devices and patch are a change to the project: its question is answered with "Discard".
  EXPECT_TRUE(Steps({{"close", kTitle},
                     {"wait", "Unsaved Changes", "5000"},
                     {"key", "Unsaved Changes", "alt+d"},
                     {"gone", "Unsaved Changes", "5000"}}));
  EXPECT_EQ(test::WaitFor(std::exchange(quor_, -1), std::chrono::seconds(20)), 0) << ReadWholeFile(dir_ + "/quor.log");
}

}  // namespace
}  // namespace quor
