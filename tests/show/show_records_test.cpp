#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "show/chase.h"
#include "show/scene.h"

namespace quor {
namespace {

uint32_t U32At(const uint8_t* bytes, size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) | (static_cast<uint32_t>(bytes[offset + 1]) << 8) |
         (static_cast<uint32_t>(bytes[offset + 2]) << 16) | (static_cast<uint32_t>(bytes[offset + 3]) << 24);
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
  EXPECT_EQ(bytes[255], 0);
  EXPECT_EQ(U32At(bytes.data(), 256), 7u);   // types[0]
  EXPECT_EQ(U32At(bytes.data(), 268), 1u);   // types[3]
  EXPECT_EQ(U32At(bytes.data(), 272), 25u);  // speeds[0]
  const std::array<uint8_t, 4> speed3 = {0x04, 0x03, 0x02, 0x01};  // speeds[3], low byte first
  EXPECT_EQ(std::memcmp(bytes.data() + 284, speed3.data(), 4), 0);
  EXPECT_EQ(U32At(bytes.data(), 288), 1u);     // inverts[0]
  EXPECT_EQ(U32At(bytes.data(), 300), 1u);     // inverts[3]
  EXPECT_EQ(bytes[304], 0xA0);                 // settings[0][0]
  EXPECT_EQ(bytes[304 + 1024 + 1023], 0xB1);   // settings[1][1023]
  EXPECT_EQ(bytes[304 + 3 * 1024], 0xA3);      // settings[3][0]
  EXPECT_EQ(U32At(bytes.data(), 4400), 2u);    // mergeModes[0]: channel 1
  EXPECT_EQ(U32At(bytes.data(), 4404), 9u);    // mergeModes[1]: channel 2
  EXPECT_EQ(U32At(bytes.data(), 4416), 255u);  // masterfades[1]
  EXPECT_EQ(U32At(bytes.data(), 4420), 128u);  // masterfades[2]: crossfader

  Scene back;
  ASSERT_TRUE(ParseScene(bytes, back));
  EXPECT_EQ(SerializeScene(back), bytes);
  EXPECT_EQ(back.Name(), "Intro");

  // One byte short is refused.
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
  const std::vector<uint8_t> tail(bytes.begin() + 256, bytes.end());
  const std::vector<uint8_t> expected = {
      0x01, 0x00, 0x00, 0x00,  // loop
      0x02, 0x00, 0x00, 0x00,  // stepCount
      0x05, 0x00, 0x00, 0x00,  // stepCapacity
      0x00, 0x00, 0x00, 0x00,  // step array address: not a file field
      0x02, 0x00, 0x00, 0x00,  // step 0 kind: Crossfade
      0x02, 0x00, 0x00, 0x00,  // value: glide right
      0x00, 0x00, 0x00, 0x00,  // fade
      0x01, 0x00, 0x00, 0x00,  // autofade
      0xDC, 0x05, 0x00, 0x00,  // duration 1500 ms
      0x00, 0x00, 0x00, 0x00,  // step 1 kind: Scene
      0x03, 0x00, 0x00, 0x00,  // value: scene 3
      0x1B, 0x00, 0x00, 0x00,  // fade 27
      0x00, 0x00, 0x00, 0x00,  // autofade
      0xFF, 0xFF, 0xFF, 0xFF,  // duration -1
  };
  EXPECT_EQ(tail, expected);

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
