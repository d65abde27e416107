// The real program, headless, with what used to stop its clock thread: it keeps most of 25 frames/s.
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "files/recording_file.h"
#include "generators/generator_catalogue.h"
#include "quor_run.h"
#include "show/show.h"
#include "tests/output/udp_receiver.h"

namespace quor {
namespace {

using Clock = std::chrono::steady_clock;

// Art-Net datagrams per second over `seconds`, after a second of start-up.
double FramesPerSecond(test::UdpReceiver& receiver, double seconds) {
  test::Datagram got;
  const auto warm = Clock::now() + std::chrono::seconds(1);
  while (Clock::now() < warm) receiver.Receive(got, 50);
  int frames = 0;
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration<double>(seconds);
  while (Clock::now() < end) frames += receiver.Receive(got, 50) ? 1 : 0;
  return frames / std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs quor headless with `args` through the shell while the receiver counts its frames.
struct Measured {
  double fps = 0, lifetime = 0;
  test::ShellRun run;
};
Measured RunAndCount(test::UdpReceiver& receiver, const std::string& args, double seconds) {
  Measured m;
  const auto started = Clock::now();
  std::thread quor([&] {
    m.run = test::Shell(std::string(QUOR_BINARY) + " --headless " + args);
    m.lifetime = std::chrono::duration<double>(Clock::now() - started).count();
  });
  m.fps = FramesPerSecond(receiver, seconds);
  quor.join();
  return m;
}

void WriteRecording(const std::string& path, size_t junkBytes, bool withFrame) {
  std::ofstream out(path, std::ios::binary);
  const auto header = EncodeRecordingHeader({32, 16, 25});
  out.write(reinterpret_cast<const char*>(header.data()), header.size());
  if (withFrame) out << std::string("QX\0", 3) << std::string(32 * 16 * 3, '\7');
  const std::vector<char> junk(1 << 20, 'Q');  // armed, never completed
  for (size_t done = 0; done < junkBytes; done += junk.size()) out.write(junk.data(), static_cast<std::streamsize>(junk.size()));
}

TEST(ClockNeverWaits, AStandardOutputNobodyReadsKeepsTheFrameRate) {
  const std::string dir = test::FreshTestDir("stalled_stdout");
  test::UdpReceiver receiver;
  // A chase whose zero-length steps print far more console lines per pass than a pipe holds.
  test::SaveArtNetShow(dir + "/show.qrx", receiver.port(), [](Engine& setup) {
    ASSERT_TRUE(setup.show().sceneList().Add("Scene"));
    ChaseStore& chases = setup.show().chases();
    chases.InsertChase(0, "Chatter");
    for (int i = 0; i < 2000; ++i) chases.InsertStep(0, i, ChaseStep{7, 0, 0, 0, 0});
    chases.InsertStep(0, 2000, ChaseStep{7, 0, 0, 0, 2000});
  });
  // The pipe's reader sleeps until quor has finished counting.
  const std::string args = "--config-dir=" + dir + " " + dir + "/show.qrx -C1 --seconds=6 2>&1 | (sleep 7; cat)";
  const Measured m = RunAndCount(receiver, args, 3.0);
  RecordProperty("frames_per_second", std::to_string(m.fps));
  std::printf("frames/s with standard output stalled: %.1f\n", m.fps);
  EXPECT_GT(m.fps, 20.0);
  EXPECT_TRUE(m.run.Says("lines dropped"));
}

TEST(ClockNeverWaits, HugeMarkerlessRecordingsAndFifosNeitherStallNorHang) {
  const std::string dir = test::FreshTestDir("file_player_hostile");
  struct Case {
    const char* name;
    size_t junk;
    bool withFrame;
  };
  for (const Case& c : {Case{"one frame, then 64 MiB without a marker", 64u << 20, true},
                        Case{"64 MiB without a marker", 64u << 20, false}, Case{"a FIFO", 0, false}}) {
    SCOPED_TRACE(c.name);
    test::UdpReceiver receiver;
    // The scene names a valid recording, which is then replaced.
    const std::string recording = dir + (c.junk > 0 ? "/take.qrr" : "/pipe.qrr");
    WriteRecording(recording, 0, true);
    test::SaveArtNetShow(dir + "/show.qrx", receiver.port(), [&](Engine& e) {
      e.RequestType(0, kFilePlayerDialog.typeId);
      e.RebindSlots();
      e.EditGenerator(0, [&](Generator& g) { dynamic_cast<FilePlayerGenerator&>(g).Load(recording); });
      ASSERT_TRUE(e.show().sceneList().Add("Scene"));
    });
    if (c.junk > 0) {
      WriteRecording(recording, c.junk, c.withFrame);
    } else {
      ASSERT_EQ(::unlink(recording.c_str()), 0);
      ASSERT_EQ(::mkfifo(recording.c_str(), 0600), 0);
    }
    const Measured m = RunAndCount(receiver, "--config-dir=" + dir + " " + dir + "/show.qrx -S1 --seconds=4", 2.0);
    std::printf("frames/s with %s: %.1f (ended after %.1f s)\n", c.name, m.fps, m.lifetime);
    EXPECT_GT(m.fps, 20.0);
    EXPECT_LT(m.lifetime, 10.0);
    EXPECT_EQ(m.run.exitCode, 0) << m.run.output;
    EXPECT_TRUE(c.withFrame || c.junk == 0 || m.run.Says("Unknown File Format.")) << m.run.output;
  }
}

}  // namespace
}  // namespace quor
