// Raster primitives the generators draw with. Every call clips per pixel, so
// any coordinates are legal, including ones far outside the frame; the work
// done is bounded by the visible part, not by the size of the shape.
// Stateless and re-entrant; any thread may draw into a canvas it owns.
#pragma once

#include "core/rgb_frame.h"

namespace quor {

// Every primitive ends with the colour and `maxBlend`: false overwrites the
// pixel, true keeps per component the larger of the old and the new value.

void PutPixel(const Canvas& canvas, int x, int y, Rgb color, bool maxBlend);

// Bresenham line, both end points included.
void DrawLine(const Canvas& canvas, int x0, int y0, int x1, int y1, Rgb color, bool maxBlend);

// Outline of radius `radius`; radius 0 or below draws nothing.
void DrawCircle(const Canvas& canvas, int cx, int cy, int radius, Rgb color, bool maxBlend);

// Disc of the pixels with dx^2 + dy^2 <= r^2 + 0.8 r; radius 0 is the centre
// pixel, a negative radius draws nothing.
void FillCircle(const Canvas& canvas, int cx, int cy, int radius, Rgb color, bool maxBlend);

// Outline through the four corners.
void DrawRectangle(const Canvas& canvas, int x0, int y0, int x1, int y1, Rgb color, bool maxBlend);

// Rows y0..y1 (none when y0 > y1), each a line from x0 to x1.
void FillRectangle(const Canvas& canvas, int x0, int y0, int x1, int y1, Rgb color, bool maxBlend);

// Outline through the midpoints of the four edges of the box.
void DrawDiamond(const Canvas& canvas, int x0, int y0, int x1, int y1, Rgb color, bool maxBlend);

// Rows y0..y1 centred on the box's middle column with half widths
// 0, 1, ..., half, ..., 1, 0 (half = (x1 - x0) / 2), repeating when the box
// has more than 2 * half + 1 rows.
void FillDiamond(const Canvas& canvas, int x0, int y0, int x1, int y1, Rgb color, bool maxBlend);

// Eight rays: horizontal, vertical and the two diagonals.
void DrawSimpleStar(const Canvas& canvas, int cx, int cy, int radius, Rgb color, bool maxBlend);

// Upright five-pointed star outline (inner radius radius / 2). The star is
// drawn with y mirrored about the frame's middle row, so its centre lands at
// (cx, height - 1 - cy).
void DrawStar5(const Canvas& canvas, int cx, int cy, int radius, Rgb color, bool maxBlend);

// Filled upright five-pointed star centred at (cx, cy), covering at most the
// 2r x 2r box from (cx - r, cy - r); radius 0 or below draws nothing.
void FillStar5(const Canvas& canvas, int cx, int cy, int radius, Rgb color, bool maxBlend);

// Replaces the 4-connected region of black pixels around the seed, filling in
// vertical spans. When the seed is not black the fill starts at the pixel
// below it. A seed outside the frame, or a colour that stores as black, does
// nothing. The span stack holds at most width * height - 1 entries; a push
// that finds it full ends the fill where it is. Frames are at most 65535
// pixels wide and high.
void FloodFill(const Canvas& canvas, int seedX, int seedY, Rgb color, bool maxBlend);

}  // namespace quor
