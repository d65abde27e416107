// Every built-in generator's settings block: the byte layout stored scenes
// hold, what each field means once loaded, a store giving back the loaded
// bytes while leaving the rest of the block alone, and a destroyed generator
// that neither a load nor a render brings back to drawing.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "generator_rig.h"
#include "generators/builtin_dialogs.h"
#include "generators/builtin_generators.h"
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

template <class G, class F>
Reads Read(F f) {
  return [f](Generator& g) { return f(dynamic_cast<G&>(g)); };
}

std::string W(std::initializer_list<int32_t> words) {
  const Bytes b = test::LittleEndian(words);
  return std::string(b.begin(), b.end());
}

std::string F32(float value) {
  std::string s(4, '\0');
  std::memcpy(s.data(), &value, 4);
  return s;
}

// The type's `size` bytes: zero but for the pieces at their offsets.
Bytes Layout(size_t size, const std::vector<std::pair<size_t, std::string>>& pieces) {
  Bytes b(size, 0);
  for (const auto& [at, piece] : pieces) std::memcpy(&b[at], piece.data(), piece.size());
  return b;
}

// Red, green, blue (and the auto colour mode) of every colour group the
// dialog shows, in the dialog's order.
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

std::vector<Case> Cases() {
  const std::string path = "/nonexistent/quor.png";
  return {
      {1, Layout(16, {{0, W({77, 5, 3, 100})}}),  // zoom, palette, style, speed
       Read<PlasmaGenerator>([](auto& g) { return std::vector{g.zoom(), g.palette(), g.style(), g.speed()}; }),
       {77, 5, 3, 100}},
      {2, Layout(8, {{0, W({77, 2})}}),  // hotspots, hotspot size
       Read<FireGenerator>([](auto& g) { return std::vector{g.hotspots(), g.hotspotSize()}; }), {77, 2}},
      // lines, half waves, audio, gain, then red, green, blue of curves 1..3
      {3, Layout(52, {{0, W({3, 7, 1, 33, 1, 2, 3, 4, 5, 6, 7, 8, 9})}}),
       Read<SineLinesGenerator>([](auto& g) { return std::vector<int>{g.lines(), g.waves(), g.audio(), g.gain()}; }),
       {3, 7, 1, 33, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
      // mode, auto colour mode, fade, red, green, blue, count, beam, phase, corners
      {4, Layout(40, {{0, W({3, 1, 40, 7, 8, 9, 4, 33, 120, 12})}}), Read<SimpleLinesGenerator>([](auto& g) {
         return std::vector{g.mode(), g.fade(), g.count(), g.beam(), g.phase(), g.corners()};
       }),
       {3, 40, 4, 33, 120, 12, 7, 8, 9, 1}},
      // text and font (255 bytes each), size (float), position, bold, italic, antialias, mode, red, green,
      // blue, sine wave, wave width and height, alignment, auto colour mode, perspective, angle, fade
      {5,
       Layout(578, {{0, "Hello"}, {255, "Courier New"}, {510, F32(33.5f)},
                    {514, W({40, 1, 1, 0, 2, 10, 20, 30, 1, 4, 20, 2, 1, 1, 30, 40})}}),
       Read<ScrollingTextGenerator>([](auto& g) {
         const ColorGroup& c = g.colorGroup();
         return std::vector<int>{g.text() == "Hello", g.fontName() == "Courier New", g.scrollMode(), c.color.r,
                                 c.color.g, c.color.b, c.autoColorMode};
       }),
       {1, 1, 2, 10, 20, 30, 1}},
      // path (255 bytes), resize, centre, keep aspect, slideshow, seconds, timed, audio, trigger gain,
      // threshold per cent, threshold, low and high band, smooth, zoom
      {6, Layout(311, {{0, path}, {255, W({0, 1, 0, 1, 7, 0, 1, 1300, 60, 800, 3, 40, 1, 1})}}),
       Read<ImageViewerGenerator>([path](auto& g) {
         const ImagePlacement& p = g.placement();
         return std::vector<int>{g.path() == path, p.resize, p.centre, p.keepAspect, g.slideshow(), g.time(),
                                 g.timed(), g.audio(), p.smooth, p.zoom};
       }),
       {1, 0, 1, 0, 1, 7, 0, 1, 1, 1}},
      {7, Layout(16, {{0, W({1, 200, 3, 2})}}), Read<Generator>([](auto&) { return std::vector<int>{}; }),
       {1, 200, 3, 2}},  // red, green, blue, auto colour mode
      // times on and off, trigger on, gain, threshold per cent, threshold, low and high band, red, green, blue,
      // auto colour mode
      {8, Layout(48, {{0, W({3, 4, 1, 7000, 100, 300, 1, 178, 10, 20, 30, 1})}}), Read<StrobeGenerator>([](auto& g) {
         const AudioTrigger& t = g.audioTrigger();
         return std::vector<int>{g.timeOn(), g.timeOff(), g.AudioTriggerChecked(), t.gain, t.thresholdPercent,
                                 t.threshold, t.lowBand, t.highBand};
       }),
       {3, 4, 1, 7000, 100, 300, 1, 178, 10, 20, 30, 1}},
      // size, balls, auto colour mode, collision, red, green, blue
      {9, Layout(28, {{0, W({33, 50, 1, 0, 1, 2, 255})}}),
       Read<MetaballsGenerator>([](auto& g) { return std::vector<int>{g.size(), g.balls(), g.collision()}; }),
       {33, 50, 0, 1, 2, 255, 1}},
      // start, end, count, shape, auto colour mode, fade, audio trigger, trigger gain, threshold per cent,
      // threshold, low and high band, red, green, blue; text and font (255 bytes each); bold, italic,
      // antialias, random characters, symbol font: unaligned at 570
      {10,
       Layout(590, {{0, W({20, 100, 9, 3, 1, 0, 1, 3000, 40, 1200, 5, 60, 10, 20, 30})}, {60, "Hi"},
                    {315, "Wingdings"}, {570, W({0, 1, 0, 1, 1})}}),
       Read<ExpandingShapesGenerator>([](auto& g) {
         const AudioTrigger& t = g.trigger();
         return std::vector<int>{g.start(), g.end(), g.count(), g.shape(), g.fade(), g.audioTrigger(), t.gain,
                                 t.thresholdPercent, t.threshold, t.lowBand, t.highBand, g.text() == "Hi",
                                 g.fontName() == "Wingdings", g.bold(), g.italic(), g.antialias(),
                                 g.randomCharacters(), g.symbolFont()};
       }),
       {20, 100, 9, 3, 0, 1, 3000, 40, 1200, 5, 60, 1, 1, 0, 1, 0, 1, 1, 10, 20, 30, 1}},
      // bars with gap, bands, peak hold, mid and peak positions, gain, base, mid and peak colours, line
      // mode, line fill
      {11, Layout(68, {{0, W({0, 10, 0, 60, 85, 30, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 1})}}),
       Read<SpectrumAnalyzerGenerator>([](auto& g) {
         return std::vector<int>{g.barsWithGap(), g.bands(), g.peakHold(), g.midPosition(), g.peakPosition(),
                                 g.gain(), g.lineMode(), g.lineFill(), g.peakColor.r, g.peakColor.g, g.peakColor.b};
       }),
       {0, 10, 0, 60, 85, 30, 1, 1, 7, 8, 9}},
      {12, Layout(16, {{0, W({-5, 6, 700, 800})}}), Read<ScreenCaptureGenerator>([](auto& g) {
         const CaptureRectangle r = g.rectangle();
         return std::vector{r.left, r.top, r.right, r.bottom};
       }),
       {-5, 6, 700, 800}},
      // drops, length, direction, red, green, blue, auto colour mode
      {13, Layout(28, {{0, W({60, 45, 3, 10, 20, 30, 1})}}),
       Read<FallingRainGenerator>([](auto& g) { return std::vector{g.drops(), g.length(), g.direction()}; }),
       {60, 45, 3, 10, 20, 30, 1}},
      {14, Layout(20, {{0, W({70, 9, 6, 9, 1})}}),  // zoom, speed, palette, style, reverse
       Read<ColorScrollGenerator>([](auto& g) {
         return std::vector<int>{g.zoom(), g.speed(), g.palette(), g.style(), g.ReverseChecked(), g.ZoomPosition()};
       }),
       {70, 9, 6, 9, 1, 30}},
      // mode, band width, fade, red, green, blue, auto colour mode, offset
      {15, Layout(32, {{0, W({3, 12, 34, 1, 2, 3, 1, 50})}}), Read<RadarGenerator>([](auto& g) {
         return std::vector{g.mode(), g.bandWidth(), g.fade(), g.offset()};
       }),
       {3, 12, 34, 50, 1, 2, 3, 1}},
      // red, green, blue, auto colour mode, stars, trails, zoom, speed
      {16, Layout(32, {{0, W({9, 8, 7, 2, 55, 0, 140, 12})}}),
       Read<StarfieldGenerator>([](auto& g) { return std::vector<int>{g.stars(), g.trails(), g.zoom(), g.speed()}; }),
       {55, 0, 140, 12, 9, 8, 7, 2}},
      {17, Layout(256, {{0, "show.qrr"}, {255, "\x01"}}),  // file name (255 bytes), smooth resize
       Read<FilePlayerGenerator>([](auto& g) { return std::vector<int>{g.fileName() == "show.qrr", g.smoothResize()}; }),
       {1, 1}},
      // count, fade, size, random colour, red, green, blue, auto colour mode
      {18, Layout(32, {{0, W({42, 99, 3, 1, 4, 5, 6, 2})}}), Read<FadingPixelsGenerator>([](auto& g) {
         return std::vector<int>{g.count(), g.fade(), g.size(), g.randomColor()};
       }),
       {42, 99, 3, 1, 4, 5, 6, 2}},
  };
}

TEST(SettingsBlocks, EveryTypeLoadsItsLayoutStoresItBackAndLeavesTheRestAlone) {
  std::vector<int> seen;
  for (const Case& c : Cases()) {
    SCOPED_TRACE("type " + std::to_string(c.type));
    seen.push_back(c.type);
    test::GeneratorHarness harness;
    std::unique_ptr<Generator> g = BuiltinGenerators().FactoryFor(c.type)(harness.context);
    if (c.type != 12) {  // one Screen Capture at a time; loads need none
      ASSERT_TRUE(g->Create(16, 8));
    }
    SettingsBlock block;
    block.fill(0xA5);
    std::ranges::copy(c.layout, block.begin());
    g->ExchangeSettings(block, SettingsDirection::kLoad);
    std::vector<int> got = c.read(*g);
    for (int v : DialogColours(c.type, *g)) got.push_back(v);
    EXPECT_EQ(got, c.want);
    SettingsBlock stored;
    stored.fill(0x5A);
    g->ExchangeSettings(stored, SettingsDirection::kStore);
    EXPECT_EQ(Bytes(stored.begin(), stored.begin() + long(c.layout.size())), c.layout);
    EXPECT_EQ(Bytes(stored.begin() + long(c.layout.size()), stored.end()),
              Bytes(stored.size() - c.layout.size(), 0x5A));  // the rest is not this type's

    // Types holding buffers release them on Destroy; a render then leaves
    // the frame alone (the Image Viewer shows black).
    g->Destroy();
    test::Frame frame(16, 8, 0x33);
    g->Render(frame.bytes.data(), 16, 8);
    if (c.type == 6 || std::set{2, 3, 4, 9, 10, 11, 13, 16}.contains(c.type)) {
      EXPECT_EQ(frame.bytes, Bytes(16 * 8 * 3, c.type == 6 ? 0 : 0x33));
    }
  }
  std::vector<int> registered;
  for (int type = 1; type <= kMaxGeneratorType; ++type)
    if (BuiltinGenerators().IsRegistered(type)) registered.push_back(type);
  EXPECT_EQ(seen, registered) << "a new generator type needs its row here";
}

}  // namespace
}  // namespace quor
