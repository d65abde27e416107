#include "generators/capture_frame.h"

#include <gtest/gtest.h>

#include <climits>

namespace quor {
namespace {

TEST(CaptureFrame, TheDraggedEdgeDecidesWhichSideFollowsTheMatrixAspect) {
  const CaptureRectangle start{100, 100, 420, 260};
  struct Case {
    CaptureRectangle after;
    FrameEdge edge;
    CaptureRectangle kept;  // on a 32 x 12 matrix
  };
  const Case cases[] = {
      {{100, 100, 421, 260}, FrameEdge::kRight, {100, 100, 421, 220}},  // 321 * 12 / 32 = 120
      {{90, 100, 420, 260}, FrameEdge::kLeft, {90, 100, 420, 223}},
      {{90, 100, 420, 301}, FrameEdge::kBottomLeft, {90, 100, 420, 223}},
      {{100, 100, 500, 301}, FrameEdge::kBottomRight, {100, 100, 500, 250}},
      {{100, 100, 420, 301}, FrameEdge::kBottom, {100, 100, 636, 301}},  // 201 * 32 / 12 = 536
      {{100, 50, 420, 260}, FrameEdge::kTop, {100, 50, 660, 260}},
      {{100, 50, 401, 260}, FrameEdge::kTopRight, {100, 50, 660, 260}},
      {{99, 50, 420, 260}, FrameEdge::kTopLeft, {99, 140, 420, 260}},
      {{150, 150, 470, 310}, FrameEdge::kNone, {150, 150, 470, 310}},  // moved, not resized
      {start, FrameEdge::kNone, start},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DraggedEdge(start, c.after), c.edge) << c.after.left << "," << c.after.top;
    EXPECT_EQ(KeepAspect(c.after, c.edge, 32, 12), c.kept) << c.after.left << "," << c.after.top;
  }
  // Words from a damaged settings block neither overflow nor divide by 0.
  const CaptureRectangle wild{INT_MIN, 0, INT_MAX, 10};
  EXPECT_EQ(KeepAspect(wild, FrameEdge::kRight, 1, 1000).bottom, INT_MAX);
  EXPECT_EQ(KeepAspect({0, 0, 10, 5}, FrameEdge::kRight, 0, 0).bottom, 10);
}

}  // namespace
}  // namespace quor
