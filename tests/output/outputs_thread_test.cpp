// Output running on the real frame clock: stopping while the mix pass sends
// must leave no send running on released buffers, and the black frames are
// the last thing sent.
#include <gtest/gtest.h>

#include "engine/engine.h"
#include "output/outputs.h"
#include "test_support.h"
#include "tests/output/udp_receiver.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(OutputsThread, StoppingWhileTheClockSendsEndsWithBlackFrames) {
  Engine engine(test::TestRegistry(), EngineOptions{FrameClock::Mode::kThread, 1});
  test::UdpReceiver receiver;
  Outputs& outputs = engine.outputs();
  OutputDevice d;
  d.port = receiver.port(), d.channels = 6;
  d.SetAddress("127.0.0.1");
  outputs.devices().Add(d);
  engine.patch().At(0, 0) = PatchEntry{0, 0, 1, 2};
  engine.SetMasterLevel(255);
  engine.SetMainFadeByHand(0);
  engine.RequestType(0, test::kSolidType);
  engine.RebindSlots();
  engine.StartClock();

  for (int run = 0; run < 3; ++run) {
    ASSERT_EQ(outputs.OpenOutputs(), std::nullopt);
    test::Datagram got;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(receiver.Receive(got));
    outputs.CloseOutputs();
    const auto rest = receiver.ReceiveAll(150);
    ASSERT_GE(rest.size(), 2u);
    for (auto it = rest.end() - 2; it != rest.end(); ++it) EXPECT_EQ(test::UdpReceiver::ArtNetData(*it), Bytes(6, 0));
  }
  engine.StopClock();
}

}  // namespace
}  // namespace quor
