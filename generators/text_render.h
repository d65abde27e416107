// Text for the generators: renders a string with a system font (through Qt
// Gui's font engine, faces resolved by fontconfig) and plots its lit pixels
// into a frame. Any thread may call it once a QGuiApplication exists; each
// call builds and releases its own font and raster.
#pragma once

#include <string>
#include <string_view>

#include "core/rgb_frame.h"

namespace quor {

struct TextStyle {
  bool bold = false;       // weight 700, else the face's normal weight
  bool italic = false;
  bool antialias = false;  // antialiased edges plot as darker pixels
  std::string fontName = "Arial";
  bool centred = false;  // centre the text on (x, y) instead of starting there
  bool symbol = false;   // the face is a symbol font; its name selects it
};

// Draws `text` (Latin-1 bytes) with a character height of `size` pixels. The
// raster is as wide as the canvas and `size` rows high, the text placed at
// column x (x - width / 2 when centred) with the font's internal leading cut
// off the top; its rows land at y (y - size / 2 when centred). Every pixel the
// text lights is plotted in the colour the raster holds there, so antialiased
// edges come out darker. Nothing is drawn for an empty text or a size <= 0
// or above 32768. Only the raster rows that reach the canvas are rendered.
void DrawTextChars(const Canvas& canvas, int x, int y, int size, Rgb color, bool maxBlend,
                   const TextStyle& style, std::string_view text);

}  // namespace quor
