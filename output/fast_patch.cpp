#include "output/fast_patch.h"

#include <array>
#include <cstdint>
#include <limits>

#include "output/drivers.h"

namespace quor {
namespace {

constexpr std::array<const char*, kPixelOrderCount> kPixelOrderNames = {
    "Linewise starting Top-Left",        "Linewise starting Top-Right",
    "Linewise starting Bottom-Left",     "Linewise starting Bottom-Right",
    "Snakelines starting Top-Left",      "Snakelines starting Top-Right",
    "Snakelines starting Bottom-Left",   "Snakelines starting Bottom-Right",
    "Columnwise starting Top-Left",      "Columnwise starting Top-Right",
    "Columnwise starting Bottom-Left",   "Columnwise starting Bottom-Right",
    "Snakecolumns starting Top-Left",    "Snakecolumns starting Top-Right",
    "Snakecolumns starting Bottom-Left", "Snakecolumns starting Bottom-Right",
};

struct ColourOrder {
  const char* name;
  int red, green, blue;  // offsets from the pixel's first channel
};
constexpr std::array<ColourOrder, kColourOrderCount> kColourOrders = {{
    {"RGB", 0, 1, 2},
    {"RBG", 0, 2, 1},
    {"BGR", 2, 1, 0},
    {"BRG", 1, 2, 0},
    {"GBR", 2, 0, 1},
    {"GRB", 1, 0, 2},
}};

}  // namespace

const char* PixelOrderName(int order) {
  return order >= 0 && order < kPixelOrderCount ? kPixelOrderNames[static_cast<size_t>(order)] : "";
}

const char* ColourOrderName(int order) {
  return order >= 0 && order < kColourOrderCount ? kColourOrders[static_cast<size_t>(order)].name : "";
}

bool ApplyFastPatch(PatchTable& patch, const OutputDeviceList& devices, int startX, int startY,
                    FastPatchSettings& settings) {
  if (settings.device < 0 || settings.device >= devices.count()) return false;
  if (!HasSendBuffer(devices[settings.device].driver)) return false;
  if (settings.pixelOrder < 0 || settings.pixelOrder >= kPixelOrderCount) return false;
  if (settings.colourOrder < 0 || settings.colourOrder >= kColourOrderCount) return false;
  const int64_t channels = devices[settings.device].channels;
  const ColourOrder& colours = kColourOrders[static_cast<size_t>(settings.colourOrder)];

  // Clip the area to the matrix.
  if (static_cast<int64_t>(startX) + settings.dimensionX > patch.width()) settings.dimensionX = patch.width() - startX;
  if (static_cast<int64_t>(startY) + settings.dimensionY > patch.height()) settings.dimensionY = patch.height() - startY;
  const int areaW = settings.dimensionX;
  const int areaH = settings.dimensionY;

  const int order = settings.pixelOrder;
  const bool columns = order >= 8;
  const bool snake = (order & 4) != 0;
  const bool fromRight = (order & 1) != 0;
  const bool fromBottom = (order & 2) != 0;
  const int lines = columns ? areaW : areaH;
  const int length = columns ? areaH : areaW;

  int64_t first = settings.firstChannel;
  if (startX >= 0 && startY >= 0 && areaW > 0 && areaH > 0) {
    bool done = false;
    for (int i = 0; i < lines && !done; ++i) {
      const bool reversed = snake && (i % 2 == 1);
      for (int j = 0; j < length; ++j) {
        int x, y;
        if (columns) {
          x = fromRight ? areaW - 1 - i : i;
          const bool upward = fromBottom != reversed;
          y = upward ? areaH - 1 - j : j;
        } else {
          y = fromBottom ? areaH - 1 - i : i;
          const bool leftward = fromRight != reversed;
          x = leftward ? areaW - 1 - j : j;
        }
        if (first < 0 || first + 2 > std::numeric_limits<int32_t>::max()) {
          done = true;
          break;
        }
        PatchEntry& e = patch.At(startX + x, startY + y);
        e.device = settings.device;
        e.red = static_cast<int32_t>(first + colours.red);
        e.green = static_cast<int32_t>(first + colours.green);
        e.blue = static_cast<int32_t>(first + colours.blue);
        const int64_t old = first;
        first += 3;
        if (channels <= old + 5) {  // the next pixel would not fit
          done = true;
          break;
        }
      }
    }
  }
  if (first >= channels || first < 0 || first > std::numeric_limits<int32_t>::max()) first = 0;
  settings.firstChannel = static_cast<int>(first);
  return true;
}

}  // namespace quor
