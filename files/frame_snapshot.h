// Writes one RgbFrame as a PNG picture, enlarged by a whole factor so that
// its longer side is at least `minLongSide` pixels (each matrix pixel becomes
// a sharp square). Any thread (Qt image encoding only).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/rgb_frame.h"
#include "platform/failure.h"

namespace quor {

// The whole factor that brings the longer side to at least `minLongSide`.
int SnapshotScale(int width, int height, int minLongSide);

// Empty when the picture was written, else the failure that stopped it; the
// file is written to a temporary name first, so an existing picture is never
// left half-written.
std::optional<Failure> WriteFrameSnapshot(const std::string& path, FrameView frame, int minLongSide);

}  // namespace quor
