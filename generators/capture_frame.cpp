#include "generators/capture_frame.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace quor {
namespace {

// Side lengths in 64 bits: rectangles from a settings block may hold any
// 32-bit words.
int64_t Span(int from, int to) { return int64_t{to} - from; }

// base + span * numerator / denominator in 64 bits, held inside int.
int Scaled(int base, int64_t span, int numerator, int denominator, int sign) {
  const int64_t value = int64_t{base} + sign * (span * numerator / denominator);
  return static_cast<int>(std::clamp<int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

FrameEdge DraggedEdge(const CaptureRectangle& before, const CaptureRectangle& after) {
  const bool sameWidth = Span(after.left, after.right) == Span(before.left, before.right);
  const bool sameHeight = Span(after.top, after.bottom) == Span(before.top, before.bottom);
  if (sameWidth && sameHeight) return FrameEdge::kNone;
  // A side counts as dragged when it moved and the opposite one stayed.
  const bool left = after.left != before.left && after.right == before.right;
  const bool right = after.right != before.right && after.left == before.left;
  const bool top = after.top != before.top && after.bottom == before.bottom;
  const bool bottom = after.bottom != before.bottom && after.top == before.top;
  if (top) return left ? FrameEdge::kTopLeft : right ? FrameEdge::kTopRight : FrameEdge::kTop;
  if (bottom) return left ? FrameEdge::kBottomLeft : right ? FrameEdge::kBottomRight : FrameEdge::kBottom;
  if (left) return FrameEdge::kLeft;
  if (right) return FrameEdge::kRight;
  return FrameEdge::kNone;
}

CaptureRectangle KeepAspect(CaptureRectangle rect, FrameEdge edge, int width, int height) {
  const int w = std::max(width, 1);
  const int h = std::max(height, 1);
  switch (edge) {
    case FrameEdge::kLeft:
    case FrameEdge::kRight:
    case FrameEdge::kBottomLeft:
    case FrameEdge::kBottomRight:
      rect.bottom = Scaled(rect.top, Span(rect.left, rect.right), h, w, 1);
      break;
    case FrameEdge::kTop:
    case FrameEdge::kBottom:
    case FrameEdge::kTopRight:
      rect.right = Scaled(rect.left, Span(rect.top, rect.bottom), w, h, 1);
      break;
    case FrameEdge::kTopLeft:
      rect.top = Scaled(rect.bottom, Span(rect.left, rect.right), h, w, -1);
      break;
    case FrameEdge::kNone:
      break;
  }
  return rect;
}

}  // namespace quor
