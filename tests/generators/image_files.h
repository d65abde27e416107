// Image files written byte by byte for the Image Viewer tests and the fuzz seeds: animated GIFs and multi-page TIFFs
// (which Qt cannot write), and damaged or hostile headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/rgb_frame.h"

namespace quor::test {

using Bytes = std::vector<uint8_t>;

// An animated GIF of width x height whose frame i is filled with colours[i] (at most 4 distinct colours in all), each
// frame shown 100 ms.
Bytes AnimatedGif(int width, int height, const std::vector<Rgb>& colours);
// An uncompressed RGB TIFF with one page per colour, each filled with it.
Bytes MultiPageTiff(int width, int height, const std::vector<Rgb>& colours);
// A PNG that declares width x height but holds no picture data.
Bytes PngHeaderOnly(uint32_t width, uint32_t height);
// A PNG of the given picture (RGB bytes), through Qt's writer.
Bytes Png(int width, int height, const std::vector<uint8_t>& rgb);

void WriteFile(const std::string& path, const Bytes& bytes);

}  // namespace quor::test
