// Every built-in generator's settings block: the byte layout stored scenes hold and what each field means once loaded.
#include <cstring>
#include <functional>
#include <set>
#include <span>

#include "generator_rig.h"
#include "generators/generator_catalogue.h"
#include "generators/color_scroll.h"
#include "generators/expanding_shapes.h"
#include "generators/fading_pixels.h"
#include "generators/falling_rain.h"
#include "generators/file_player.h"
#include "generators/fire.h"
#include "generators/image_viewer.h"
#include "generators/metaballs.h"
#include "generators/plasma.h"
#include "generators/radar.h"
#include "generators/screen_capture.h"
#include "generators/scrolling_text.h"
#include "generators/simple_lines.h"
#include "generators/sine_lines.h"
#include "generators/spectrum_analyzer.h"
#include "generators/starfield.h"
#include "generators/strobe.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;
using Reads = std::function<std::vector<int>(Generator&)>;

// What the fields of a generator of type G read once loaded.
#define READ(G, ...) \
  [](Generator& base) { [[maybe_unused]] auto& g = dynamic_cast<G&>(base); return std::vector<int>{__VA_ARGS__}; }

std::string W(std::initializer_list<int32_t> words) {
  const Bytes b = test::LittleEndian(words);
  return std::string(b.begin(), b.end());
}

// The type's `size` bytes: zero but for the pieces at their offsets.
Bytes Layout(size_t size, const std::vector<std::pair<size_t, std::string>>& pieces) {
  Bytes b(size, 0);
  for (const auto& [at, piece] : pieces) std::memcpy(&b[at], piece.data(), piece.size());
  return b;
}

// Red, green, blue (and the auto colour mode) of every colour group the dialog shows, in the dialog's order.
std::vector<int> DialogColours(int type, const Generator& g) {
  std::vector<int> out;
  const SettingsDialogTable* table = SettingsDialogFor(type);
  for (const DialogControl& c : table != nullptr ? table->controls : std::span<const DialogControl>{}) {
    if (c.kind != ControlKind::kColorGroup) continue;
    const Rgb rgb = c.color.get(g);
    out.insert(out.end(), {rgb.r, rgb.g, rgb.b});
    if (c.color.getMode != nullptr) out.push_back(c.color.getMode(g));
  }
  return out;
}

struct Case {
  int type;
  Bytes layout;
  Reads read;
  std::vector<int> want;  // what `read` gives, then DialogColours
};

// Words hold the numbers in the order the getters name them, colours as red, green, blue and auto colour mode; texts
// are 255-byte fields.
std::vector<Case> Cases() {
  float size = 33.5f;
  std::string f32(4, '\0');
  std::memcpy(f32.data(), &size, 4);
  return {
      {1, Layout(16, {{0, W({77, 5, 3, 100})}}), READ(PlasmaGenerator, g.zoom(), g.palette(), g.style(), g.speed()),
       {77, 5, 3, 100}},
      {2, Layout(8, {{0, W({77, 2})}}), READ(FireGenerator, g.hotspots(), g.hotspotSize()), {77, 2}},
      {3, Layout(52, {{0, W({3, 7, 1, 33, 1, 2, 3, 4, 5, 6, 7, 8, 9})}}),  // three curve colours
       READ(SineLinesGenerator, g.lines(), g.waves(), g.audio(), g.gain()), {3, 7, 1, 33, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {4, Layout(40, {{0, W({3, 1, 40, 7, 8, 9, 4, 33, 120, 12})}}),  // auto colour mode before the colour
       READ(SimpleLinesGenerator, g.mode(), g.fade(), g.count(), g.beam(), g.phase(), g.corners()),
       {3, 40, 4, 33, 120, 12, 7, 8, 9, 1}},
      // text, font, size (float), position, bold, italic, antialias, mode, colour, sine wave, wave width and height,
      // alignment, auto colour mode, perspective, angle, fade
      {5,
       Layout(578, {{0, "Hello"}, {255, "Courier New"}, {510, f32},
                    {514, W({40, 1, 1, 0, 2, 10, 20, 30, 1, 4, 20, 2, 1, 1, 30, 40})}}),
       READ(ScrollingTextGenerator, g.text() == "Hello", g.fontName() == "Courier New", g.scrollMode()),
       {1, 1, 2, 10, 20, 30, 1}},
      // path, resize, centre, keep aspect, slideshow, seconds, timed, audio, trigger (gain, threshold per cent,
      // threshold, low and high band), smooth, zoom
      {6, Layout(311, {{0, "/nonexistent/quor.png"}, {255, W({0, 1, 0, 1, 7, 0, 1, 1300, 60, 800, 3, 40, 1, 1})}}),
       READ(ImageViewerGenerator, g.path() == "/nonexistent/quor.png", g.placement().resize, g.placement().centre,
            g.placement().keepAspect, g.slideshow(), g.time(), g.timed(), g.audio(), g.placement().smooth,
            g.placement().zoom),
       {1, 0, 1, 0, 1, 7, 0, 1, 1, 1}},
      {7, Layout(16, {{0, W({1, 200, 3, 2})}}), READ(Generator), {1, 200, 3, 2}},
      {8, Layout(48, {{0, W({3, 4, 1, 7000, 100, 300, 1, 178, 10, 20, 30, 1})}}),
       READ(StrobeGenerator, g.timeOn(), g.timeOff(), g.AudioTriggerChecked(), g.audioTrigger().gain,
            g.audioTrigger().thresholdPercent, g.audioTrigger().threshold, g.audioTrigger().lowBand,
            g.audioTrigger().highBand),
       {3, 4, 1, 7000, 100, 300, 1, 178, 10, 20, 30, 1}},
      {9, Layout(28, {{0, W({33, 50, 1, 0, 1, 2, 255})}}),  // auto colour mode before collision and colour
       READ(MetaballsGenerator, g.size(), g.balls(), g.collision()), {33, 50, 0, 1, 2, 255, 1}},
      // start, end, count, shape, auto colour mode, fade, audio trigger, trigger, colour; text, font; bold, italic,
      // antialias, random characters, symbol font (unaligned at 570)
      {10,
       Layout(590, {{0, W({20, 100, 9, 3, 1, 0, 1, 3000, 40, 1200, 5, 60, 10, 20, 30})}, {60, "Hi"},
                    {315, "Wingdings"}, {570, W({0, 1, 0, 1, 1})}}),
       READ(ExpandingShapesGenerator, g.start(), g.end(), g.count(), g.shape(), g.fade(), g.audioTrigger(),
            g.trigger().gain, g.trigger().thresholdPercent, g.trigger().threshold, g.trigger().lowBand,
            g.trigger().highBand, g.text() == "Hi", g.fontName() == "Wingdings", g.bold(), g.italic(),
            g.antialias(), g.randomCharacters(), g.symbolFont()),
       {20, 100, 9, 3, 0, 1, 3000, 40, 1200, 5, 60, 1, 1, 0, 1, 0, 1, 1, 10, 20, 30, 1}},
      // bars with gap, bands, peak hold, mid and peak positions, gain, base, mid and peak colours, line mode and fill
      {11, Layout(68, {{0, W({0, 10, 0, 60, 85, 30, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 1})}}),
       READ(SpectrumAnalyzerGenerator, g.barsWithGap(), g.bands(), g.peakHold(), g.midPosition(), g.peakPosition(),
            g.gain(), g.lineMode(), g.lineFill()),
       {0, 10, 0, 60, 85, 30, 1, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {12, Layout(16, {{0, W({-5, 6, 700, 800})}}),
       READ(ScreenCaptureGenerator, g.rectangle().left, g.rectangle().top, g.rectangle().right, g.rectangle().bottom),
       {-5, 6, 700, 800}},
      {13, Layout(28, {{0, W({60, 45, 3, 10, 20, 30, 1})}}),
       READ(FallingRainGenerator, g.drops(), g.length(), g.direction()), {60, 45, 3, 10, 20, 30, 1}},
      {14, Layout(20, {{0, W({70, 9, 6, 9, 1})}}),
       READ(ColorScrollGenerator, g.zoom(), g.speed(), g.palette(), g.style(), g.ReverseChecked()),
       {70, 9, 6, 9, 1}},
      {15, Layout(32, {{0, W({3, 12, 34, 1, 2, 3, 1, 50})}}),  // the colour before the offset
       READ(RadarGenerator, g.mode(), g.bandWidth(), g.fade(), g.offset()), {3, 12, 34, 50, 1, 2, 3, 1}},
      {16, Layout(32, {{0, W({9, 8, 7, 2, 55, 0, 140, 12})}}),  // the colour first
       READ(StarfieldGenerator, g.stars(), g.trails(), g.zoom(), g.speed()), {55, 0, 140, 12, 9, 8, 7, 2}},
      {17, Layout(256, {{0, "show.qrr"}, {255, "\x01"}}),  // file name, smooth resize
       READ(FilePlayerGenerator, g.fileName() == "show.qrr", g.smoothResize()), {1, 1}},
      {18, Layout(32, {{0, W({42, 99, 3, 1, 4, 5, 6, 2})}}),
       READ(FadingPixelsGenerator, g.count(), g.fade(), g.size(), g.randomColor()), {42, 99, 3, 1, 4, 5, 6, 2}},
      {19, Layout(258, {{0, "/nonexistent/clip.mp4"}, {255, "\x01\x02\xFE"}}),  // path, ping-pong, zoom, speed 1/2
       READ(VideoPlayerGenerator, g.path() == "/nonexistent/clip.mp4", g.mode(), g.placement(), g.speedStep()),
       {1, 1, 2, -2}}};
}

// The case's layout loaded over `fill` bytes into a generator created at 16 x 8 (Screen Capture loads uncreated).
std::unique_ptr<Generator> LoadAndCheck(const Case& c, test::GeneratorHarness& harness, uint8_t fill) {
  std::unique_ptr<Generator> g = BuiltinGenerators().FactoryFor(c.type)(harness.context);
  EXPECT_TRUE(c.type == 12 || g->Create(16, 8));
  SettingsBlock block;
  block.fill(fill);
  std::ranges::copy(c.layout, block.begin());
  g->ExchangeSettings(block, SettingsDirection::kLoad);
  std::vector<int> got = c.read(*g);
  for (int v : DialogColours(c.type, *g)) got.push_back(v);
  EXPECT_EQ(got, c.want);
  return g;
}

TEST(SettingsBlocks, EveryTypeLoadsItsLayoutStoresItBackAndLeavesTheRestAlone) {
  std::vector<int> seen;
  for (const Case& c : Cases()) {
    SCOPED_TRACE("type " + std::to_string(c.type));
    seen.push_back(c.type);
    test::GeneratorHarness harness;
    const std::unique_ptr<Generator> g = LoadAndCheck(c, harness, 0xA5);
    SettingsBlock stored;
    stored.fill(0x5A);
    g->ExchangeSettings(stored, SettingsDirection::kStore);
    EXPECT_EQ(Bytes(stored.begin(), stored.begin() + long(c.layout.size())), c.layout);
    EXPECT_EQ(Bytes(stored.begin() + long(c.layout.size()), stored.end()),
              Bytes(stored.size() - c.layout.size(), 0x5A));  // the rest is not this type's

    // Types holding buffers release them on Destroy; a render then leaves the frame alone (the Image Viewer shows
    // black).
    g->Destroy();
    test::Frame frame(16, 8, 0x33);
    g->Render({frame.bytes.data(), 16, 8});
    if (std::set{2, 3, 4, 6, 9, 10, 11, 13, 16}.contains(c.type)) {
      EXPECT_EQ(frame.bytes, Bytes(16 * 8 * 3, c.type == 6 ? 0 : 0x33));
    }
  }
  for (int type = 1; type <= kMaxGeneratorType; ++type)
    EXPECT_EQ(BuiltinGenerators().IsRegistered(type), std::ranges::count(seen, type) == 1) << "a row for type " << type;
}

// Values no dialog produces (huge, negative, unknown) that would divide by zero, overflow or allocate without bound
// come back into range at the load; forty frames then render without fault (the sanitizer builds check).
TEST(SettingsBlocks, DamagedBlocksAreRepairedAtTheLoad) {
  const int small = FireGenerator::kSmallHotspots, big = 2000000000;
  const Case cases[] = {
      // Speeds outside 1..100 load as 50; any zoom keeps the fields finite; an unknown palette is Classic.
      {1, Layout(16, {{0, W({INT_MIN, -7, 0, 0})}}), READ(PlasmaGenerator, g.speed(), g.paletteEntry(0).g), {50, 0}},
      {1, Layout(16, {{0, W({INT_MAX, 6, 0, 101})}}), READ(PlasmaGenerator, g.speed(), g.paletteEntry(0).r), {50, 255}},
      {1, Layout(16, {{0, W({-3, 0, 0, 50})}}), READ(PlasmaGenerator, g.speed()), {50}},
      // An unknown size (a modulo by zero or less) is Small.
      {2, Layout(8, {{0, W({-5, 0})}}), READ(FireGenerator, g.hotspots(), g.hotspotSize()), {0, small}},
      {2, Layout(8, {{0, W({50, -1})}}), READ(FireGenerator, g.hotspots(), g.hotspotSize()), {50, small}},
      // A gain that would overflow the band amplitudes.
      {3, Layout(16, {{0, W({9, 2, 0, big})}}), READ(SineLinesGenerator, g.gain()), {50, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      // A beam of 90 would make the spotlight period 0, a negative fade the fade step's divisor 0.
      {4, Layout(40, {{0, W({3, 0, -100, 255, 255, 255, 0, 90, -7, 0x1F})}}),
       READ(SimpleLinesGenerator, g.fade(), g.count(), g.beam(), g.phase(), g.corners()),
       {0, 1, 60, 0, 15, 255, 255, 255, 0}},
      // Size 0, a negative ball count, colours outside a byte; sizes that would overflow the kernel arithmetic.
      {9, Layout(28, {{0, W({0, -40, 2, 1, -7, 256, 100000})}}),
       READ(MetaballsGenerator, g.size(), int(g.ballList().size())), {1, 1, 0, 255, 255, 2}},
      {9, Layout(16, {{0, W({big, big, 0, 1})}}), READ(MetaballsGenerator, g.size(), g.balls()), {100, 100, 0, 0, 0, 0}},
      // Negative drops, a length making L = 8 * 3 * -5 / 100 + 1 = 0, an unknown direction.
      {13, Layout(28, {{0, W({-50, -5, 9, 0, -1, 999, 0})}}),
       READ(FallingRainGenerator, g.length(), g.direction(), int(g.dropList().size())),
       {0, FallingRainGenerator::kTopToBottom, 1, 0, 0, 255, 0}},
      // Zoom and speed that would drive the index and offset past int.
      {14, Layout(20, {{0, W({INT_MAX, INT_MIN, 4, 6, 0})}}), READ(ColorScrollGenerator, g.zoom(), g.speed()), {100, 1}},
      {14, Layout(20, {{0, W({-5, INT_MAX, 4, 6, 0})}}), READ(ColorScrollGenerator, g.zoom(), g.speed()), {1, 20}},
      // Offset above 100 becomes 0; width and fade back into 0..100 (a fade of -1 divides the trail step by zero).
      {15, Layout(32, {{0, W({0, 5000, -1, 255, 0, 0, 0, 101})}}),
       READ(RadarGenerator, g.offset(), g.position(), g.bandWidth(), g.fade()), {0, 0, 100, 0, 255, 0, 0, 0}},
      // Speed -10 would make the brightness divide by 0; zoom and star count out of range.
      {16, Layout(32, {{0, W({1, 2, 3, 0, 5000, 1, 100000, -10})}}),
       READ(StarfieldGenerator, g.stars(), g.zoom(), g.speed()), {100, 150, 1, 1, 2, 3, 0}},
      // A huge count and size would overflow the pixel arithmetic, fade 0 would leave the picture standing.
      {18, Layout(32, {{0, W({big, 0, INT_MAX, 0, 300, -4, 0, 0})}}),
       READ(FadingPixelsGenerator, g.count(), g.fade(), g.size()), {100, 1, 10, 255, 0, 0, 0}},
      // An unknown mode and placement and a speed step past 4 x fall back to the defaults.
      {19, Layout(258, {{0, "x"}, {255, "\x03\xFF\x06"}}),
       READ(VideoPlayerGenerator, g.mode(), g.placement(), g.speedStep()), {0, 0, 0}}};
  for (const Case& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type));
    test::GeneratorHarness harness;
    const std::unique_ptr<Generator> g = LoadAndCheck(c, harness, 0);
    test::Frame frame(16, 8);
    for (int n = 0; n < 40; ++n) g->Render({frame.bytes.data(), 16, 8});
    g->Destroy();
  }
}

}  // namespace
}  // namespace quor
