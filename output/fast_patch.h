// FastPatch: patches a rectangular area to consecutive channels of one
// device, visiting the pixels in one of 16 orders (rows or columns, same
// direction or snaking, from any corner) and placing each pixel's colours
// in one of 6 orders. The settings are kept between uses, and First Channel
// carries over so the next area continues where this one ended.
// UI thread, while output is stopped.
#pragma once

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

// Patches the area whose top-left pixel is (startX, startY), 0-based,
// clipped to the matrix (the kept Dimension X / Y are clipped too). Stops
// when the device's channels are used up; afterwards First Channel is the
// next free channel, or 0 when none is left. Returns false and changes
// nothing when the settings name no device that takes channels or an order
// outside the lists.
bool ApplyFastPatch(PatchTable& patch, const OutputDeviceList& devices, int startX, int startY,
                    FastPatchSettings& settings);

}  // namespace quor
