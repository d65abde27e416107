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

using test::GeneratorHarness;
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
  int LitCount() const {
    int n = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) n += At(x, y) != Rgb{};
    return n;
  }
  // The colour of the first lit pixel (black when none).
  Rgb FirstLit() const {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if (At(x, y) != Rgb{}) return At(x, y);
    return {};
  }
  void SaveIfFailed(const std::string& name) const {
    if (::testing::Test::HasFailure()) test::SaveFrameForInspection(name, frame.data(), width, height);
  }

  GeneratorHarness harness;
  ExpandingShapesGenerator shapes{harness.context};
  int width;
  int height;
  std::vector<uint8_t> frame;
};

TEST(ExpandingShapesRender, ShapesWaitGrowFadeAndRespawn) {
  // 20 x 20: m = 20, s0 = (30 * 10) / 100 = 3, s1 = (10 * 117) / 100 = 11
  // (past half the matrix, so the largest shapes are clipped), span = 9,
  // fade step = 255 / 9 = 28.
  ShapesRig rig(20, 20);
  rig.shapes.SetCount(1);
  ASSERT_EQ(rig.shapes.shapes().size(), 1u);
  const int firstPhase = rig.shapes.shapes()[0].phase;
  ASSERT_GE(firstPhase, 0);
  ASSERT_LT(firstPhase, 20);

  std::vector<int> reds;
  bool respawned = false;
  for (int frame = 0; frame < 60 && !respawned; ++frame) {
    const Shapes::ShapeRecord before = rig.shapes.shapes()[0];
    rig.Render();
    if (before.phase < 20) {
      EXPECT_EQ(rig.LitCount(), 0) << "phase " << before.phase;
      if (!reds.empty()) respawned = true;
      continue;
    }
    const int d = 3 + before.phase - 20;
    reds.push_back(rig.FirstLit().r);
    // Open rectangle around (x, y): its corners lit where inside, the
    // centre dark.
    EXPECT_EQ(rig.At(before.x, before.y), Rgb{});
    const int cx = before.x + d;
    const int cy = before.y + d;
    if (cx < 20 && cy < 20) {
      EXPECT_NE(rig.At(cx, cy), Rgb{});
    }
  }
  // Phases 20..28 are visible: full red for phases 20 and 21, then 28 less
  // per frame (255 - (phase - 21) * 28); phase 29 = span + m respawns.
  EXPECT_EQ(reds, (std::vector<int>{255, 255, 227, 199, 171, 143, 115, 87, 59}));
  EXPECT_TRUE(respawned);
  rig.SaveIfFailed("expanding_shapes_phases");
}

TEST(ExpandingShapesRender, AudioTriggerStartsOneShapePerRisingBeat) {
  ShapesRig rig(16, 16);
  rig.shapes.SetAudioTrigger(true);
  rig.shapes.SetCount(5);  // rebuild: every shape waits for a beat
  for (const auto& shape : rig.shapes.shapes()) EXPECT_EQ(shape.phase, Shapes::kWaitingForBeat);

  // Silence never reaches the threshold 900: nothing shows, nothing moves,
  // and the index cycles once per frame.
  for (int i = 0; i < 52; ++i) {
    rig.Render();
    ASSERT_EQ(rig.LitCount(), 0);
  }
  EXPECT_EQ(rig.shapes.nextTriggeredShape(), 52 % 5);
  for (const auto& shape : rig.shapes.shapes()) EXPECT_EQ(shape.phase, Shapes::kWaitingForBeat);

  // Threshold 0 fires in silence; only the rising edge starts a shape, the
  // one the index points at (2).
  rig.shapes.trigger().threshold = 0;
  rig.Render();
  EXPECT_GT(rig.LitCount(), 0);
  for (int i = 0; i < 5; ++i) rig.Render();
  int running = 0;
  for (size_t i = 0; i < rig.shapes.shapes().size(); ++i) {
    if (rig.shapes.shapes()[i].phase != Shapes::kWaitingForBeat) {
      ++running;
      EXPECT_EQ(i, 2u);
    }
  }
  EXPECT_EQ(running, 1);

  // Switching the trigger off lets the waiting shapes run again.
  rig.shapes.SetAudioTrigger(false);
  for (const auto& shape : rig.shapes.shapes()) {
    EXPECT_GE(shape.phase, 0);
    EXPECT_LT(shape.phase, 16 + 9);
  }
  rig.SaveIfFailed("expanding_shapes_trigger");
}

TEST(ExpandingShapesRender, EveryShapeKindDraws) {
  // Same seed, so the same shape records for every kind; filled kinds cover
  // at least what their outlines do.
  std::vector<int> lit(10, 0);
  for (int kind = 0; kind < 10; ++kind) {
    ShapesRig rig(32, 32, 11);
    rig.shapes.SetShape(kind);
    rig.shapes.SetFade(false);
    for (int i = 0; i < 40; ++i) {
      rig.Render();
      lit[static_cast<size_t>(kind)] += rig.LitCount();
    }
    EXPECT_GT(lit[static_cast<size_t>(kind)], 0) << "shape " << kind;
    rig.SaveIfFailed("expanding_shapes_kind_" + std::to_string(kind));
  }
  EXPECT_GT(lit[Shapes::kFilledRectangle], lit[Shapes::kOpenRectangle]);
  EXPECT_GT(lit[Shapes::kFilledCircle], lit[Shapes::kOpenCircle]);
  EXPECT_GT(lit[Shapes::kFilledDiamond], lit[Shapes::kOpenDiamond]);
  EXPECT_GT(lit[Shapes::kFilledStar5], lit[Shapes::kOpenStar5]);
  EXPECT_GT(lit[Shapes::kFilledRectangle], lit[Shapes::kFilledCircle]);
  // An unknown kind draws the open rectangle.
  ShapesRig unknown(32, 32, 11);
  unknown.shapes.SetShape(42);
  unknown.shapes.SetFade(false);
  int unknownLit = 0;
  for (int i = 0; i < 40; ++i) {
    unknown.Render();
    unknownLit += unknown.LitCount();
  }
  EXPECT_EQ(unknownLit, lit[Shapes::kOpenRectangle]);
}

TEST(ExpandingShapesRender, TextAndRandomCharacters) {
  // Random characters from an empty text: nothing to show.
  ShapesRig empty(32, 32);
  empty.shapes.SetShape(Shapes::kTextChars);
  empty.shapes.SetText("");
  empty.shapes.SetRandomCharacters(true);
  empty.shapes.SetCount(5);
  int lit = 0;
  for (int i = 0; i < 60; ++i) {
    empty.Render();
    lit += empty.LitCount();
  }
  EXPECT_EQ(lit, 0);

  // With a text each shape holds one of its characters, and some show.
  ShapesRig chars(32, 32);
  chars.shapes.SetShape(Shapes::kTextChars);
  chars.shapes.SetText("AB");
  chars.shapes.SetRandomCharacters(true);
  chars.shapes.SetCount(5);
  for (const auto& shape : chars.shapes.shapes()) {
    EXPECT_TRUE(shape.character == 'A' || shape.character == 'B') << shape.character;
  }
  lit = 0;
  for (int i = 0; i < 60; ++i) {
    chars.Render();
    lit += chars.LitCount();
  }
  EXPECT_GT(lit, 0);
  for (const auto& shape : chars.shapes.shapes()) EXPECT_TRUE(shape.character == 'A' || shape.character == 'B');

  // The dialog keeps at most 253 characters; the symbol faces set the flag.
  chars.shapes.SetText(std::string(400, 'x'));
  EXPECT_EQ(chars.shapes.text().size(), 253u);
  chars.shapes.SetFont("Webdings");
  EXPECT_TRUE(chars.shapes.symbolFont());
  chars.shapes.SetFont("Tahoma");
  EXPECT_FALSE(chars.shapes.symbolFont());
  chars.SaveIfFailed("expanding_shapes_text");
}

TEST(ExpandingShapesSettings, DialogEditsRebuildAndRestart) {
  ShapesRig rig(24, 16);
  rig.shapes.SetCount(7);
  EXPECT_EQ(rig.shapes.shapes().size(), 7u);
  EXPECT_EQ(rig.shapes.busyState(), BusyStatus::kReady);
  rig.shapes.SetCount(0);
  EXPECT_EQ(rig.shapes.shapes().size(), 1u);

  // Start keeps the distance to end; end is set as start + offset.
  rig.shapes.SetStart(50);
  EXPECT_EQ(rig.shapes.end(), 137);
  rig.shapes.SetEndOffset(10);
  EXPECT_EQ(rig.shapes.end(), 60);
  EXPECT_EQ(rig.shapes.endOffset(), 10);
  for (int i = 0; i < 30; ++i) rig.Render();
  rig.shapes.SetStart(40);
  for (const auto& shape : rig.shapes.shapes()) {
    EXPECT_GE(shape.phase, 0);
    EXPECT_LT(shape.phase, 16);  // m = 16
  }

  // Destroy releases the records; Render then leaves the frame alone.
  rig.shapes.Destroy();
  EXPECT_EQ(rig.shapes.busyState(), BusyStatus::kDestroyed);
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
  ByteReader in(block);
  EXPECT_EQ(in.GetI32(), 20);   // 0 start
  EXPECT_EQ(in.GetI32(), 100);  // 4 end
  EXPECT_EQ(in.GetI32(), 9);    // 8 count
  EXPECT_EQ(in.GetI32(), 3);    // 12 shape
  EXPECT_EQ(in.GetI32(), 1);    // 16 auto colour mode
  EXPECT_EQ(in.GetI32(), 0);    // 20 fade
  EXPECT_EQ(in.GetI32(), 1);    // 24 audio trigger
  EXPECT_EQ(in.GetI32(), 3000);  // 28 trigger gain
  EXPECT_EQ(in.GetI32(), 40);    // 32 threshold per cent
  EXPECT_EQ(in.GetI32(), 1200);  // 36 threshold
  EXPECT_EQ(in.GetI32(), 5);     // 40 low band
  EXPECT_EQ(in.GetI32(), 60);    // 44 high band
  EXPECT_EQ(in.GetI32(), 10);    // 48 red
  EXPECT_EQ(in.GetI32(), 20);    // 52 green
  EXPECT_EQ(in.GetI32(), 30);    // 56 blue
  EXPECT_EQ(0, std::memcmp(&block[60], "Hi\0\0", 4));          // text, 255 bytes
  EXPECT_EQ(0, std::memcmp(&block[315], "Wingdings\0", 10));  // font, 255 bytes
  EXPECT_EQ(block[314], 0);
  EXPECT_EQ(block[569], 0);
  const uint8_t flags[20] = {0, 0, 0, 0,   // 570 bold (unaligned)
                             1, 0, 0, 0,   // 574 italic
                             0, 0, 0, 0,   // 578 antialias
                             1, 0, 0, 0,   // 582 random characters
                             1, 0, 0, 0};  // 586 symbol font
  EXPECT_EQ(0, std::memcmp(&block[570], flags, sizeof(flags)));
  EXPECT_EQ(block[590], 0xEE);

  ShapesRig loaded(20, 20);
  loaded.shapes.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(loaded.shapes.shapes().size(), 9u);
  EXPECT_EQ(loaded.shapes.busyState(), BusyStatus::kReady);
  for (const auto& shape : loaded.shapes.shapes()) {
    EXPECT_EQ(shape.phase, Shapes::kWaitingForBeat);
    EXPECT_TRUE(shape.character == 'H' || shape.character == 'i');
  }
  SettingsBlock again;
  again.fill(0xEE);
  loaded.shapes.ExchangeSettings(again, SettingsDirection::kStore);
  EXPECT_EQ(block, again);

  // Damage: end not above start (span 0 would divide by zero), a count of
  // zero and a text without its NUL.
  ByteWriter out(block);
  for (int32_t word : {0, -5, 100000}) out.PutI32(word);
  std::memset(&block[60], 'z', 255);
  loaded.shapes.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(loaded.shapes.start(), 1);
  EXPECT_EQ(loaded.shapes.end(), 2);
  EXPECT_EQ(loaded.shapes.count(), 100);
  EXPECT_EQ(loaded.shapes.text(), std::string(254, 'z'));
  loaded.shapes.SetAudioTrigger(false);
  for (int i = 0; i < 5; ++i) loaded.Render();
  loaded.shapes.ExchangeSettings(again, SettingsDirection::kStore);
  EXPECT_EQ(again[60 + 254], 0);
  loaded.SaveIfFailed("expanding_shapes_repaired");
}

}  // namespace
}  // namespace quor
