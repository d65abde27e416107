#include "output/patch_plan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace quor {

void PatchPlan::Build(const PatchTable& patch, int width, int height, std::span<const PatchTarget> targets) {
  runs_.clear();
  writesOnce_.assign(targets.size(), 1);
  std::vector<std::vector<bool>> written(targets.size());
  width_ = width;
  height_ = height;
  const int columns = std::clamp(std::min(width, patch.width()), 0, width > 0 ? width : 0);
  const int rows = std::clamp(std::min(height, patch.height()), 0, height > 0 ? height : 0);
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < columns; ++x) {
      const PatchEntry& e = patch.At(x, y);
      if (e.device < 0 || static_cast<size_t>(e.device) >= targets.size()) continue;
      const PatchTarget& t = targets[static_cast<size_t>(e.device)];
      if (t.channels < 0) continue;
      const int32_t channel[3] = {e.red, e.green, e.blue};
      uint32_t offset[3];
      bool any = false;
      for (int c = 0; c < 3; ++c) {
        const bool inside = channel[c] >= 0 && channel[c] < t.channels;
        offset[c] = inside ? static_cast<uint32_t>(t.headerLength + channel[c]) : t.discardOffset;
        any = any || inside;
      }
      if (!any) continue;
      std::vector<bool>& seen = written[static_cast<size_t>(e.device)];
      seen.resize(static_cast<size_t>(t.channels));
      for (int c = 0; c < 3; ++c) {
        const bool inside = channel[c] >= 0 && channel[c] < t.channels;
        if (!inside || seen[static_cast<size_t>(channel[c])]) {
          writesOnce_[static_cast<size_t>(e.device)] = 0;
        } else {
          seen[static_cast<size_t>(channel[c])] = true;
        }
      }
      const uint32_t pixel = static_cast<uint32_t>(y) * static_cast<uint32_t>(width) + static_cast<uint32_t>(x);

      if (!runs_.empty()) {
        PatchRun& r = runs_.back();
        if (r.device == static_cast<uint32_t>(e.device) && r.pixel + r.count == pixel) {
          // Offsets of the run's last pixel, and the step this pixel would need.
          const int64_t last = static_cast<int64_t>(r.count - 1) * r.step;
          const int64_t step = static_cast<int64_t>(offset[0]) - (r.offset[0] + last);
          const bool even = static_cast<int64_t>(offset[1]) - (r.offset[1] + last) == step &&
                            static_cast<int64_t>(offset[2]) - (r.offset[2] + last) == step;
          if (even && (r.count == 1 || step == r.step)) {
            r.step = static_cast<int32_t>(step);
            ++r.count;
            r.contiguous = r.step == 3 && r.offset[1] == r.offset[0] + 1 && r.offset[2] == r.offset[0] + 2;
            continue;
          }
        }
      }
      PatchRun run;
      run.pixel = pixel;
      run.count = 1;
      run.device = static_cast<uint32_t>(e.device);
      std::copy_n(offset, 3, run.offset);
      run.contiguous = offset[1] == offset[0] + 1 && offset[2] == offset[0] + 2;
      run.step = 3;
      runs_.push_back(run);
    }
  }
  together_.assign(targets.size(), 1);
  lastRun_.assign(targets.size(), UINT32_MAX);
  for (uint32_t i = 0; i < runs_.size(); ++i) {
    const uint32_t d = runs_[i].device;
    if (lastRun_[d] != UINT32_MAX && lastRun_[d] + 1 != i) together_[d] = 0;
    lastRun_[d] = i;
  }
}

void PatchPlan::Apply(const uint8_t* frame, std::span<uint8_t* const> buffers,
                      std::span<const PreparedCorrection* const> corrections,
                      std::span<uint32_t> scales) const {
  for (size_t index = 0; index < runs_.size(); ++index) {
    const PatchRun& r = runs_[index];
    const uint8_t* src = frame + static_cast<size_t>(r.pixel) * 3;
    uint8_t* dst = buffers[r.device];
    const PreparedCorrection* correction = r.device < corrections.size() ? corrections[r.device] : nullptr;
    const bool scalable = r.device < scales.size();
    if (correction != nullptr && scalable && correction->HasBudget() && InlineBudget(r.device) &&
        (index == 0 || runs_[index - 1].device != r.device)) {
      // The first of the device's runs: its sum from all of them.
      uint32_t sum = 0;
      for (size_t i = index; i <= lastRun_[r.device]; ++i) {
        sum += correction->GainSum(frame + static_cast<size_t>(runs_[i].pixel) * 3,
                                   static_cast<size_t>(runs_[i].count) * 3);
      }
      scales[r.device] = correction->ScaleFor(sum).factor;
    }
    const uint32_t scale = scalable ? scales[r.device] : kUnscaled;
    if (r.contiguous) {
      if (correction == nullptr) {
        std::memcpy(dst + r.offset[0], src, static_cast<size_t>(r.count) * 3);
      } else {
        correction->GainCopy(dst + r.offset[0], src, static_cast<size_t>(r.count) * 3, scale);
      }
      continue;
    }
    const auto copy = [&r, src, dst](auto value) {
      const uint8_t* from = src;
      ptrdiff_t red = r.offset[0];
      ptrdiff_t green = r.offset[1];
      ptrdiff_t blue = r.offset[2];
      for (uint32_t i = 0; i < r.count; ++i, from += 3) {
        dst[red] = value(from[0], 0);
        dst[green] = value(from[1], 1);
        dst[blue] = value(from[2], 2);
        red += r.step;
        green += r.step;
        blue += r.step;
      }
    };
    if (correction == nullptr) {
      copy([](uint8_t v, size_t) { return v; });
    } else {
      copy([correction, scale](uint8_t v, size_t c) { return correction->GainOne(v, c, scale); });
    }
  }
}

void PatchPlan::SumSources(const uint8_t* frame, std::span<const PreparedCorrection* const> budgets,
                           std::span<uint32_t> sums) const {
  for (const PatchRun& r : runs_) {
    if (r.device >= budgets.size() || budgets[r.device] == nullptr || r.device >= sums.size()) continue;
    const uint8_t* src = frame + static_cast<size_t>(r.pixel) * 3;
    sums[r.device] += budgets[r.device]->GainSum(src, static_cast<size_t>(r.count) * 3);
  }
}

}  // namespace quor
