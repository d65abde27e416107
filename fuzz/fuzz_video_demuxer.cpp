// libFuzzer target: arbitrary bytes as a video file for the Video Player.
// The demuxer and decoder open the bytes from memory (never any other file
// or URL), decode a few frames and scale them onto a 16 x 8 matrix in every
// placement; damaged input must end in an error text, never in a crash.
#include <cstddef>
#include <cstdint>
#include <span>

#include "generators/video_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quor::ProbeVideoBytes(std::span<const uint8_t>(data, size), 8);
  return 0;
}
