// FastPatch: patches a rectangular area to consecutive channels of one
// device, visiting the pixels in one of 16 orders (rows or columns, same
// direction or snaking, from any corner) and placing each pixel's colours
// in one of 6 orders. The settings are kept between uses, and First Channel
// carries over so the next area continues where this one ended.
// UI thread, while output is stopped.
#pragma once

#include <cstdint>

#include "output/device_list.h"
#include "output/patch_table.h"

namespace quor {

inline constexpr int kPixelOrderCount = 16;
inline constexpr int kColourOrderCount = 6;

struct FastPatchSettings {
  int dimensionX = 16;
  int dimensionY = 8;
  int firstChannel = 0;  // 0-based channel of the first visited pixel
  int pixelOrder = 0;    // 0..15
  int colourOrder = 0;   // 0..5
  int device = 0;        // index into the device list
};

const char* PixelOrderName(int order);   // "" outside the range
const char* ColourOrderName(int order);  // "" outside the range

// The channel arithmetic FastPatch uses for one pixel, shared with every
// other way of patching runs of pixels: the pixel fits when all its
// `width` channels from `first` on lie below the device's `channels`, and
// its entry places red, green and blue at `first` plus the colour order's
// offsets (`colourOrder` 0..5).
bool PixelFits(int64_t first, int64_t channels, int width = 3);
PatchEntry PixelEntry(int device, int64_t first, int colourOrder);

// What one FastPatch did. The area's pixels are counted in the visiting
// order; `next` is the first one left unpatched (== `areaPixels` when the
// whole area was patched), at matrix pixel (nextX, nextY).
struct FastPatchResult {
  bool applied = false;  // false: nothing changed (no such device or order)
  int areaPixels = 0;
  int patched = 0;       // pixels patched by this call
  int next = 0;
  int nextX = 0;
  int nextY = 0;
  bool complete() const { return applied && next >= areaPixels; }
  explicit operator bool() const { return applied; }
};

// Patches the area whose top-left pixel is (startX, startY), 0-based,
// clipped to the matrix (the kept Dimension X / Y are clipped too),
// beginning with the `fromPixel`th pixel of the visiting order (a
// continuation on another device). A pixel is patched only when all three
// of its channels lie below the device's channel count; the patch stops at
// the first that does not fit. Afterwards First Channel is the next free
// channel, or 0 when no whole pixel is left on the device. Changes nothing
// when the settings name no device that takes channels or an order outside
// the lists.
FastPatchResult ApplyFastPatch(PatchTable& patch, const OutputDeviceList& devices, int startX, int startY,
                               FastPatchSettings& settings, int fromPixel = 0);

// The next device after `device` in the list with the same driver and
// address (a matrix spread over consecutive universes of one node), or -1.
int NextDeviceLike(const OutputDeviceList& devices, int device);

}  // namespace quor
