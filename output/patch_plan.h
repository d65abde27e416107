// The patch prepared for sending: the patch table turned into runs of
// consecutive pixels whose channel positions advance evenly, with every
// position checked against the device's buffer once, when the plan is
// built. Applying a plan is a handful of copies per run instead of a table
// look-up per pixel, and can never write outside a device buffer: a channel
// outside the device's channel count goes to the buffer's discard byte.
// Built on the UI thread (or the sending thread while nothing edits the
// patch), applied on the sending thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "output/patch_table.h"
#include "output/power_limit.h"

namespace quor {

// Where device d's channels sit in its send buffer; channels < 0 for a
// device without a buffer (nothing is ever patched into it).
struct PatchTarget {
  int32_t headerLength = 0;
  int32_t channels = -1;
  uint32_t discardOffset = 0;  // a byte of the buffer that no encoder sends
};

struct PatchRun {
  uint32_t pixel = 0;  // first frame pixel, row-major
  uint32_t count = 0;
  uint32_t device = 0;
  uint32_t offset[3] = {};  // buffer offsets of the first pixel's R, G, B
  int32_t step = 0;         // change of all three offsets per pixel
  bool contiguous = false;  // step 3 and offsets o, o+1, o+2: a plain copy
};

class PatchPlan {
 public:
  // Plans a width x height frame. Pixels outside the patch's own size and
  // entries naming a device outside `targets` are not sent.
  void Build(const PatchTable& patch, int width, int height, std::span<const PatchTarget> targets);
  // buffers[d] is device d's send buffer (size >= what Build was told).
  // With `scales`, every byte copied to a device d whose scales[d] is not
  // kUnscaled becomes floor(v * scales[d] / 65536) (a power budget).
  void Apply(const uint8_t* frame, std::span<uint8_t* const> buffers, std::span<const uint32_t> scales = {}) const;

  // True when the plan writes each of device d's channels at most once
  // and sends none of its pixels' colours to the discard byte. Then the
  // frame bytes SumSources adds up for d are exactly the sum of its
  // channels after Apply, as long as channels no run writes are zero.
  bool WritesOnce(size_t device) const { return device < writesOnce_.size() && writesOnce_[device] != 0; }
  // Adds to sums[d] the frame bytes the plan copies to device d, for each
  // device with want[d] != 0 (both spans cover every device).
  void SumSources(const uint8_t* frame, std::span<const uint8_t> want, std::span<uint32_t> sums) const;

  int width() const { return width_; }
  int height() const { return height_; }
  const std::vector<PatchRun>& runs() const { return runs_; }

 private:
  int width_ = -1;
  int height_ = -1;
  std::vector<PatchRun> runs_;
  std::vector<uint8_t> writesOnce_;  // per device
};

}  // namespace quor
