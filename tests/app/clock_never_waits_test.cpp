// The real program, headless, with what used to stop its clock thread; frames
// are counted on a 127.0.0.1 Art-Net receiver and must keep most of 25 frames/s.
#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>

#include "files/recording_file.h"
#include "generators/file_player.h"
#include "quor_run.h"
#include "show/show.h"
#include "tests/output/udp_receiver.h"

namespace quor {
namespace {

using Clock = std::chrono::steady_clock;

// A running quor whose standard output and error go into a pipe that is read
// only when asked (or at the end, so that the program can finish).
class QuorWithPipe {
 public:
  explicit QuorWithPipe(const std::vector<std::string>& args) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(fds[1], STDOUT_FILENO);
      ::dup2(fds[1], STDERR_FILENO);
      std::vector<char*> argv{const_cast<char*>(QUOR_BINARY)};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      ::execv(QUOR_BINARY, argv.data());
      _exit(127);
    }
    ::close(fds[1]);
    readEnd_ = fds[0];
  }
  ~QuorWithPipe() { Stop(); }
  bool started() const { return pid_ > 0; }

  // SIGTERM, then reads the pipe until the program has ended. Returns what
  // was read after the stop (the rest of the output).
  std::string Stop() {
    std::string text;
    if (pid_ <= 0) return text;
    ::kill(pid_, SIGTERM);
    char buffer[65536];
    for (ssize_t n; (n = ::read(readEnd_, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    int status = 0;
    ::waitpid(pid_, &status, 0);
    ::close(readEnd_);
    pid_ = -1;
    return text;
  }

 private:
  pid_t pid_ = -1;
  int readEnd_ = -1;
};

// Art-Net datagrams per second over `seconds`, after a second of start-up.
double FramesPerSecond(test::UdpReceiver& receiver, double seconds) {
  test::Datagram got;
  const auto warm = Clock::now() + std::chrono::seconds(1);
  while (Clock::now() < warm) receiver.Receive(got, 50);
  int frames = 0;
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration<double>(seconds);
  while (Clock::now() < end) {
    if (receiver.Receive(got, 50)) ++frames;
  }
  return frames / std::chrono::duration<double>(Clock::now() - start).count();
}

void WriteRecording(const std::string& path, size_t junkBytes, bool withFrame) {
  std::ofstream out(path, std::ios::binary);
  const auto header = EncodeRecordingHeader({32, 16, 25});
  out.write(reinterpret_cast<const char*>(header.data()), header.size());
  if (withFrame) {
    out.write("QX", 3);
    const std::vector<char> frame(32 * 16 * 3, 7);
    out.write(frame.data(), static_cast<std::streamsize>(frame.size()));
  }
  const std::vector<char> junk(1 << 20, 'Q');  // armed, never completed
  for (size_t done = 0; done < junkBytes; done += junk.size()) out.write(junk.data(), static_cast<std::streamsize>(junk.size()));
}

TEST(ClockNeverWaits, AStandardOutputNobodyReadsKeepsTheFrameRate) {
  const std::string dir = test::FreshTestDir("stalled_stdout");
  test::UdpReceiver receiver;
  // A chase whose zero-length steps print thousands of console lines per
  // pass: far more than a pipe holds.
  test::SaveArtNetShow(dir + "/show.qrx", receiver.port(), [](Engine& setup) {
    ASSERT_TRUE(setup.show().sceneList().Add("Scene"));
    ChaseStore& chases = setup.show().chases();
    chases.InsertChase(0, "Chatter");
    for (int i = 0; i < 2000; ++i) chases.InsertStep(0, i, ChaseStep{7, 0, 0, 0, 0});
    chases.InsertStep(0, 2000, ChaseStep{7, 0, 0, 0, 2000});
  });
  QuorWithPipe quor({"--headless", "--config-dir=" + dir, dir + "/show.qrx", "-C1"});
  ASSERT_TRUE(quor.started());
  const double fps = FramesPerSecond(receiver, 3.0);
  const std::string rest = quor.Stop();
  RecordProperty("frames_per_second", std::to_string(fps));
  std::printf("frames/s with standard output stalled: %.1f\n", fps);
  EXPECT_GT(fps, 20.0);
  EXPECT_NE(rest.find("lines dropped"), std::string::npos);
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
      e.RequestType(0, kFilePlayerType);
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
    const auto started = Clock::now();
    QuorWithPipe quor({"--headless", "--config-dir=" + dir, dir + "/show.qrx", "-S1", "--seconds=4"});
    ASSERT_TRUE(quor.started());
    const double fps = FramesPerSecond(receiver, 2.0);
    const std::string rest = quor.Stop();
    const double lifetime = std::chrono::duration<double>(Clock::now() - started).count();
    std::printf("frames/s with %s: %.1f (ended after %.1f s)\n", c.name, fps, lifetime);
    EXPECT_GT(fps, 20.0);
    EXPECT_LT(lifetime, 10.0);
    if (!c.withFrame && c.junk > 0) {
      EXPECT_NE(rest.find("Unknown File Format."), std::string::npos) << rest;
    }
  }
}

}  // namespace
}  // namespace quor
