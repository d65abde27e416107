#include "generators/radar.h"

#include "generator_rig.h"

namespace quor {
namespace {

// Radar in fixed red with the given mode and band width.
struct RadarRig : test::Rig<RadarGenerator> {
  RadarRig(int w, int h, int mode = RadarGenerator::kLeftToRight, int band = 0) : Rig(w, h) {
    gen.SetAutoColorMode(0), gen.SetMode(mode), gen.SetBandWidth(band);
  }
  // The lit columns of row 0 (or rows of column 0) as '#' / '.'.
  std::string Lit(bool rows = false) const {
    std::string s;
    for (int i = 0; i < (rows ? frame.height : frame.width); ++i)
      s += (rows ? At(0, i) : At(i, 0)) == Rgb{} ? '.' : '#';
    return s;
  }
};

TEST(RadarScan, OneWayModesRestartBeyondTheEdgeAndBouncingModesTurn) {
  // 10 wide, width 20 %: band = (10 * 20) / 100 + 1 = 3 lines; positions 0..9, then -3, -2, -1: the band slides out
  // and back in.
  RadarRig rig(10, 4, RadarGenerator::kLeftToRight, 20);
  std::vector<std::string> seen;
  for (int i = 0; i < 13; ++i) rig.Render(), seen.push_back(rig.Lit());
  EXPECT_EQ((std::array{seen[0], seen[9], seen[10], seen[12]}),
            (std::array<std::string, 4>{"###.......", ".........#", "..........", "##........"}));
  // Bottom -> Top, one line on 6 rows: drawn at 0, then restarts at row 5.
  RadarRig up(4, 6, RadarGenerator::kBottomToTop);
  std::string rows;
  for (int i = 0; i < 3; ++i) up.Render(), rows += up.Lit(true) + " ";
  EXPECT_EQ(rows, "#..... .....# ....#. ");
  // Band 3 on 10 columns: forwards to 7 = W - band, back to 0, never leaving.
  RadarRig bounce(10, 4, RadarGenerator::kBounceHorizontal, 20);
  std::vector<int> drawnAt;
  for (int i = 0; i < 17; ++i) bounce.Render(), drawnAt.push_back(static_cast<int>(bounce.Lit().find('#')));
  EXPECT_EQ(drawnAt, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2}));
}

TEST(RadarScan, BandWidthTrailAndPixelStep) {
  RadarRig full(8, 4, RadarGenerator::kLeftToRight, 100);  // band W + 1 covers all
  full.Render();
  EXPECT_EQ(full.Lit(), "########");
  // Fade 100 on 10 columns: trail 10, step = 255 / 11 = 23 per move.
  RadarRig trail(10, 4);
  trail.gen.SetFade(100);
  trail.Render(3);
  EXPECT_EQ((std::array{trail.At(0, 2), trail.At(2, 2), trail.At(3, 2)}),
            (std::array{Rgb{255 - 23 - 23, 0, 0}, Rgb{255, 0, 0}, Rgb{}}));
  // PixelStep 2: two moves per frame, the trail fading once per move; 0 stands still.
  RadarRig fast(10, 4);
  fast.harness.pixelStep = 2;
  fast.gen.SetFade(100);
  fast.Render();
  EXPECT_EQ(std::pair(fast.At(0, 0), fast.gen.position()), std::pair(Rgb{232, 0, 0}, 2));
  fast.harness.pixelStep = 0;
  fast.Render();
  EXPECT_EQ(std::pair(fast.At(1, 0), fast.gen.position()), std::pair(Rgb{255, 0, 0}, 2));
}

TEST(RadarSettings, LoadPlacesTheBandAtTheOffset) {
  RadarRig rig(10, 6);
  test::LoadWords(rig.gen, {3, 12, 34, 1, 2, 3, 1, 50});
  EXPECT_EQ(rig.gen.position(), 3);  // vertical: (H * offset) / 100 = (6 * 50) / 100
  test::LoadWords(rig.gen, {0, 12, 34, 1, 2, 3, 1, 50});
  EXPECT_EQ(rig.gen.position(), 4);  // horizontal uses W - 1: (9 * 50) / 100
}

}  // namespace
}  // namespace quor
