// Glediator File Recorder: frames stored column by column (x outer, y
// inner), R G B per pixel with the top bit inverted; no header and no
// separator. Pure; any thread.
#pragma once

#include <cstdint>
#include <vector>

#include "core/rgb_frame.h"

namespace quor {

// Replaces `out` with width x height x 3 bytes; column x occupies bytes
// x * height * 3 .. (x + 1) * height * 3 - 1.
void EncodeRecorderFrame(FrameView frame, std::vector<uint8_t>& out);

}  // namespace quor
