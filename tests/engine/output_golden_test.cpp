// The bytes on the wire for a fixed show, pass by pass, against a recording kept in tests/data.
// It runs the demo show through every scene with the panel, master and strobe moving, so a
// change anywhere between a generator and the Art-Net encoder shows up as the first pass
// whose datagrams differ. QUOR_RECORD_GOLDEN=1 writes the recording instead of comparing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/project_file.h"
#include "generators/generator_catalogue.h"
#include "output/udp_receiver.h"
#include "test_support.h"

namespace quor {
namespace {

constexpr int kPasses = 200;
const std::string kRecording = std::string(QUOR_SOURCE_DIR) + "/tests/data/artnet_golden.txt";

uint64_t Fnv1a(uint64_t hash, const std::vector<uint8_t>& bytes) {
  for (uint8_t b : bytes) hash = (hash ^ b) * 0x100000001b3ULL;
  return hash;
}

// One line per mix pass: the number of datagrams and a hash over all their bytes.
std::vector<std::string> RunFixedShow() {
  // The demo names its picture relative to the working directory. The recording was made where that
  // name finds nothing (the test's own folder), so the Image Viewer scene stays black; run from an
  // empty folder, the result does not depend on where the test starts or on when a loader thread
  // that found the picture would finish.
  const std::filesystem::path started = std::filesystem::current_path();
  std::filesystem::current_path(test::FreshTestDir("golden"));
  struct Back {
    std::filesystem::path to;
    ~Back() { std::filesystem::current_path(to); }
  } back{started};
  Engine engine(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  engine.console().SetSink([](std::string_view) {});
  const ProjectFileResult loaded = LoadProject(engine, std::string(QUOR_SOURCE_DIR) + "/share/demo.qrx");
  EXPECT_EQ(loaded.status, ProjectFileStatus::kDone);
  engine.CloseOutputs();
  test::UdpReceiver receiver;
  receiver.SetReceiveBuffer(1 << 22);
  OutputDeviceList& devices = engine.outputs().devices();
  while (devices.count() > 0) devices.Remove(0, engine.patch());
  // Every pixel patched in order, 170 to a universe.
  const int pixels = engine.width() * engine.height();
  for (int universe = 0; universe * 170 < pixels; ++universe) {
    OutputDevice device;
    device.port = receiver.port(), device.channels = 510, device.universe = universe;
    device.SetAddress("127.0.0.1");
    devices.Add(device);
  }
  for (int i = 0; i < pixels; ++i) {
    const int channel = i % 170 * 3;
    engine.patch().entries()[static_cast<size_t>(i)] = PatchEntry{i / 170, channel, channel + 1, channel + 2};
  }
  EXPECT_TRUE(engine.OpenOutputs());
  engine.StartClock();

  std::vector<std::string> lines;
  const int scenes = engine.show().scenes().count();
  for (int pass = 0; pass < kPasses; ++pass) {
    if (pass % 25 == 0 && scenes > 0) engine.RequestSceneRecall(pass / 25 % scenes);
    if (pass % 25 == 12) {
      engine.SetMergeMode(pass / 25 % kMixCount, pass / 25 % 4);
      engine.SetChannelFade(pass / 50 % 2, pass * 7 % 256);
      engine.SetMainFadeByHand(pass * 13 % 256);
      engine.SetInvert(pass / 25 % kSlotCount, pass / 25 % 2 == 1);
      engine.SetGammaSetting(60 + pass);
      engine.SetMasterLevel(255 - pass);
    }
    if (pass == 150) engine.SetStrobeTime(3), engine.SetStrobe(true);
    if (pass == 175) engine.SetStrobe(false), engine.StartMainGlide(kGlideToEnd);
    engine.PostMessageWork();
    engine.clock().Advance(40);
    uint64_t hash = 0xcbf29ce484222325ULL;
    int count = 0;
    for (test::Datagram d; receiver.Receive(d, count == 0 ? 200 : 0); ++count) hash = Fnv1a(hash, d.bytes);
    char line[64];
    std::snprintf(line, sizeof line, "%d %016llx", count, static_cast<unsigned long long>(hash));
    lines.emplace_back(line);
  }
  engine.StopRendering();
  engine.Shutdown();
  return lines;
}

TEST(OutputGolden, AFixedShowPutsTheRecordedBytesOnTheWire) {
  const std::vector<std::string> lines = RunFixedShow();
  if (std::getenv("QUOR_RECORD_GOLDEN") != nullptr) {
    std::ofstream out(kRecording);
    for (const std::string& line : lines) out << line << '\n';
    GTEST_SKIP() << "recorded " << kRecording;
  }
  std::ifstream in(kRecording);
  ASSERT_TRUE(in) << "no recording at " << kRecording << "; run once with QUOR_RECORD_GOLDEN=1";
  std::vector<std::string> recorded;
  for (std::string line; std::getline(in, line);) recorded.push_back(line);
  ASSERT_EQ(recorded.size(), lines.size());
  for (size_t pass = 0; pass < lines.size(); ++pass) {
    ASSERT_EQ(lines[pass], recorded[pass]) << "pass " << pass << " sent other bytes than recorded";
  }
}

}  // namespace
}  // namespace quor
