#include "generators/radar.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/byte_io.h"
#include "tests/test_support.h"

namespace quor {
namespace {

using test::GeneratorHarness;

struct RadarRig {
  RadarRig(int w, int h) : width(w), height(h), frame(static_cast<size_t>(w) * h * 3, 0) {
    EXPECT_TRUE(radar.Create(w, h));
    radar.SetAutoColorMode(0);
  }
  void Render() { radar.Render(frame.data(), width, height); }
  Rgb At(int x, int y) const {
    const uint8_t* p = &frame[(static_cast<size_t>(y) * width + x) * 3];
    return {p[0], p[1], p[2]};
  }
  // The columns (or rows) that are lit anywhere, as '#' / '.'.
  std::string LitColumns() const {
    std::string s;
    for (int x = 0; x < width; ++x) s += At(x, 0) == Rgb{} ? '.' : '#';
    return s;
  }
  std::string LitRows() const {
    std::string s;
    for (int y = 0; y < height; ++y) s += At(0, y) == Rgb{} ? '.' : '#';
    return s;
  }
  void SaveIfFailed(const std::string& name) const {
    if (::testing::Test::HasFailure()) test::SaveFrameForInspection(name, frame.data(), width, height);
  }

  GeneratorHarness harness{1};
  RadarGenerator radar{harness.context};
  int width;
  int height;
  std::vector<uint8_t> frame;
};

TEST(RadarScan, OneWayModesRestartBeyondTheEdge) {
  // 10 wide, width 20 %: band = (10 * 20) / 100 + 1 = 3 lines.
  RadarRig rig(10, 4);
  rig.radar.SetMode(RadarGenerator::kLeftToRight);
  rig.radar.SetBandWidth(20);
  std::vector<std::string> seen;
  for (int i = 0; i < 13; ++i) {
    rig.Render();
    seen.push_back(rig.LitColumns());
  }
  // Positions 0..9, then -3, -2, -1: the band slides out and back in.
  EXPECT_EQ(seen[0], "###.......");
  EXPECT_EQ(seen[8], "........##");
  EXPECT_EQ(seen[9], ".........#");
  EXPECT_EQ(seen[10], "..........");
  EXPECT_EQ(seen[11], "#.........");
  EXPECT_EQ(seen[12], "##........");
  EXPECT_EQ(rig.radar.position(), 0);
  EXPECT_EQ(rig.At(0, 3), (Rgb{255, 0, 0}));

  // Bottom -> Top with width 0 (one line) on 6 rows: drawn at 0, then the
  // position reaches -1 = -band and restarts at row 5.
  RadarRig up(4, 6);
  up.radar.SetMode(RadarGenerator::kBottomToTop);
  std::vector<std::string> rows;
  for (int i = 0; i < 3; ++i) {
    up.Render();
    rows.push_back(up.LitRows());
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"#.....", ".....#", "....#."}));
  rig.SaveIfFailed("radar_one_way");
  up.SaveIfFailed("radar_bottom_to_top");
}

TEST(RadarScan, BouncingModesTurnAtBothEdges) {
  // Band 3 on 10 columns: forwards until position 7 = W - band, then back
  // until 0, so the band touches each edge without leaving the matrix.
  RadarRig rig(10, 4);
  rig.radar.SetMode(RadarGenerator::kBounceHorizontal);
  rig.radar.SetBandWidth(20);
  std::vector<int> drawnAt;
  for (int i = 0; i < 17; ++i) {
    rig.Render();
    drawnAt.push_back(static_cast<int>(rig.LitColumns().find('#')));
  }
  EXPECT_EQ(drawnAt, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2}));

  // The same vertically; the offset setter restarts forwards from
  // (offset * H) / 100 = (50 * 8) / 100 = 4.
  RadarRig vertical(4, 8);
  vertical.radar.SetMode(RadarGenerator::kBounceVertical);
  vertical.radar.SetOffset(50);
  EXPECT_EQ(vertical.radar.position(), 4);
  EXPECT_FALSE(vertical.radar.movingBackwards());
  std::string order;
  for (int i = 0; i < 6; ++i) {
    vertical.Render();
    order += static_cast<char>('0' + vertical.LitRows().find('#'));
  }
  // Band 1: forwards to 7 = H - band, then back.
  EXPECT_EQ(order, "456765");
  rig.SaveIfFailed("radar_bounce");
}

TEST(RadarScan, BandWidthAndTrail) {
  // Width 0 draws one line; width 100 gives band W + 1 and covers all.
  RadarRig thin(8, 4);
  thin.radar.SetMode(RadarGenerator::kLeftToRight);
  thin.Render();
  EXPECT_EQ(thin.LitColumns(), "#.......");
  RadarRig full(8, 4);
  full.radar.SetMode(RadarGenerator::kLeftToRight);
  full.radar.SetBandWidth(100);
  full.Render();
  EXPECT_EQ(full.LitColumns(), "########");

  // Fade 100 on 10 columns: trail 10, step = 255 / 11 = 23 per move.
  RadarRig trail(10, 4);
  trail.radar.SetMode(RadarGenerator::kLeftToRight);
  trail.radar.SetFade(100);
  trail.Render();
  trail.Render();
  trail.Render();
  EXPECT_EQ(trail.At(0, 2), (Rgb{255 - 23 - 23, 0, 0}));
  EXPECT_EQ(trail.At(1, 2), (Rgb{255 - 23, 0, 0}));
  EXPECT_EQ(trail.At(2, 2), (Rgb{255, 0, 0}));
  EXPECT_EQ(trail.At(3, 2), (Rgb{}));

  // Fade 0 clears whatever the frame held.
  RadarRig noTrail(10, 4);
  noTrail.radar.SetMode(RadarGenerator::kLeftToRight);
  std::memset(noTrail.frame.data(), 99, noTrail.frame.size());
  noTrail.Render();
  EXPECT_EQ(noTrail.LitColumns(), "#.........");

  // PixelStep 2: two moves per frame, the trail fading once per move.
  RadarRig fast(10, 4);
  fast.harness.pixelStep = 2;
  fast.radar.SetMode(RadarGenerator::kLeftToRight);
  fast.radar.SetFade(100);
  fast.Render();
  EXPECT_EQ(fast.At(0, 0), (Rgb{232, 0, 0}));
  EXPECT_EQ(fast.At(1, 0), (Rgb{255, 0, 0}));
  EXPECT_EQ(fast.radar.position(), 2);
  fast.harness.pixelStep = 0;
  fast.Render();
  EXPECT_EQ(fast.At(1, 0), (Rgb{255, 0, 0}));
  EXPECT_EQ(fast.radar.position(), 2);
  trail.SaveIfFailed("radar_trail");
  fast.SaveIfFailed("radar_pixel_step");
}

TEST(RadarScan, SharedAutoColorFollowsTheWheel) {
  RadarRig rig(8, 4);
  rig.radar.SetAutoColorMode(2);
  rig.harness.sharedWheel = {0, 0};
  rig.Render();
  // Phase 0 at position 0 + 2: (255, 0, 255 - 2).
  EXPECT_EQ(rig.At(0, 0), (Rgb{255, 0, 253}));
  EXPECT_EQ(rig.harness.sharedWheel.position, 2);
}

TEST(RadarSettings, RoundTripAndRepairs) {
  RadarRig rig(10, 6);
  rig.radar.SetMode(RadarGenerator::kTopToBottom);
  rig.radar.SetBandWidth(12);
  rig.radar.SetFade(34);
  rig.radar.SetColor({1, 2, 3});
  rig.radar.SetAutoColorMode(1);
  rig.radar.SetOffset(50);
  SettingsBlock block;
  block.fill(0xAB);
  rig.radar.ExchangeSettings(block, SettingsDirection::kStore);
  const uint8_t expected[32] = {
      3,  0, 0, 0,  // mode
      12, 0, 0, 0,  // width
      34, 0, 0, 0,  // fade
      1,  0, 0, 0,  // red
      2,  0, 0, 0,  // green
      3,  0, 0, 0,  // blue
      1,  0, 0, 0,  // auto colour mode
      50, 0, 0, 0,  // offset
  };
  EXPECT_EQ(0, std::memcmp(block.data(), expected, sizeof(expected)));
  EXPECT_EQ(block[32], 0xAB);
  EXPECT_EQ(block[1023], 0xAB);

  RadarRig loaded(10, 6);
  loaded.radar.ExchangeSettings(block, SettingsDirection::kLoad);
  SettingsBlock again;
  again.fill(0xAB);
  loaded.radar.ExchangeSettings(again, SettingsDirection::kStore);
  EXPECT_EQ(block, again);
  // Vertical mode: position = (H * offset) / 100 = (6 * 50) / 100 = 3.
  EXPECT_EQ(loaded.radar.position(), 3);

  // A horizontal mode uses W - 1: (9 * 50) / 100 = 4.
  block[0] = 0;
  loaded.radar.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(loaded.radar.position(), 4);

  // Damaged values: offset above 100 becomes 0; width and fade come back
  // into 0..100 (a fade of -1 would make the trail step divide by zero).
  SettingsBlock damaged{};
  ByteWriter out(damaged);
  for (int32_t word : {0, 5000, -1, 255, 0, 0, 0, 101}) out.PutI32(word);
  loaded.radar.ExchangeSettings(damaged, SettingsDirection::kLoad);
  EXPECT_EQ(loaded.radar.offset(), 0);
  EXPECT_EQ(loaded.radar.position(), 0);
  EXPECT_EQ(loaded.radar.bandWidth(), 100);
  EXPECT_EQ(loaded.radar.fade(), 0);
  loaded.Render();
  EXPECT_EQ(loaded.LitColumns(), "##########");
}

}  // namespace
}  // namespace quor
