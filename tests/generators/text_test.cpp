#include "generators/scrolling_text.h"
#include "generators/text_render.h"

#include <QFont>
#include <QFontMetrics>
#include <cstring>
#include <functional>
#include <thread>

#include "generator_rig.h"

namespace quor {
namespace {

std::tm At(int hour, int minute, int second) {
  std::tm t{};
  t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second;
  return t;
}

TEST(ScrollingText, LineBreaksAndClockPlaceholders) {
  EXPECT_EQ(SplitTextLines("A\\n"), (std::vector<std::string>{"A", " "}));
  EXPECT_EQ(SplitTextLines("\\n\\nx"), (std::vector<std::string>{"", "", "x"}));
  EXPECT_EQ(ExpandTimePlaceholders("$TIME $TIME", At(9, 5, 7)), "09:05 $TIME");
  EXPECT_EQ(ExpandTimePlaceholders("$TIME/$LTIME", At(0, 0, 1)), "00:00/00:00:01");
}

// Each effect on a 4 x 4 frame whose pixel (x, y) is (10 x + y + 1, 255, 0): what each pixel then shows.
TEST(ScrollingText, SineWaveAndPerspectiveMoveAndFadeRowsAndBlackWhatComesFromOutside) {
  const auto numbered = [](int x, int y) { return y < 0 || y > 3 ? Rgb{} : Rgb{10 * x + y + 1, 255, 0}; };
  const int shift[4] = {-1, -1, 0, 1}, intensity[4] = {0, 1, 128, 255}, bentFrom[4] = {-8, 1, 3, 4};
  struct Case { const char* name; std::function<void(Canvas)> apply; std::function<Rgb(int, int)> want; };
  const Case cases[] = {
      // Height 50 on 4 rows: amplitude 2. Width 2, phase 4.7189: shifts trunc(sin(P / 4 * x + 4.7189) * 2).
      {"sine", [](Canvas c) { ApplySineWave(c, 2, 50, 4.7189f); },
       [&](int x, int y) { return numbered(x, y + shift[x]); }},
      // Fade 100 on 4 rows: step 127, intensities -126 (0), 1, 128, 255.
      {"fade 100", [](Canvas c) { ApplyPerspective(c, 0, 100); },
       [&](int x, int y) { return Rgb{numbered(x, y).r * intensity[y] / 255, 255 * intensity[y] / 255, 0}; }},
      // Angle 100: k = 0.625, scales 2.875, 1.078125, 0.404..., 0.151...: row 0 samples row -8 (black), row 1 row 1
      // unscaled, row 2 pixel (2, 3) everywhere, row 3 row 4 (black).
      {"angle 100", [](Canvas c) { ApplyPerspective(c, 100, 0); },
       [&](int x, int y) { return numbered(y == 2 ? 2 : x, bentFrom[y]); }}};
  for (const Case& c : cases) {
    test::Frame frame(4, 4);
    for (int i = 0; i < 16; ++i) PutPixel(frame.canvas(), i % 4, i / 4, numbered(i % 4, i / 4), false);
    c.apply(frame.canvas());
    for (int i = 0; i < 16; ++i) EXPECT_EQ(frame.At(i % 4, i / 4), c.want(i % 4, i / 4)) << c.name << " " << i;
  }
}

// "None/Center", size 50, pos 50 on 32 x 16: font trunc(2 * 16 * 50 / 100 + 4) = 20 high, cell top (no internal
// leading) at ((16 + 20) * 50) / 100 - 20 = -2, block centred at 16 - M / 2; the shared text primitive agrees.
TEST(ScrollingText, CentredTextLandsWhereTheFormulasPutIt) {
  test::Rig<ScrollingTextGenerator> rig(32, 16);
  ScrollingTextGenerator& text = rig.gen;
  text.SetText("Hi!"), text.SetFontName("Courier New"), text.SetBold(false), text.SetAntialias(false);
  text.SetSize(50), text.SetPos(50), text.SetScrollMode(int(ScrollMode::kCentre));
  text.colorGroup().color = {255, 0, 0};
  rig.frame.Fill(0x33);
  text.RenderAt({rig.frame.bytes.data(), 32, 16}, At(12, 0, 0));

  QFont font("Courier New");
  font.setPixelSize(20);
  const int width = QFontMetrics(font).horizontalAdvance("Hi!");
  EXPECT_EQ(text.blockWidth(), width);
  test::Frame want(32, 16);
  DrawTextChars(want.canvas(), 16 - width / 2, -2, 20, {255, 0, 0}, false, {.fontName = "Courier New"}, "Hi!");
  EXPECT_GT(want.LitCount(), 20);
  EXPECT_EQ(rig.frame.Lit(), want.Lit());
  EXPECT_EQ(rig.frame.bytes, want.bytes);
}

TEST(ScrollingText, ScrollModesWrapAndTurnWhereTheyShould) {
  test::Rig<ScrollingTextGenerator> rig(32, 16);
  ScrollingTextGenerator& text = rig.gen;
  text.SetFontName("Courier New");
  text.SetText("Wide text here");  // wider than the matrix
  rig.Render();
  const int m = text.blockWidth();
  ASSERT_GT(m, 32);
  // Right -> Left, the default, runs 31, 30, ... down to -m, then 32 again; inside bouncing keeps a wider text
  // between W - M and 0, overshooting by the one step that turns it.
  const auto range = [&](int frames) {
    std::vector<int> seen;
    for (int n = 0; n < frames; ++n, rig.Render()) seen.push_back(text.scrollPosition());
    return std::pair{*std::ranges::min_element(seen), *std::ranges::max_element(seen)};
  };
  EXPECT_EQ(range(32 + m + 2), (std::pair{-m, 32}));
  text.SetScrollMode(int(ScrollMode::kBounceInside));
  range(200);
  EXPECT_EQ(range(400), (std::pair{32 - m - 1, 1}));
  text.SetScrollMode(int(ScrollMode::kBottomToTop));  // a vertical mode restarts from the bottom edge
  rig.Render();
  EXPECT_EQ(text.scrollPosition(), 15);
}

TEST(ScrollingText, AnyBytesLongTextsAndDamagedBlocksAreSafe) {
  test::Rig<ScrollingTextGenerator> rig(40, 20);
  std::string all;
  for (int i = 0; i < 300; ++i) all.push_back(char(1 + i % 255));
  rig.gen.SetText(all), rig.gen.SetSineWave(true, 10, 50), rig.gen.SetPerspective(true, 100, 100);
  EXPECT_EQ(rig.gen.text().size(), size_t(kScrollingTextMaxChars));
  for (int mode = 0; mode < kScrollModeCount; ++mode, rig.Render(3)) rig.gen.SetScrollMode(mode);
  SettingsBlock block;
  block.fill(0xFF);  // no terminating zeros, every word -1, size NaN
  rig.gen.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(rig.gen.text().size(), size_t(kScrollingTextFieldBytes - 1));
  EXPECT_EQ(rig.gen.scrollPosition(), kScrollRestart);
  rig.Render(2);
  // Perspective 2 -> 0, angle 101 -> 20, fade 101 -> 0.
  block = {};
  std::memcpy(&block[0], "Hello", 5);
  std::ranges::copy(test::LittleEndian({2, 101, 101}), block.begin() + 566);
  rig.gen.ExchangeSettings(block, SettingsDirection::kLoad);
  rig.gen.ExchangeSettings(block, SettingsDirection::kStore);
  EXPECT_EQ(std::vector<uint8_t>(block.begin() + 566, block.begin() + 578), test::LittleEndian({0, 20, 0}));
  EXPECT_EQ(rig.gen.text(), "Hello");
  rig.Render(2);
}

using test::Frame;

constexpr Rgb kOrange{200, 100, 50};

// Count and bounding box of the pixels differing from a background.
struct Box { int count = 0, left = 1 << 30, right = -1, top = 1 << 30, bottom = -1; };

Box Bounds(const Frame& frame, Rgb background = {}) {
  Box b;
  for (int i = 0; i < frame.width * frame.height; ++i) {
    const int x = i % frame.width, y = i / frame.width;
    if (frame.At(x, y) != background)
      ++b.count, b.left = std::min(b.left, x), b.right = std::max(b.right, x), b.top = std::min(b.top, y), b.bottom = y;
  }
  return b;
}

TEST(TextRender, PlainTextLightsExactColourWithinItsRowsAndBadCallsDrawNothing) {
  Frame frame(64, 32), nothing(32, 16);
  DrawTextChars(frame.canvas(), 3, 5, 16, kOrange, false, {}, "HE");
  const Box lit = Bounds(frame);
  ASSERT_GT(lit.count, 20);
  EXPECT_TRUE(lit.top >= 5 && lit.bottom < 5 + 16 && lit.bottom - lit.top >= 8) << lit.top << ".." << lit.bottom;
  EXPECT_EQ(Bounds(frame, kOrange).count, 64 * 32 - lit.count);  // every lit pixel is the text colour
  DrawTextChars(nothing.canvas(), 0, 0, 12, kOrange, false, {}, "");
  for (int size : {0, -12, 1 << 30}) DrawTextChars(nothing.canvas(), 0, 0, size, kOrange, false, {}, "A");
  for (auto [x, y] : {std::pair{40, 0}, {0, 16}, {0, -12}})  // right of, below and above the frame
    DrawTextChars(nothing.canvas(), x, y, 12, kOrange, false, {}, "A");
  EXPECT_EQ(nothing.LitCount(), 0);
}

TEST(TextRender, AntialiasingDarkensEdgesAndCentringCentres) {
  Frame smooth(64, 24), left(96, 40), centred(96, 40);
  DrawTextChars(smooth.canvas(), 2, 2, 18, kOrange, false, {.antialias = true}, "Ao");
  int lowest = 255, highest = 0;  // antialiased edges are darker than the colour, nothing is brighter
  for (size_t i = 0; i < smooth.bytes.size(); i += 3)
    if (const int r = smooth.bytes[i]; r != 0) lowest = std::min(lowest, r), highest = std::max(highest, r);
  EXPECT_TRUE(lowest < 200 && highest == 200) << lowest << ".." << highest;
  // Centring shifts by half the width and half the size: rows from 20 - 20 / 2 = 10 instead of 4.
  DrawTextChars(left.canvas(), 10, 4, 20, kOrange, false, {}, "MW");
  DrawTextChars(centred.canvas(), 48, 20, 20, kOrange, false, {.centred = true}, "MW");
  const Box a = Bounds(left), b = Bounds(centred);
  EXPECT_TRUE(a.count > 0 && b.count == a.count && b.top - a.top == 6) << b.top - a.top;
  EXPECT_NEAR((b.left + b.right) / 2.0, 48, 3);
}

TEST(TextRender, HugeSizesRenderOnlyTheVisibleBandAndOtherThreadsWork) {
  Frame frame(32, 16), here(48, 16), there(48, 16);  // the frame sees the left stroke of a 20000 pixel "O"
  DrawTextChars(frame.canvas(), -20000 / 12, -20000 / 3, 20000, kOrange, false, {}, "O");
  EXPECT_GT(frame.LitCount(), 16 * 8);
  DrawTextChars(here.canvas(), 0, 0, 14, kOrange, false, {}, "Quor \xe9");
  std::thread([&] { DrawTextChars(there.canvas(), 0, 0, 14, kOrange, false, {}, "Quor \xe9"); }).join();
  EXPECT_TRUE(here.LitCount() > 0 && here.bytes == there.bytes);
}

}  // namespace
}  // namespace quor
