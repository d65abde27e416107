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
  // A device with corrections[d] gets its gains and cap on the way in,
  // and each byte scaled by scales[d] unless that is kUnscaled (a power
  // budget); spans shorter than the device list leave the rest unchanged.
  // For a device whose budget InlineBudget says the plan takes itself,
  // Apply sets scales[d] from the device's bytes just before copying them,
  // while they are still in the cache.
  void Apply(const uint8_t* frame, std::span<uint8_t* const> buffers,
             std::span<const PreparedCorrection* const> corrections = {}, std::span<uint32_t> scales = {}) const;

  // True when the plan writes each of device d's channels at most once
  // and sends none of its pixels' colours to the discard byte. Then the
  // sum of its frame bytes after gains is exactly the sum of its channels
  // after Apply, as long as channels no run writes are zero: its budget
  // can be taken from the frame.
  bool WritesOnce(size_t device) const { return device < writesOnce_.size() && writesOnce_[device] != 0; }
  // WritesOnce, and the device's runs follow each other in the plan.
  bool InlineBudget(size_t device) const { return WritesOnce(device) && together_[device] != 0; }
  // Adds to sums[d] the frame bytes the plan copies to device d after the
  // gains and cap of budgets[d], for each device with budgets[d].
  void SumSources(const uint8_t* frame, std::span<const PreparedCorrection* const> budgets,
                  std::span<uint32_t> sums) const;

  int width() const { return width_; }
  int height() const { return height_; }
  const std::vector<PatchRun>& runs() const { return runs_; }

 private:
  int width_ = -1;
  int height_ = -1;
  std::vector<PatchRun> runs_;
  // Per device: see WritesOnce and InlineBudget; the device's last run.
  std::vector<uint8_t> writesOnce_;
  std::vector<uint8_t> together_;
  std::vector<uint32_t> lastRun_;
};

}  // namespace quor
