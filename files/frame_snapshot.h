// Writes one RgbFrame as a PNG picture, enlarged by a whole factor so that
// its longer side is at least `minLongSide` pixels (each matrix pixel becomes
// a sharp square). Any thread (Qt image encoding only).
#pragma once

#include <cstdint>
#include <string>

#include "core/rgb_frame.h"

namespace quor {

// The whole factor that brings the longer side to at least `minLongSide`.
int SnapshotScale(int width, int height, int minLongSide);

// Returns false and describes the problem in *error when the file cannot be
// written; the file is written to a temporary name first, so an existing
// picture is never left half-written.
bool WriteFrameSnapshot(const std::string& path, FrameView frame, int minLongSide, std::string* error);

}  // namespace quor
