#include "generators/expanding_shapes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/byte_io.h"
#include "tests/test_support.h"

namespace quor {
namespace {

using Shapes = ExpandingShapesGenerator;

struct ShapesRig {
  ShapesRig(int w, int h, uint32_t seed = 7)
      : harness(seed), width(w), height(h), frame(static_cast<size_t>(w) * h * 3, 0) {
    EXPECT_TRUE(shapes.Create(w, h));
    shapes.SetAutoColorMode(0);
  }
  void Render() { shapes.Render(frame.data(), width, height); }
  Rgb At(int x, int y) const {
    const uint8_t* p = &frame[(static_cast<size_t>(y) * width + x) * 3];
    return {p[0], p[1], p[2]};
  }
  // Renders `frames` frames and adds up the lit pixels.
  int LitOver(int frames) {
    int n = 0;
    for (int i = 0; i < frames; ++i) {
      Render();
      for (int p = 0; p < width * height; ++p) n += At(p % width, p / width) != Rgb{};
    }
    return n;
  }
  bool AllWaiting() const {
    for (const auto& shape : shapes.shapes())
      if (shape.phase != Shapes::kWaitingForBeat) return false;
    return true;
  }
  test::GeneratorHarness harness;
  ExpandingShapesGenerator shapes{harness.context};
  int width;
  int height;
  std::vector<uint8_t> frame;
};

TEST(ExpandingShapesRender, ShapesWaitGrowFadeAndRespawn) {
  // 20 x 20: m = 20, s0 = (30 * 10) / 100 = 3, s1 = (10 * 117) / 100 = 11
  // (clipped past half the matrix), span = 9, fade step = 255 / 9 = 28.
  ShapesRig rig(20, 20);
  rig.shapes.SetCount(1);
  std::vector<int> reds;
  bool respawned = false;
  for (int frame = 0; frame < 60 && !respawned; ++frame) {
    const Shapes::ShapeRecord before = rig.shapes.shapes()[0];
    const int lit = rig.LitOver(1);
    if (before.phase < 20) {  // still waiting: nothing drawn
      EXPECT_EQ(lit, 0) << "phase " << before.phase;
      respawned = !reds.empty();
      continue;
    }
    // Open rectangle of half-edge d around (x, y): a corner lit, the centre dark.
    const int d = 3 + before.phase - 20;
    int red = 0;  // every lit pixel has the shape's colour
    for (int p = 0; p < 400; ++p) red = std::max<int>(red, rig.At(p % 20, p / 20).r);
    reds.push_back(red);
    EXPECT_EQ(rig.At(before.x, before.y), Rgb{});
    if (before.x + d < 20 && before.y + d < 20) {
      EXPECT_NE(rig.At(before.x + d, before.y + d), Rgb{});
    }
  }
  // Phases 20..28 show: full red for 20 and 21, then 255 - (phase - 21) * 28;
  // phase 29 = span + m respawns.
  EXPECT_EQ(reds, (std::vector<int>{255, 255, 227, 199, 171, 143, 115, 87, 59}));
  EXPECT_TRUE(respawned);
}

TEST(ExpandingShapesRender, AudioTriggerStartsOneShapePerRisingBeat) {
  ShapesRig rig(16, 16);
  rig.shapes.SetAudioTrigger(true);
  rig.shapes.SetCount(5);  // rebuild: every shape waits for a beat
  // Silence stays below the threshold 900: nothing shows, the index cycles.
  EXPECT_EQ(rig.LitOver(52), 0);
  EXPECT_EQ(rig.shapes.nextTriggeredShape(), 52 % 5);
  EXPECT_TRUE(rig.AllWaiting());
  // Threshold 0 fires in silence; only the rising edge starts a shape, the
  // one the index points at (2).
  rig.shapes.trigger().threshold = 0;
  EXPECT_GT(rig.LitOver(6), 0);
  for (size_t i = 0; i < rig.shapes.shapes().size(); ++i) {
    EXPECT_EQ(rig.shapes.shapes()[i].phase != Shapes::kWaitingForBeat, i == 2) << i;
  }
  // Switching the trigger off lets the waiting shapes run again.
  rig.shapes.SetAudioTrigger(false);
  for (const auto& shape : rig.shapes.shapes()) EXPECT_TRUE(shape.phase >= 0 && shape.phase < 16 + 9);
}

TEST(ExpandingShapesRender, ShapeKindsAndText) {
  // Same seed, so the same shape records; filled kinds cover more than their
  // outlines, and an unknown kind draws the open rectangle.
  auto litFor = [](int kind) {
    ShapesRig rig(32, 32, 11);
    rig.shapes.SetShape(kind);
    rig.shapes.SetFade(false);
    return rig.LitOver(40);
  };
  const int openRectangle = litFor(Shapes::kOpenRectangle);
  EXPECT_GT(openRectangle, 0);
  EXPECT_GT(litFor(Shapes::kFilledRectangle), openRectangle);
  EXPECT_GT(litFor(Shapes::kFilledStar5), litFor(Shapes::kOpenStar5));
  EXPECT_EQ(litFor(42), openRectangle);
  for (int kind = 0; kind < 10; ++kind) EXPECT_GT(litFor(kind), 0) << "shape " << kind;

  // Random characters from an empty text show nothing; from "AB" each shape
  // holds one of its characters.
  for (const char* text : {"", "AB"}) {
    ShapesRig chars(32, 32);
    chars.shapes.SetShape(Shapes::kTextChars);
    chars.shapes.SetText(text);
    chars.shapes.SetRandomCharacters(true);
    chars.shapes.SetCount(5);
    EXPECT_EQ(chars.LitOver(60) > 0, text[0] != '\0') << text;
    if (text[0] == '\0') continue;
    for (const auto& shape : chars.shapes.shapes()) EXPECT_TRUE(shape.character == 'A' || shape.character == 'B');
    // The dialog keeps at most 253 characters; the symbol faces set the flag.
    chars.shapes.SetText(std::string(400, 'x'));
    EXPECT_EQ(chars.shapes.text().size(), 253u);
    chars.shapes.SetFont("Webdings");
    EXPECT_TRUE(chars.shapes.symbolFont());
    chars.shapes.SetFont("Tahoma");
    EXPECT_FALSE(chars.shapes.symbolFont());
  }
}

TEST(ExpandingShapesSettings, DialogEditsRebuildAndRestart) {
  ShapesRig rig(24, 16);
  rig.shapes.SetCount(0);
  EXPECT_EQ(rig.shapes.shapes().size(), 1u);
  // Start keeps the distance to end; end is set as start + offset.
  rig.shapes.SetStart(50);
  EXPECT_EQ(rig.shapes.end(), 137);
  rig.shapes.SetEndOffset(10);
  EXPECT_EQ(rig.shapes.end(), 60);
  rig.LitOver(30);
  rig.shapes.SetStart(40);
  for (const auto& shape : rig.shapes.shapes()) EXPECT_TRUE(shape.phase >= 0 && shape.phase < 16);  // m = 16
  // Destroy releases the records; Render then leaves the frame alone.
  rig.shapes.Destroy();
  EXPECT_TRUE(rig.shapes.shapes().empty());
  std::fill(rig.frame.begin(), rig.frame.end(), uint8_t{9});
  rig.Render();
  EXPECT_EQ(rig.At(5, 5), (Rgb{9, 9, 9}));
}

TEST(ExpandingShapesSettings, RoundTripAndRepairs) {
  ShapesRig rig(20, 20);
  rig.shapes.SetStart(20);
  rig.shapes.SetEndOffset(80);
  rig.shapes.SetCount(9);
  rig.shapes.SetShape(Shapes::kFilledCircle);
  rig.shapes.SetAutoColorMode(1);
  rig.shapes.SetFade(false);
  rig.shapes.SetAudioTrigger(true);
  rig.shapes.trigger() = AudioTrigger{3000, 40, 1200, 5, 60};
  rig.shapes.SetColor({10, 20, 30});
  rig.shapes.SetText("Hi");
  rig.shapes.SetFont("Wingdings");
  rig.shapes.SetBold(false);
  rig.shapes.SetItalic(true);
  rig.shapes.SetAntialias(false);
  rig.shapes.SetRandomCharacters(true);
  SettingsBlock block;
  block.fill(0xEE);
  rig.shapes.ExchangeSettings(block, SettingsDirection::kStore);
  // start, end, count, shape, auto colour mode, fade, audio trigger; trigger
  // gain, threshold per cent, threshold, low and high band; red, green, blue.
  const uint8_t words[60] = {20, 0, 0, 0, 100, 0, 0, 0, 9,    0,  0, 0, 3,  0, 0, 0, 1,  0, 0, 0,
                             0,  0, 0, 0, 1,   0, 0, 0, 0xb8, 11, 0, 0, 40, 0, 0, 0, 0xb0, 4, 0, 0,
                             5,  0, 0, 0, 60,  0, 0, 0, 10,   0,  0, 0, 20, 0, 0, 0, 30, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(block.data(), words, sizeof(words)));
  EXPECT_EQ(0, std::memcmp(&block[60], "Hi\0\0", 4));           // text, 255 bytes
  EXPECT_EQ(0, std::memcmp(&block[315], "Wingdings\0", 10));   // font, 255 bytes
  EXPECT_EQ(block[569], 0);
  // Bold, italic, antialias, random characters, symbol font: unaligned at 570.
  const uint8_t flags[21] = {0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0xEE};
  EXPECT_EQ(0, std::memcmp(&block[570], flags, sizeof(flags)));

  ShapesRig loaded(20, 20);
  loaded.shapes.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(loaded.shapes.shapes().size(), 9u);
  EXPECT_TRUE(loaded.AllWaiting());
  for (const auto& shape : loaded.shapes.shapes()) EXPECT_TRUE(shape.character == 'H' || shape.character == 'i');
  SettingsBlock again;
  again.fill(0xEE);
  loaded.shapes.ExchangeSettings(again, SettingsDirection::kStore);
  EXPECT_EQ(block, again);

  // Damage: end not above start (span 0 would divide by zero), a count far
  // out of range and a text without its NUL.
  ByteWriter out(block);
  for (int32_t word : {0, -5, 100000}) out.PutI32(word);
  std::memset(&block[60], 'z', 255);
  loaded.shapes.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(loaded.shapes.start(), 1);
  EXPECT_EQ(loaded.shapes.end(), 2);
  EXPECT_EQ(loaded.shapes.count(), 100);
  EXPECT_EQ(loaded.shapes.text(), std::string(254, 'z'));
  loaded.shapes.SetAudioTrigger(false);
  loaded.LitOver(5);
  loaded.shapes.ExchangeSettings(again, SettingsDirection::kStore);
  EXPECT_EQ(again[60 + 254], 0);
}

}  // namespace
}  // namespace quor
