#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <span>
#include <vector>

#include "show/chase.h"
#include "show/scene.h"

namespace quor {
namespace {

// The little-endian word at `offset`.
uint32_t U32At(std::span<const uint8_t> bytes, size_t offset) {
  return bytes[offset] | (bytes[offset + 1] << 8) | (bytes[offset + 2] << 16) | (uint32_t{bytes[offset + 3]} << 24);
}

TEST(SceneRecord, FieldsSitAtTheirOffsetsLittleEndianAndRoundTrip) {
  Scene scene;
  SetNameText(scene.name, "Intro");
  scene.types = {7, 14, 0, 1};
  scene.speeds = {25, 5, 12, 0x01020304};
  scene.inverts = {1, 0, 0, 1};
  for (size_t s = 0; s < 4; ++s) {
    scene.settings[s][0] = static_cast<uint8_t>(0xA0 + s);
    scene.settings[s][1023] = static_cast<uint8_t>(0xB0 + s);
  }
  scene.mergeModes = {2, 9, 0};
  scene.masterfades = {0, 255, 128};

  const auto bytes = SerializeScene(scene);
  ASSERT_EQ(bytes.size(), 4424u);
  EXPECT_EQ(std::memcmp(bytes.data(), "Intro\0", 6), 0);
  // {offset, value}: types, speeds, inverts, merge modes, masterfades.
  const std::pair<size_t, uint32_t> words[] = {{256, 7},   {268, 1},    {272, 25},   {300, 1},
                                               {4400, 2},  {4404, 9},   {4416, 255}, {4420, 128}};
  for (auto [offset, value] : words) EXPECT_EQ(U32At(bytes, offset), value) << offset;
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 284, bytes.begin() + 288),
            (std::vector<uint8_t>{0x04, 0x03, 0x02, 0x01}));  // speeds[3], low byte first
  EXPECT_EQ(bytes[304], 0xA0);                // settings[0][0]
  EXPECT_EQ(bytes[304 + 1024 + 1023], 0xB1);  // settings[1][1023]
  EXPECT_EQ(bytes[304 + 3 * 1024], 0xA3);     // settings[3][0]

  Scene back;
  ASSERT_TRUE(ParseScene(bytes, back));
  EXPECT_EQ(SerializeScene(back), bytes);
  EXPECT_EQ(back.Name(), "Intro");
  EXPECT_FALSE(ParseScene(std::span<const uint8_t>(bytes.data(), bytes.size() - 1), back));
}

TEST(SceneRecord, NamesAreBoundedOnEntryAndOnDamagedInput) {
  Scene scene;
  SetNameText(scene.name, std::string(400, 'x'));
  EXPECT_EQ(scene.Name().size(), 253u);
  // A damaged record without any terminator still yields a bounded name.
  std::array<uint8_t, kSceneRecordSize> bytes{};
  std::memset(bytes.data(), 'y', 256);
  ASSERT_TRUE(ParseScene(bytes, scene));
  EXPECT_EQ(scene.Name(), std::string(256, 'y'));
}

TEST(ChaseRecord, HeaderAndStepsHaveTheStoredLayout) {
  Chase chase;
  SetNameText(chase.name, "Run");
  chase.loop = 1;
  chase.steps = {ChaseStep{kStepCrossfade, 2, 0, 1, 1500}, ChaseStep{kStepScene, 3, 27, 0, -1}};
  std::vector<uint8_t> bytes(272 + 2 * 20);
  ByteWriter out(bytes);
  WriteChaseWithSteps(chase, out);
  ASSERT_TRUE(out.ok());
  ASSERT_EQ(out.position(), bytes.size());
  EXPECT_EQ(std::memcmp(bytes.data(), "Run\0", 4), 0);
  // loop, stepCount, stepCapacity 5, an address slot that is not a file
  // field, then each step's kind, value, fade, autofade and duration.
  const std::vector<uint32_t> words = {1, 2, 5, 0, kStepCrossfade, 2, 0, 1, 1500, kStepScene, 3, 27, 0, 0xFFFFFFFF};
  for (size_t i = 0; i < words.size(); ++i) EXPECT_EQ(U32At(bytes, 256 + 4 * i), words[i]) << "word " << i;

  ByteReader in(bytes);
  const Chase back = ReadChaseWithSteps(in);
  EXPECT_TRUE(in.ok());
  EXPECT_EQ(back.Name(), "Run");
  EXPECT_EQ(back.steps, chase.steps);
  EXPECT_EQ(back.stepCapacity, 5);
}

TEST(ChaseRecord, DamagedStepCountsReadOnlyWhatIsThere) {
  Chase chase;
  chase.steps = {ChaseStep{kStepScene, 0, 0, 0, 1000}};
  std::vector<uint8_t> bytes(272 + 20);
  ByteWriter out(bytes);
  WriteChaseWithSteps(chase, out);
  bytes[260] = 0xFF, bytes[261] = 0xFF, bytes[262] = 0xFF, bytes[263] = 0x7F;  // stepCount 2^31 - 1
  ByteReader in(bytes);
  const Chase huge = ReadChaseWithSteps(in);
  EXPECT_FALSE(in.ok());
  EXPECT_EQ(huge.StepCount(), 1);
  EXPECT_GE(huge.stepCapacity, 1);
  bytes[263] = 0xFF;  // stepCount -1
  ByteReader negative(bytes);
  EXPECT_EQ(ReadChaseWithSteps(negative).StepCount(), 0);
}

}  // namespace
}  // namespace quor
