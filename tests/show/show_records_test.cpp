// Damaged scene and chase records. The layouts themselves are pinned by the
// project file's golden bytes.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <span>
#include <vector>

#include "show/chase.h"
#include "show/scene.h"

namespace quor {
namespace {

TEST(SceneRecord, NamesAreBoundedAndShortRecordsRefused) {
  Scene scene;
  SetNameText(scene.name, std::string(400, 'x'));
  EXPECT_EQ(scene.Name().size(), 253u);
  // A damaged record without any terminator still yields a bounded name.
  std::array<uint8_t, kSceneRecordSize> bytes{};
  std::memset(bytes.data(), 'y', 256);
  ASSERT_TRUE(ParseScene(bytes, scene));
  EXPECT_EQ(scene.Name(), std::string(256, 'y'));
  EXPECT_EQ(SerializeScene(scene), bytes);
  EXPECT_FALSE(ParseScene(std::span<const uint8_t>(bytes).first(kSceneRecordSize - 1), scene));
}

TEST(ChaseRecord, DamagedStepCountsReadOnlyWhatIsThere) {
  Chase chase;
  chase.steps = {ChaseStep{kStepScene, 0, 0, 0, 1000}};
  std::vector<uint8_t> bytes(kChaseRecordSize + kChaseStepRecordSize);
  ByteWriter out(bytes);
  WriteChaseWithSteps(chase, out);
  bytes[260] = 0xFF, bytes[261] = 0xFF, bytes[262] = 0xFF, bytes[263] = 0x7F;  // stepCount 2^31 - 1
  ByteReader in(bytes);
  const Chase huge = ReadChaseWithSteps(in);
  EXPECT_FALSE(in.ok());
  EXPECT_EQ(huge.steps, chase.steps);
  EXPECT_GE(huge.stepCapacity, 1);
  bytes[263] = 0xFF;  // stepCount -1
  ByteReader negative(bytes);
  EXPECT_EQ(ReadChaseWithSteps(negative).StepCount(), 0);
}

}  // namespace
}  // namespace quor
