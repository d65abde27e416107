// Helpers shared by the tests.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/console.h"

namespace quor::test {

// Collects everything written to a Console for inspection.
class ConsoleCapture {
 public:
  explicit ConsoleCapture(Console& console);
  ~ConsoleCapture();
  std::string Text() const;
  // Number of occurrences of `needle` in everything captured so far.
  int Count(const std::string& needle) const;
  void Clear();

 private:
  Console& console_;
  mutable std::mutex mutex_;
  std::string text_;
};

// A folder below the build tree, emptied for each test that asks for it.
std::string FreshTestDir(const std::string& name);
// The whole of the file at `path` (empty when it cannot be read).
std::vector<uint8_t> ReadFileBytes(const std::string& path);

// Runs `work` on a thread of its own. If it has not returned within
// `limitMs` the program ends with a message naming `what`: a deadlock
// cannot be undone, and the test must not hang the suite.
void FinishesWithin(int limitMs, const char* what, const std::function<void()>& work);
// Looks at `condition` every millisecond until it holds (true) or `limitMs`
// has passed (false): for effects another thread brings about.
bool Eventually(const std::function<bool()>& condition, int limitMs = 5000);

}  // namespace quor::test

#include <atomic>

#include "core/generator.h"
#include "core/generator_registry.h"
#include "generators/generator_catalogue.h"

namespace quor { class Engine; }

namespace quor::test {

// Type ids the test registry serves.
inline constexpr int kSolidType = 7;     // fills the frame with the colour in its settings
inline constexpr int kFailingType = 9;   // Create always fails
inline constexpr int kUnregisteredType = 14;

// Paints the whole frame in one colour (settings block bytes 0..2) and
// counts its calls; notices two Renders running at once.
class SolidGenerator : public Generator {
 public:
  bool Create(int width, int height) override;
  void Render(const Canvas& canvas) override;
  void Destroy() override { destroys.fetch_add(1); }
  void ExchangeSettings(SettingsBlock& block, SettingsDirection direction) override;

  uint8_t color[3] = {10, 20, 30};
  std::atomic<int> creates{0};
  std::atomic<int> renders{0};
  std::atomic<int> destroys{0};
  std::atomic<int> overlaps{0};
  int createdWidth = 0;
  int createdHeight = 0;

 private:
  std::atomic<int> inRender_{0};
};

// None / Blackout plus the two test types above.
const GeneratorRegistry& TestRegistry();
// The SolidGenerator bound to `slot` of `engine` (nullptr if another type).
SolidGenerator* SolidIn(Engine& engine, int slot);

}  // namespace quor::test

#include "audio/audio_analyzer.h"
#include "core/random_source.h"
#include "generators/color.h"

namespace quor::test {

// Everything a generator needs from the engine, for testing one generator
// on its own: a fixed random seed, a silent sound input, PixelStep 1.
struct GeneratorHarness {
  explicit GeneratorHarness(uint32_t seed = 1) : random(seed) {}
  Console console;
  RandomSource random;
  ColorWheel sharedWheel;
  std::atomic<int> pixelStep{1};
  AudioAnalyzer audio;
  GeneratorContext context{console, random, sharedWheel, pixelStep, audio};
};

}  // namespace quor::test

namespace quor::test {

// A UDP port on 127.0.0.1 that nobody listens on right now.
int FreeLoopbackPort();

// A UDP socket that sends datagrams to 127.0.0.1:`port` only.
class LoopbackSender {
 public:
  explicit LoopbackSender(int port);
  ~LoopbackSender();
  LoopbackSender(const LoopbackSender&) = delete;
  LoopbackSender& operator=(const LoopbackSender&) = delete;
  // True when the system took the whole datagram.
  bool Send(const std::vector<uint8_t>& bytes);

 private:
  int fd_;
  int port_;
};

}  // namespace quor::test
