#include "output/patch_plan.h"

#include <gtest/gtest.h>

#include <random>

namespace quor {
namespace {

// The patch applied entry by entry, skipping channels outside the device.
void ApplyDirectly(const PatchTable& patch, const uint8_t* frame, std::span<const PatchTarget> targets,
                   std::vector<std::vector<uint8_t>>& buffers) {
  for (size_t i = 0; i < patch.entries().size(); ++i) {
    const PatchEntry& e = patch.entries()[i];
    if (e.device < 0 || static_cast<size_t>(e.device) >= targets.size()) continue;
    const PatchTarget& t = targets[static_cast<size_t>(e.device)];
    const int channel[3] = {e.red, e.green, e.blue};
    for (size_t c = 0; c < 3; ++c) {
      if (channel[c] < 0 || channel[c] >= t.channels) continue;
      buffers[static_cast<size_t>(e.device)][static_cast<size_t>(t.headerLength + channel[c])] = frame[i * 3 + c];
    }
  }
}

TEST(PatchPlan, MatchesEntryByEntryApplicationAndNeverLeavesTheBuffer) {
  const std::vector<PatchTarget> targets = {{18, 512, 531}, {4, 30, 35}, {0, -1, 0}, {1, 90, 92}};
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    PatchTable patch(13, 7);
    // Straight and reversed runs, odd colour orders, stray and hostile entries.
    int channel = static_cast<int>(random() % 40);
    for (PatchEntry& e : patch.entries()) {
      const int kind = static_cast<int>(random() % 10);
      if (kind < 4) {
        e = PatchEntry{0, channel, channel + 1, channel + 2};
        channel += 3;
      } else if (kind < 6) {
        e = PatchEntry{3, 90 - channel % 90, 91 - channel % 90, 89 - channel % 90};
        channel += 3;
      } else if (kind == 6) {
        e = PatchEntry{static_cast<int32_t>(random() % 5), static_cast<int32_t>(random() % 700) - 100,
                       static_cast<int32_t>(random()), -static_cast<int32_t>(random() % 3)};
      } else if (kind == 7) {
        e = PatchEntry{1, 27, 28, 29};
      }
    }
    std::vector<uint8_t> frame(13 * 7 * 3);
    for (uint8_t& b : frame) b = static_cast<uint8_t>(random());
    std::vector<std::vector<uint8_t>> expected;
    for (const PatchTarget& t : targets) {
      expected.emplace_back(t.channels < 0 ? 4 : static_cast<size_t>(t.headerLength + t.channels) + 2, 0x55);
    }
    std::vector<std::vector<uint8_t>> actual = expected;
    ApplyDirectly(patch, frame.data(), targets, expected);
    PatchPlan plan;
    plan.Build(patch, 13, 7, targets);
    std::vector<uint8_t*> pointers;
    for (auto& b : actual) pointers.push_back(b.data());
    plan.Apply(frame.data(), pointers);
    for (size_t d = 0; d < targets.size(); ++d) {
      actual[d][targets[d].discardOffset] = 0x55;  // the discard byte may hold anything
      EXPECT_EQ(actual[d], expected[d]) << "round " << round << " device " << d;
    }
  }
}

TEST(PatchPlan, StraightPatchBecomesOneCopyPerDevice) {
  PatchTable patch(4, 4);
  int channel = 0;
  for (PatchEntry& e : patch.entries()) {
    e = PatchEntry{channel < 24 ? 0 : 1, channel % 24, channel % 24 + 1, channel % 24 + 2};
    channel += 3;
  }
  const std::vector<PatchTarget> targets = {{18, 24, 43}, {18, 24, 43}};
  PatchPlan plan;
  plan.Build(patch, 4, 4, targets);
  ASSERT_EQ(plan.runs().size(), 2u);
  EXPECT_TRUE(plan.runs()[0].contiguous);
  EXPECT_EQ(plan.runs()[1].count, 8u);

  // A frame larger than the patch only uses the patched part.
  plan.Build(patch, 6, 5, targets);
  EXPECT_EQ(plan.runs().size(), 4u);  // one per row: rows no longer follow on
}

}  // namespace
}  // namespace quor
