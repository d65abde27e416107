// New Matrix Output: the planner (devices, universes, channel counts, refusals, the patch's order) and applying a
// plan to the engine.
#include "engine/matrix_output.h"
#include "output/device_editor.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "engine/engine.h"
#include "output/fast_patch.h"
#include "output/sacn_encoder.h"
#include "test_support.h"

namespace quor {
namespace {

MatrixOutputSettings Settings(int driver, int startUniverse, int perUniverse, std::string address = "10.0.0.7") {
  MatrixOutputSettings s;
  s.driver = driver, s.startUniverse = startUniverse, s.pixelsPerUniverse = perUniverse, s.address = address;
  return s;
}

TEST(MatrixOutputPlan, DevicesUniversesAndChannelCountsFollowTheSettings) {
  struct Case {
    const char* name;
    MatrixOutputSettings settings;
    int width, height;
    std::vector<int> channels;  // of each planned device
    int universes;
    int heldPerUniverse;
  };
  const Case cases[] = {
      {"Art-Net 170 a universe: the last holds the 2 pixels left",
       Settings(kDriverArtNet, 0, 170),
       32,
       16,
       {510, 510, 510, 6},
       4,
       170},
      {"whole rows per universe", Settings(kDriverArtNet, 0, 128), 32, 16, {384, 384, 384, 384}, 4, 128},
      {"Art-Net channel counts are even",
       Settings(kDriverArtNet, 0, 85),
       32,
       16,
       {256, 256, 256, 256, 256, 256, 6},
       7,
       85},
      {"more than a universe holds is held to 170",
       Settings(kDriverArtNet, 0, 500),
       32,
       16,
       {510, 510, 510, 6},
       4,
       170},
      {"fewer than one pixel is held to 1", Settings(kDriverArtNet, 0, 0), 2, 2, {4, 4, 4, 4}, 4, 1},
      {"sACN keeps odd counts", Settings(kDriverSacn, 1, 85), 10, 10, {255, 45}, 2, 85},
      {"sACN to the multicast group", Settings(kDriverSacn, 7, 170, ""), 16, 8, {384}, 1, 170},
      {"DDP: one device, packets of 480 pixels", Settings(kDriverDdp, 0, 170), 32, 16, {1536}, 2, 170},
      {"tpm2.net: one device, packets of the pixels per universe",
       Settings(kDriverTpm2Net, 0, 170),
       32,
       16,
       {1536},
       4,
       170},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const MatrixOutputPlan plan = PlanMatrixOutput(c.settings, c.width, c.height);
    ASSERT_TRUE(plan.ok()) << plan.error;
    std::vector<int> channels;
    for (const OutputDevice& d : plan.devices) {
      channels.push_back(d.channels);
      EXPECT_EQ(d.driver, c.settings.driver);
      EXPECT_EQ(d.AddressText(), c.settings.address);
    }
    EXPECT_EQ(channels, c.channels);
    EXPECT_EQ(plan.universes, c.universes);
    EXPECT_EQ(plan.settings.pixelsPerUniverse, c.heldPerUniverse);
    EXPECT_EQ(plan.patch.width(), c.width);
    EXPECT_EQ(plan.patch.height(), c.height);
    if (c.settings.driver == kDriverTpm2Net) {
      EXPECT_EQ(plan.devices[0].driverParam, 510);  // channels per packet
    }
  }
}

TEST(MatrixOutputPlan, UniversesCountOnFromTheStartUniverse) {
  // Art-Net's 15-bit port address carries from Universe into Subnet and Net.
  const MatrixOutputPlan artNet = PlanMatrixOutput(Settings(kDriverArtNet, 0x1FF, 170), 32, 16);
  ASSERT_TRUE(artNet.ok()) << artNet.error;
  std::vector<std::tuple<int, int, int>> addresses;
  for (const OutputDevice& d : artNet.devices) {
    addresses.emplace_back(d.driverParam, d.subnet, d.universe);
    EXPECT_EQ(d.port, kArtNetPort);
    EXPECT_EQ(d.headerLength, 18);
  }
  EXPECT_EQ(addresses, (std::vector<std::tuple<int, int, int>>{{1, 15, 15}, {2, 0, 0}, {2, 0, 1}, {2, 0, 2}}));
  EXPECT_EQ(PlanSummary(artNet),
            "4 Art-Net devices, one per universe (1:15:15 to 2:0:2): 3 x 510 channels, 1 x 6 "
            "channels.");

  const MatrixOutputPlan sacn = PlanMatrixOutput(Settings(kDriverSacn, 63998, 170), 20, 17);
  ASSERT_TRUE(sacn.ok()) << sacn.error;
  ASSERT_EQ(sacn.devices.size(), 2u);
  EXPECT_EQ(sacn.devices[0].universe, 63998);
  EXPECT_EQ(sacn.devices[1].universe, 63999);
  EXPECT_EQ(sacn.devices[0].driverParam, kSacnDefaultPriority);
  EXPECT_EQ(PlanSummary(sacn), "2 sACN devices, one per universe (63998 to 63999): 2 x 510 channels.");
  EXPECT_EQ(PlanSummary(PlanMatrixOutput(Settings(kDriverDdp, 0, 170), 32, 16)),
            "1 DDP device: 1536 channels (512 pixels), sent in 2 packets per frame.");
}

TEST(MatrixOutputPlan, WhatDoesNotFitIsRefusedWithAMessageAndNothingPlanned) {
  struct Case {
    const char* name;
    MatrixOutputSettings settings;
    int width, height, room;
    const char* says;  // part of the message
  };
  MatrixOutputSettings badWiring = Settings(kDriverArtNet, 0, 170);
  badWiring.wiring = 4;
  MatrixOutputSettings badColour = Settings(kDriverArtNet, 0, 170);
  badColour.colourOrder = 6;
  const Case cases[] = {
      {"Art-Net port addresses end at 127:15:15", Settings(kDriverArtNet, 32767, 170), 32, 16, kMaxDevices,
       "needs 4 universes of 170 pixels from universe 127:15:15 on, but Art-Net universes end at 127:15:15"},
      {"a start beyond the port addresses", Settings(kDriverArtNet, 32768, 170), 4, 4, kMaxDevices,
       "choose one from 0:0:0 to 127:15:15"},
      {"sACN universes end at 63999", Settings(kDriverSacn, 63999, 100), 10, 11, kMaxDevices,
       "needs 2 universes of 100 pixels from universe 63999 on, but sACN universes end at 63999"},
      {"sACN universe 0 does not exist", Settings(kDriverSacn, 0, 170), 4, 4, kMaxDevices,
       "choose one from 1 to 63999"},
      {"more universes than the device list has room for", Settings(kDriverArtNet, 0, 170), 32, 16, 3,
       "needs 4 devices (one per universe), but the device list has room for 3 more"},
      {"a full device list", Settings(kDriverDdp, 0, 170), 32, 16, 0, "The device list is full"},
      {"tpm2.net sends at most 255 packets a frame", Settings(kDriverTpm2Net, 0, 1), 128, 128, kMaxDevices,
       "needs 16384 tpm2.net packets of 1 pixels, but a frame has at most 255"},
      {"an address missing a part", Settings(kDriverArtNet, 0, 170, "192.168.1"), 4, 4, kMaxDevices,
       "\"192.168.1\" is not an IP address"},
      {"an empty address outside sACN", Settings(kDriverDdp, 0, 170, ""), 4, 4, kMaxDevices, "is not an IP address"},
      {"a part above 255", Settings(kDriverTpm2Net, 0, 170, "10.0.0.256"), 4, 4, kMaxDevices, "is not an IP address"},
      {"a serial driver", Settings(kDriverTpm2, 0, 170), 4, 4, kMaxDevices, "Choose Art-Net, sACN, DDP or tpm2.net"},
      {"no matrix", Settings(kDriverArtNet, 0, 170), 0, 16, kMaxDevices, "set the matrix size first"},
      {"a wiring outside the list", badWiring, 4, 4, kMaxDevices, "Choose a wiring"},
      {"a colour order outside the list", badColour, 4, 4, kMaxDevices, "Choose a wiring"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const MatrixOutputPlan plan = PlanMatrixOutput(c.settings, c.width, c.height, c.room);
    EXPECT_FALSE(plan.ok());
    EXPECT_NE(plan.error.find(c.says), std::string::npos) << plan.error;
    EXPECT_TRUE(plan.devices.empty());
    EXPECT_EQ(plan.patch.width(), 0);
    EXPECT_EQ(PlanSummary(plan), plan.error);
  }
}

TEST(MatrixOutputPlan, WiringStartCornerAndColourOrderPlaceEachPixel) {
  struct Case {
    int wiring, corner, colour, width, height, perUniverse;
    int x, y;
    PatchEntry expected;
  };
  constexpr int kLines = 0, kSnake = 1, kColumns = 2, kSnakeColumns = 3;
  constexpr int kTopLeft = 0, kTopRight = 1, kBottomLeft = 2, kBottomRight = 3;
  constexpr int kRgb = 0, kBgr = 2, kGrb = 5;
  const Case cases[] = {
      // 32 x 16 snake from the top left, 170 pixels a universe.
      {kSnake, kTopLeft, kRgb, 32, 16, 170, 0, 0, {0, 0, 1, 2}},
      {kSnake, kTopLeft, kRgb, 32, 16, 170, 31, 1, {0, 96, 97, 98}},    // pixel 32: the second row runs back
      {kSnake, kTopLeft, kRgb, 32, 16, 170, 0, 1, {0, 189, 190, 191}},  // pixel 63
      {kSnake, kTopLeft, kRgb, 32, 16, 170, 21, 5, {1, 0, 1, 2}},       // pixel 170 starts universe 2
      {kSnake, kTopLeft, kRgb, 32, 16, 170, 0, 15, {3, 3, 4, 5}},       // pixel 511, the last
      {kSnake, kTopLeft, kGrb, 32, 16, 170, 0, 0, {0, 1, 0, 2}},
      {kSnake, kTopLeft, kBgr, 32, 16, 170, 0, 0, {0, 2, 1, 0}},
      // 4 x 3, one universe unless said.
      {kLines, kBottomLeft, kRgb, 4, 3, 170, 0, 1, {0, 12, 13, 14}},  // pixel 4
      {kLines, kTopRight, kRgb, 4, 3, 170, 3, 0, {0, 0, 1, 2}},
      {kSnakeColumns, kBottomRight, kRgb, 4, 3, 170, 2, 0, {0, 9, 10, 11}},  // pixel 3: the second column runs down
      {kColumns, kTopLeft, kRgb, 4, 3, 2, 1, 0, {1, 3, 4, 5}},               // pixel 3, the second of universe 2
      {kSnake, kBottomRight, kGrb, 4, 3, 5, 3, 1, {1, 7, 6, 8}},             // pixel 7, the third of universe 2
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << WiringName(c.wiring) << " from " << StartCornerName(c.corner) << ", "
                                    << ColourOrderName(c.colour) << ", pixel " << c.x << "/" << c.y);
    MatrixOutputSettings s = Settings(kDriverArtNet, 0, c.perUniverse);
    s.wiring = c.wiring, s.startCorner = c.corner, s.colourOrder = c.colour;
    const MatrixOutputPlan plan = PlanMatrixOutput(s, c.width, c.height);
    ASSERT_TRUE(plan.ok()) << plan.error;
    EXPECT_EQ(plan.patch.At(c.x, c.y), c.expected);
  }
}

TEST(MatrixOutputPlan, EveryOrderPatchesEveryPixelOnceOnChannelsItsDeviceHas) {
  for (int order = 0; order < kPixelOrderCount; ++order) {
    for (auto [width, height, perUniverse] : {std::tuple{32, 16, 170}, {7, 5, 3}, {1, 9, 170}, {13, 1, 4}}) {
      SCOPED_TRACE(testing::Message() << PixelOrderName(order) << ", " << width << " x " << height);
      MatrixOutputSettings s = Settings(kDriverSacn, 1, perUniverse);
      s.wiring = order / kStartCornerCount, s.startCorner = order % kStartCornerCount, s.colourOrder = order % 6;
      ASSERT_EQ(PixelOrderOf(s.wiring, s.startCorner), order);
      const MatrixOutputPlan plan = PlanMatrixOutput(s, width, height);
      ASSERT_TRUE(plan.ok()) << plan.error;
      std::set<std::pair<int, int>> used;  // device, channel
      for (const PatchEntry& e : plan.patch.entries()) {
        ASSERT_GE(e.device, 0);
        ASSERT_LT(e.device, static_cast<int>(plan.devices.size()));
        for (int channel : {e.red, e.green, e.blue}) {
          EXPECT_TRUE(channel >= 0 && channel < plan.devices[static_cast<size_t>(e.device)].channels);
          EXPECT_TRUE(used.emplace(e.device, channel).second) << "channel used twice";
        }
      }
      EXPECT_EQ(used.size(), static_cast<size_t>(width * height * 3));
    }
  }
}

TEST(MatrixOutputApply, AppendsTheDevicesAndReplacesTheWholePatch) {
  Engine engine(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  ASSERT_TRUE(engine.ResizeMatrix(32, 16));
  OutputDevice existing = NewDeviceDefaults();
  existing.universe = 9;
  engine.outputs().devices().Add(existing);
  engine.patch().At(5, 5) = {0, 30, 31, 32};
  std::vector<std::string> lines;
  engine.console().SetSink([&lines](std::string_view line) { lines.emplace_back(line); });

  MatrixOutputSettings s = Settings(kDriverArtNet, 0, 170);
  s.wiring = 1;
  const MatrixOutputPlan plan = PlanMatrixOutput(s, engine.width(), engine.height());
  std::string why;
  ASSERT_TRUE(ApplyMatrixOutput(engine, plan, &why)) << why;
  const OutputDeviceList& devices = engine.outputs().devices();
  ASSERT_EQ(devices.count(), 5);
  EXPECT_EQ(devices[0], existing);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(devices[i + 1].universe, i);
  // Every pixel goes to the new devices, the one the old device had too.
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 32; ++x) {
      PatchEntry want = plan.patch.At(x, y);
      want.device += 1;
      ASSERT_EQ(engine.patch().At(x, y), want) << x << "/" << y;
    }
  }
  engine.console().Flush(1000);
  bool said = false;
  for (const std::string& line : lines)
    said |= line.find(
                "Matrix output: 32 x 16 pixels on 4 Art-Net devices from "
                "device 2, 4 universes") != std::string::npos;
  EXPECT_TRUE(said);

  // A plan for another size or with an error changes nothing.
  ASSERT_TRUE(engine.ResizeMatrix(16, 8));
  const PatchTable before = engine.patch();
  EXPECT_FALSE(ApplyMatrixOutput(engine, plan, &why));
  EXPECT_NE(why.find("The matrix size changed"), std::string::npos) << why;
  const MatrixOutputPlan refused = PlanMatrixOutput(Settings(kDriverArtNet, 32767, 10), 16, 8);
  EXPECT_FALSE(ApplyMatrixOutput(engine, refused, &why));
  EXPECT_EQ(why, refused.error);
  EXPECT_EQ(devices.count(), 5);
  EXPECT_EQ(engine.patch().entries(), before.entries());
}

}  // namespace
}  // namespace quor
