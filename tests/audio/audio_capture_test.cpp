// Capture through a real ALSA device: the test writes a 1 kHz tone file and
// an ALSA configuration whose default PCM reads it (a "file" PCM in front of
// "null"), then runs the capture in a child process of this test binary,
// because PortAudio reads the ALSA configuration once per process at
// initialisation. A second child sees a configuration without any usable
// input device.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_analyzer.h"

extern char** environ;

namespace quor {
namespace {

constexpr const char* kChildModeVariable = "QUOR_AUDIO_CAPTURE_CHILD";

using Spectrum = std::array<int16_t, kSpectrumBins>;

bool AllZero(const Spectrum& s) {
  return std::all_of(s.begin(), s.end(), [](int16_t v) { return v == 0; });
}

// Runs inside the child only (skipped in an ordinary test run).
TEST(AudioCaptureChildProcess, CapturesTheDefaultInput) {
  const char* mode = std::getenv(kChildModeVariable);
  if (mode == nullptr) GTEST_SKIP() << "started by AudioCapture.ThroughAlsaDevices";
  AudioAnalyzer analyzer;
  analyzer.agcEnabled = 0;
  Spectrum spectrum{};

  if (std::string(mode) == "none") {
    EXPECT_FALSE(analyzer.Start());
    EXPECT_FALSE(analyzer.Capturing());
    analyzer.GetSpectrum(spectrum.data());
    EXPECT_TRUE(AllZero(spectrum));
    analyzer.Stop();  // harmless without a device
    return;
  }

  ASSERT_TRUE(analyzer.Start());
  EXPECT_TRUE(analyzer.Capturing());
  // The first block the device fills stays in place until analysed, so the
  // first non-zero spectrum is the tone from the start of the file.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  do {
    analyzer.GetSpectrum(spectrum.data());
    if (!AllZero(spectrum)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  } while (std::chrono::steady_clock::now() < deadline);
  analyzer.Stop();
  EXPECT_FALSE(analyzer.Capturing());
  ASSERT_FALSE(AllZero(spectrum)) << "no block arrived from the capture device";

  // 1000 Hz / 86.13 Hz = 11.6: the peak lies in bin 11 or 12, at roughly
  // half of full scale spread over the two.
  const auto peak = std::max_element(spectrum.begin(), spectrum.end());
  const auto bin = std::distance(spectrum.begin(), peak);
  EXPECT_TRUE(bin == 11 || bin == 12) << "peak in bin " << bin;
  EXPECT_GT(*peak, 8000);
  EXPECT_LT(spectrum[40], *peak / 10);
}

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quor-audio-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

void WriteToneFile(const std::filesystem::path& file) {
  // Two seconds of a full-scale 1000 Hz sine, both channels, 16-bit LE.
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 2 * kAudioSampleRate; ++i) {
    const auto v = static_cast<int16_t>(32767.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * i / kAudioSampleRate));
    const auto u = static_cast<uint16_t>(v);
    for (int channel = 0; channel < 2; ++channel) {
      bytes.push_back(static_cast<uint8_t>(u));
      bytes.push_back(static_cast<uint8_t>(u >> 8));
    }
  }
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
}

struct ChildResult {
  int exitCode = -1;
  std::string log;
};

// Re-runs this binary on the child test with the given ALSA configuration;
// its output goes to a log file. A child that hangs is killed.
ChildResult RunChild(const TempFolder& folder, const std::string& mode, const std::filesystem::path& alsaConfig) {
  const std::filesystem::path logPath = folder.path() / (mode + ".log");
  std::vector<std::string> variables;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (entry.starts_with("ALSA_CONFIG_PATH=") || entry.starts_with("LSAN_OPTIONS=") ||
        entry.starts_with(kChildModeVariable)) {
      continue;
    }
    variables.push_back(entry);
  }
  variables.push_back("ALSA_CONFIG_PATH=" + alsaConfig.string());
  variables.push_back(std::string(kChildModeVariable) + "=" + mode);
  // The sound libraries keep their configuration caches until exit; a leak
  // check in the child reports only what our own code leaks.
  const std::filesystem::path suppressions = folder.path() / "lsan.supp";
  std::ofstream(suppressions) << "leak:libasound\nleak:libportaudio\nleak:libQt6\nleak:libfontconfig\nleak:libglib\n";
  variables.push_back("LSAN_OPTIONS=suppressions=" + suppressions.string());

  std::vector<char*> envp;
  for (auto& v : variables) envp.push_back(v.data());
  envp.push_back(nullptr);
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string filter = "--gtest_filter=AudioCaptureChildProcess.*";
  char* argv[] = {self.data(), filter.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ChildResult result;
  if (spawned != 0) {
    result.log = "posix_spawn failed";
    return result;
  }

  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  pid_t done = 0;
  while ((done = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (done == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    result.log = "child timed out\n";
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  std::ifstream logFile(logPath);
  std::stringstream text;
  text << logFile.rdbuf();
  result.log += text.str();
  return result;
}

TEST(AudioCapture, ThroughAlsaDevices) {
  TempFolder folder;
  ASSERT_FALSE(folder.path().empty());
  const std::filesystem::path tone = folder.path() / "tone.raw";
  WriteToneFile(tone);

  const std::filesystem::path toneConfig = folder.path() / "tone.conf";
  std::ofstream(toneConfig) << "</usr/share/alsa/alsa.conf>\n"
                               "pcm.!default {\n"
                               "  type file\n"
                               "  slave.pcm \"null\"\n"
                               "  file \"/dev/null\"\n"
                               "  infile \""
                            << tone.string()
                            << "\"\n"
                               "  format \"raw\"\n"
                               "}\n";
  const ChildResult captured = RunChild(folder, "tone", toneConfig);
  EXPECT_EQ(captured.exitCode, 0) << captured.log;

  // A default PCM on a card that does not exist: no input device at all
  // (only where no sound card would stand in for it).
  if (std::filesystem::exists("/dev/snd")) return;
  const std::filesystem::path noneConfig = folder.path() / "none.conf";
  std::ofstream(noneConfig) << "</usr/share/alsa/alsa.conf>\n"
                               "pcm.!default { type hw card 97 }\n"
                               "ctl.!default { type hw card 97 }\n";
  const ChildResult missing = RunChild(folder, "none", noneConfig);
  EXPECT_EQ(missing.exitCode, 0) << missing.log;
}

}  // namespace
}  // namespace quor
