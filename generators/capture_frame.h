// The placement frame of Screen Capture: which edge of the frame window the
// user is dragging, and the rectangle that keeps the matrix's aspect ratio
// while it is dragged. Pure functions; the window in ui/ applies them.
#pragma once

#include "generators/screen_capture.h"

namespace quor {

enum class FrameEdge { kNone, kLeft, kRight, kTop, kBottom, kTopLeft, kTopRight, kBottomLeft, kBottomRight };

// The edge (or corner) a resize from `before` to `after` dragged: the sides
// that moved while the opposite side stayed. kNone for a plain move (same
// size) or no change.
FrameEdge DraggedEdge(const CaptureRectangle& before, const CaptureRectangle& after);

// `rect` with one side moved so that it has the aspect of a width x height
// matrix, by integer division:
//   left or right edge, bottom corners: bottom = top + (right - left) * H / W
//   top or bottom edge, top-right corner: right = left + (bottom - top) * W / H
//   top-left corner:                      top = bottom - (right - left) * H / W
// kNone leaves `rect` as it is.
CaptureRectangle KeepAspect(CaptureRectangle rect, FrameEdge edge, int width, int height);

}  // namespace quor
