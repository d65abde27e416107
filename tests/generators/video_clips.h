// Test clips for the Video Player, made at test time by the ffmpeg program
// into a test folder (nothing large lives in the tree).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/rgb_frame.h"

namespace quor::test {

inline bool HaveFfmpeg() { return std::system("command -v ffmpeg >/dev/null 2>&1") == 0; }

#define QUOR_NEED_FFMPEG()                                                                          \
  do {                                                                                               \
    if (!::quor::test::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is missing: run tools/deps --test";      \
  } while (0)

// Runs ffmpeg with `arguments` (lavfi sources, codec options) writing `path`; true on success.
inline bool Ffmpeg(const std::string& arguments, const std::string& path) {
  const std::string command = "ffmpeg -hide_banner -loglevel error -nostdin -y " + arguments + " '" + path + "'";
  const bool ok = std::system(command.c_str()) == 0;
  EXPECT_TRUE(ok) << command;
  return ok;
}

// The test pattern's frame n is one colour: red 5 (n + first), green 255 - 5 (n + first), blue 40 n, all mod 256.
inline Rgb PatternColor(int n, int first = 0) {
  const int k = n + first;
  return {uint8_t(k * 5 % 256), uint8_t(255 - k * 5 % 256), uint8_t(n * 40 % 256)};
}

// A losslessly coded (FFV1, planar RGB) clip of `frames` frames of the test pattern at 25 fps.
inline bool MakePatternClip(const std::string& path, int frames, int first = 0, int width = 64, int height = 36) {
  const std::string source = "color=c=black:s=" + std::to_string(width) + "x" + std::to_string(height) +
                             ":r=25,format=gbrp,geq=r='mod((N+" + std::to_string(first) + ")*5,256)':g='255-mod((N+" +
                             std::to_string(first) + ")*5,256)':b='mod(N*40,256)'";
  return Ffmpeg("-f lavfi -i \"" + source + "\" -frames:v " + std::to_string(frames) + " -c:v ffv1 -pix_fmt gbrp",
                path);
}

}  // namespace quor::test
