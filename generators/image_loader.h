// Image decoding for the Image Viewer, meant to run off the clock thread:
// a file (or bytes) becomes a list of 24-bit RGB frames (all frames of an
// animated GIF, all pages of a multi-page TIFF). The size of what is decoded
// is capped before decoding starts, so a huge or hostile file ends in an
// error text, never in an out-of-memory. Also the walk over a slideshow
// folder. Any thread; no shared state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QIODevice;

namespace quor {

// One frame may hold at most this many pixels (4096 x 4096); all frames of
// one file together at most kMaxDecodedBytes of RGB data and kMaxImageFrames
// frames. Frames beyond those limits are left out.
inline constexpr int64_t kMaxImagePixels = int64_t{4096} * 4096;
inline constexpr int64_t kMaxDecodedBytes = int64_t{96} << 20;
inline constexpr int kMaxImageFrames = 1000;

struct DecodedImage {
  int width = 0;   // of the first frame; every frame has this size
  int height = 0;
  std::vector<std::vector<uint8_t>> frames;  // width * height * 3 bytes each, R, G, B
};

struct ImageDecodeResult {
  std::shared_ptr<const DecodedImage> image;  // null when nothing could be decoded
  std::string error;                          // why not, or why frames were left out
};

ImageDecodeResult DecodeImageFile(const std::string& path);
ImageDecodeResult DecodeImageBytes(const uint8_t* data, size_t size);

// True for names ending (in any case) in .gif .jpg .jpeg .jpe .bmp .png .tif .tiff.
bool IsImageFileName(std::string_view name);

// The slideshow's walk over a folder: each call returns the next image file
// after the one returned last, in name order, starting again from the first
// when the folder runs out; empty when the folder holds no image file (or
// cannot be read). The listing is read again at every restart, so files
// added meanwhile are picked up.
class SlideshowWalk {
 public:
  void Reset(std::string folder);
  std::string Next();

 private:
  void ReadListing();

  std::string folder_;
  std::vector<std::string> entries_;
  size_t cursor_ = 0;
  bool open_ = false;
};

}  // namespace quor
