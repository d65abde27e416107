// The preview pictures and their hand-off buffer between clock and GUI thread.
#include "ui/preview_renderer.h"

#include "ui_support.h"

namespace quor {
namespace {

TEST(PreviewHeight, FollowsTheMatrixHeightOrItsAspectRatio) {
  // {width, height, aspect, preview height}
  const int cases[][4] = {{320, 4, 1, 4},   {4, 320, 1, 640},  {32, 100, 0, 200},
                          {16, 32, 0, 200}, {40, 320, 0, 320}, {64, 32, 1, 160}};
  for (const auto& c : cases) EXPECT_EQ(PreviewHeight(c[0], c[1], c[2]), c[3]) << c[0] << "x" << c[1];
}

TEST(PreviewGeometry, CellsAndMarginsForTypicalMatrices) {
  const struct {
    int w, h, previewHeight, grid;
    PreviewGeometry expected;
  } cases[] = {
      {32, 16, 200, 1, {1, 9, 0, 20}},     // min(320/32 - 1, 200/16 - 1) = 9; (201 - 160) / 2
      {320, 4, 200, 1, {0, 1, 0, 98}},     // 640 > 320: the grid is dropped
      {128, 128, 200, 1, {0, 1, 96, 36}},  // 256 > 200: dropped; cell min(2, 1)
      {7, 5, 200, 1, {1, 39, 20, 0}},      // (321 - 280) / 2 truncated
  };
  for (const auto& c : cases) {
    const PreviewGeometry g = ComputePreviewGeometry(c.w, c.h, c.previewHeight, c.grid);
    EXPECT_EQ(std::tie(g.grid, g.cell, g.left, g.top), std::tie(c.expected.grid, c.expected.cell, c.expected.left, c.expected.top))
        << c.w << "x" << c.h;
  }
}

TEST(DrawPreview, FillsCellsLeavesGridGreyAndInverts) {
  // 32 x 16, pixel (0, 0) red, pixel (1, 0) green, the rest black.
  std::vector<uint8_t> frame(32 * 16 * 3, 0);
  frame[0] = 255;
  frame[4] = 200;
  QImage picture(kPreviewWidth, 200, QImage::Format_RGB32);
  DrawPreview(frame.data(), 32, 16, 1, false, picture);
  const QRgb grey = qRgb(40, 40, 40);
  // Top margin, the 9 x 9 cell's first and last pixel, grid column and row, the next two cells.
  for (auto [x, y, colour] : {std::tuple{0, 0, grey}, {0, 20, qRgb(255, 0, 0)}, {8, 28, qRgb(255, 0, 0)}, {9, 20, grey},
                              {0, 29, grey}, {10, 20, qRgb(0, 200, 0)}, {20, 20, qRgb(0, 0, 0)}}) {
    EXPECT_EQ(picture.pixel(x, y), colour) << x << "/" << y;
  }

  DrawPreview(frame.data(), 32, 16, 1, true, picture);
  EXPECT_EQ(picture.pixel(0, 20), qRgb(0, 255, 255));
  EXPECT_EQ(picture.pixel(20, 20), qRgb(255, 255, 255));
  EXPECT_EQ(picture.pixel(9, 20), grey);  // the grid is not inverted
}

TEST(PreviewBuffer, ReaderSeesEachPublishedPictureOnceAndTheLatestWins) {
  PreviewBuffer buffer;
  EXPECT_FALSE(buffer.TakeNew());
  for (int value : {10, 20, 30}) {
    buffer.BackBuffer(200).fill(qRgb(value, 0, 0));
    buffer.Publish();
  }
  ASSERT_TRUE(buffer.TakeNew());
  EXPECT_EQ(buffer.Latest().pixel(5, 5), qRgb(30, 0, 0));
  EXPECT_FALSE(buffer.TakeNew());
  // The writer never draws into the picture the reader holds.
  buffer.BackBuffer(200).fill(qRgb(40, 0, 0));
  buffer.Publish();
  buffer.BackBuffer(100).fill(qRgb(50, 0, 0));
  EXPECT_EQ(buffer.Latest().pixel(5, 5), qRgb(30, 0, 0));
  ASSERT_TRUE(buffer.TakeNew());
  EXPECT_EQ(buffer.Latest().pixel(5, 5), qRgb(40, 0, 0));
}

TEST(PreviewRenderer, ChannelPreviewsFollowTheirSourceAndShowModeDrawsOnlyTheOutput) {
  Engine engine(BuiltinGenerators(), test::kManualClock);
  PreviewRenderer renderer(engine);
  // Slot 0 all red with Invert on, so "Generator 1" shows cyan.
  for (int i = 0; i < engine.width() * engine.height() * 3; ++i) engine.frame(FrameIndex::kSlot0)[i] = i % 3 ? 0 : 255;
  engine.SetInvert(0, true);
  engine.SetPreviewSource(0, kPreviewGenerator1);
  renderer.RenderAll();
  for (int i = 0; i < kPreviewCount; ++i) ASSERT_TRUE(renderer.buffer(i).TakeNew()) << i;
  EXPECT_EQ(renderer.buffer(kPreviewLeft).Latest().pixel(0, 20), qRgb(0, 255, 255));
  // The aspect option makes the 32 x 16 pictures 160 high; without the grid the cells touch.
  renderer.SetOptions(1, 0);
  renderer.RenderAll();
  for (int i = 0; i < kPreviewCount; ++i) ASSERT_TRUE(renderer.buffer(i).TakeNew()) << i;
  EXPECT_EQ(renderer.buffer(kPreviewLeft).Latest().height(), 160);
  EXPECT_EQ(renderer.buffer(kPreviewLeft).Latest().pixel(9, 0), qRgb(0, 255, 255));

  engine.SetControl({ControlId::kShowMode}, 1);
  renderer.RenderAll();
  EXPECT_TRUE(renderer.buffer(kPreviewCentre).TakeNew());
  EXPECT_FALSE(renderer.buffer(kPreviewLeft).TakeNew() || renderer.buffer(kPreviewRight).TakeNew());
}

}  // namespace
}  // namespace quor
