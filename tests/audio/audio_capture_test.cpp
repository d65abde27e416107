// Capture through a real ALSA device: a 1 kHz tone file behind a "file" PCM
// as the default device. The capture runs in a child process of this test
// binary, because PortAudio reads the ALSA configuration once per process.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <thread>

#include "audio/audio_analyzer.h"

namespace quor {
namespace {

// Runs inside the child only (skipped in an ordinary test run).
TEST(AudioCaptureChildProcess, CapturesTheDefaultInput) {
  const char* mode = std::getenv("QUOR_AUDIO_CAPTURE_CHILD");
  if (mode == nullptr) GTEST_SKIP() << "started by AudioCapture.ThroughAlsaDevices";
  AudioAnalyzer analyzer;
  analyzer.agcEnabled = 0;
  std::array<int16_t, kSpectrumBins> spectrum{};
  const auto silent = [&] { return std::ranges::all_of(spectrum, [](int16_t v) { return v == 0; }); };
  const bool started = !analyzer.Start();
  EXPECT_EQ(analyzer.Capturing(), started);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(started ? 10 : 0);
  do {
    analyzer.GetSpectrum(spectrum.data());
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  } while (silent() && std::chrono::steady_clock::now() < deadline);
  analyzer.Stop();  // harmless without a device
  EXPECT_FALSE(analyzer.Capturing());
  if (std::string(mode) == "none") {
    EXPECT_FALSE(started || !silent());
    return;
  }
  ASSERT_TRUE(started);
  ASSERT_FALSE(silent()) << "no block arrived from the capture device";
  // 1000 Hz / 86.13 Hz = 11.6: the peak lies in bin 11 or 12.
  const auto peak = std::ranges::max_element(spectrum);
  EXPECT_TRUE(peak - spectrum.begin() == 11 || peak - spectrum.begin() == 12) << peak - spectrum.begin();
  EXPECT_GT(*peak, 8000);
  EXPECT_LT(spectrum[40], *peak / 10);
}

// Re-runs this binary on the child test under `pcm` (killed after 60 s); its output in `log`.
int RunChild(const std::filesystem::path& dir, const std::string& mode, const std::string& pcm, std::string& log) {
  const auto config = dir / (mode + ".conf"), output = dir / (mode + ".log"), supp = dir / "lsan.supp";
  std::ofstream(config) << "</usr/share/alsa/alsa.conf>\n" << pcm;
  // The sound libraries keep their configuration caches until exit.
  std::ofstream(supp) << "leak:libasound\nleak:libportaudio\nleak:libQt6\nleak:libfontconfig\nleak:libglib\n";
  const std::string command = "env ALSA_CONFIG_PATH='" + config.string() + "' QUOR_AUDIO_CAPTURE_CHILD=" + mode +
                              " LSAN_OPTIONS=suppressions='" + supp.string() + "' timeout -s KILL 60 '" +
                              std::filesystem::read_symlink("/proc/self/exe").string() +
                              "' --gtest_filter='AudioCaptureChildProcess.*' >'" + output.string() + "' 2>&1";
  const int status = std::system(command.c_str());
  std::stringstream text;
  text << std::ifstream(output).rdbuf();
  log = text.str();
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(AudioCapture, ThroughAlsaDevices) {
  std::string pattern = (std::filesystem::temp_directory_path() / "quor-audio-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::filesystem::path dir = pattern, tone = dir / "tone.raw";
  std::ofstream toneFile(tone, std::ios::binary);  // 2 s full-scale 1000 Hz, stereo, 16-bit LE
  for (int i = 0; i < 2 * kAudioSampleRate; ++i) {
    const auto v = static_cast<uint16_t>(
        static_cast<int16_t>(32767.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * i / kAudioSampleRate)));
    const char frame[4] = {char(v & 0xFF), char(v >> 8), char(v & 0xFF), char(v >> 8)};
    toneFile.write(frame, 4);
  }
  toneFile.close();
  std::string log;
  EXPECT_EQ(RunChild(dir, "tone",
                     "pcm.!default { type file slave.pcm \"null\" file \"/dev/null\" infile \"" + tone.string() +
                         "\" format \"raw\" }\n", log), 0) << log;
  // A default PCM on a missing card: no input device (only where no sound card stands in).
  if (!std::filesystem::exists("/dev/snd")) {
    EXPECT_EQ(RunChild(dir, "none", "pcm.!default { type hw card 97 }\nctl.!default { type hw card 97 }\n", log), 0)
        << log;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quor
