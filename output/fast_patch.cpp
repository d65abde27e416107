#include "output/fast_patch.h"

#include <algorithm>
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

bool PixelFits(int64_t first, int64_t channels, int width) { return first >= 0 && first + width <= channels; }

PatchEntry PixelEntry(int device, int64_t first, int colourOrder) {
  const ColourOrder& colours = kColourOrders[static_cast<size_t>(std::clamp(colourOrder, 0, kColourOrderCount - 1))];
  return PatchEntry{device, static_cast<int32_t>(first + colours.red), static_cast<int32_t>(first + colours.green),
                    static_cast<int32_t>(first + colours.blue)};
}

FastPatchResult ApplyFastPatch(PatchTable& patch, const OutputDeviceList& devices, int startX, int startY,
                               FastPatchSettings& settings, int fromPixel) {
  FastPatchResult result;
  if (settings.device < 0 || settings.device >= devices.count()) return result;
  if (!HasSendBuffer(devices[settings.device].driver)) return result;
  if (settings.pixelOrder < 0 || settings.pixelOrder >= kPixelOrderCount) return result;
  if (settings.colourOrder < 0 || settings.colourOrder >= kColourOrderCount) return result;
  result.applied = true;
  const int64_t channels = devices[settings.device].channels;

  // Clip the area to the matrix.
  if (static_cast<int64_t>(startX) + settings.dimensionX > patch.width()) settings.dimensionX = patch.width() - startX;
  if (static_cast<int64_t>(startY) + settings.dimensionY > patch.height()) settings.dimensionY = patch.height() - startY;
  const bool inside = startX >= 0 && startY >= 0 && settings.dimensionX > 0 && settings.dimensionY > 0;
  const int areaW = inside ? settings.dimensionX : 0;
  const int areaH = inside ? settings.dimensionY : 0;
  result.areaPixels = areaW * areaH;

  const int order = settings.pixelOrder;
  const bool columns = order >= 8;
  const bool snake = (order & 4) != 0;
  const bool fromRight = (order & 1) != 0;
  const bool fromBottom = (order & 2) != 0;
  const int length = columns ? areaH : areaW;
  // The k-th pixel of the visiting order, relative to the area.
  auto visit = [&](int k, int& x, int& y) {
    const int i = k / length, j = k % length;
    const bool reversed = snake && (i % 2 == 1);
    if (columns) {
      x = fromRight ? areaW - 1 - i : i;
      y = (fromBottom != reversed) ? areaH - 1 - j : j;
    } else {
      y = fromBottom ? areaH - 1 - i : i;
      x = (fromRight != reversed) ? areaW - 1 - j : j;
    }
  };

  int64_t first = settings.firstChannel;
  int k = std::clamp(fromPixel, 0, result.areaPixels);
  for (; k < result.areaPixels; ++k) {
    // All three channels of the pixel must exist on the device.
    if (!PixelFits(first, channels)) break;
    int x = 0, y = 0;
    visit(k, x, y);
    patch.At(startX + x, startY + y) = PixelEntry(settings.device, first, settings.colourOrder);
    first += 3;
    ++result.patched;
  }
  result.next = k;
  if (k < result.areaPixels) {
    int x = 0, y = 0;
    visit(k, x, y);
    result.nextX = startX + x;
    result.nextY = startY + y;
  }
  if (!PixelFits(first, channels) || first > std::numeric_limits<int32_t>::max()) first = 0;
  settings.firstChannel = static_cast<int>(first);
  return result;
}

int NextDeviceLike(const OutputDeviceList& devices, int device) {
  if (device < 0 || device >= devices.count()) return -1;
  const OutputDevice& model = devices[device];
  for (int i = device + 1; i < devices.count(); ++i) {
    if (devices[i].driver == model.driver && devices[i].AddressText() == model.AddressText()) return i;
  }
  return -1;
}

}  // namespace quor
