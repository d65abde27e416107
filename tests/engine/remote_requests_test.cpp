// The engine carrying out what the remote input sets (tpm2.net over loopback): scenes recalled and selected, chases
// started by the next pass, in frame order, controls that name nothing ignored.
#include <unistd.h>

#include "input/remote_control.h"
#include "tests/show/show_fixture.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;

// tpm2.net frame with scene, chase, master, strobe from channel 0.
Bytes Tpm2Net(uint8_t scene, uint8_t chase, uint8_t master, uint8_t strobe) {
  return {0x9C, 0xDA, 0x00, 0x04, 0x01, 0x01, scene, chase, master, strobe, 0x36};
}

class RemoteRequestsTest : public test::ShowTest {
 protected:
  RemoteControl& remote() { return engine_.remote(); }
  // Opens the input on a free loopback port and a sender to it.
  void OpenUdp() {
    RemoteInputSettings& input = engine_.remoteInputSettings();
    input.inputType = kRemoteTpm2Net, input.listenPort = test::FreeLoopbackPort();
    EXPECT_TRUE(remote().OpenRemoteInput());
    sender_ = std::make_unique<test::LoopbackSender>(input.listenPort);
  }
  // Sends `datagram`, runs one pass and the main thread's work; returns the scene recalled (-1 none).
  int Pass(const Bytes& datagram = {}) {
    if (!datagram.empty()) sender_->Send(datagram);
    ::usleep(2000);  // loopback delivery
    const int before = engine_.RecallCount();
    engine_.RunMixPass();
    engine_.PostMessageWork();
    return engine_.RecallCount() > before ? engine_.LastRecalledScene() : -1;
  }
  std::unique_ptr<test::LoopbackSender> sender_;
};

TEST_F(RemoteRequestsTest, ScenesAreRecalledAndChasesStartLikeAPlayClick) {
  for (const char* name : {"A", "B", "C"}) AddScene(name);
  AddChase({SceneStep(0, 3000), SceneStep(1, 3000)});
  OpenUdp();
  EXPECT_EQ(engine_.flags().remoteInputActive.load(), 1);
  EXPECT_EQ(Pass(Tpm2Net(3, 0, 255, 128)), 2);
  EXPECT_EQ(show_.sceneList().selection(), 2);
  EXPECT_EQ(std::pair(settings().masterLevel.load(), settings().strobeTime.load()), std::pair(255, 13));
  EXPECT_EQ(Pass(Tpm2Net(4, 0, 255, 128)), -1) << "a scene beyond the store is ignored";

  // Chase 2 does not exist: ignored, but remembered; chase 1 presses Play.
  Pass(Tpm2Net(4, 2, 0, 0));
  EXPECT_FALSE(show_.chaseList().PlayPressed());
  EXPECT_EQ(remote().LastValues()[kRemoteChase], 2);
  const int wakes = wakes_.load();
  Pass(Tpm2Net(4, 1, 0, 0));
  EXPECT_EQ(wakes_.load(), wakes + 1) << "the main thread is woken for the chase";
  EXPECT_TRUE(show_.chaseList().PlayPressed() && !show_.chaseList().StopPressed());
  EXPECT_EQ(show_.chaseList().selection(), 0);
  Pass();  // the start is carried out by the next pass
  EXPECT_EQ(show_.player().RunningChase(), 1) << capture_.Text();
  EXPECT_EQ(capture_.Count("Starting Chase"), 0) << "the remote input prints no line of its own";
  EXPECT_EQ(remote().counters().frames.load(), 4);
}

// Requests run in frame order; within one frame the chase first, so its scene stops it.
TEST_F(RemoteRequestsTest, ChaseAndSceneRequestsKeepTheirOrder) {
  for (const char* name : {"A", "B"}) AddScene(name);
  AddChase({SceneStep(0, 3000), SceneStep(1, 3000)});
  OpenUdp();
  const struct {
    std::vector<Bytes> frames;  // each in a pass of its own, before the main thread runs
    int recalled;
    bool chaseRuns;
  } rows[] = {
      {{Tpm2Net(2, 1, 0, 0)}, 1, false},
      {{Tpm2Net(1, 0, 0, 0), Tpm2Net(1, 1, 0, 0)}, 0, true},
      {{Tpm2Net(0, 1, 0, 0), Tpm2Net(2, 1, 0, 0)}, 1, false},
  };
  for (const auto& row : rows) {
    show_.player().StopChaseNow();
    Pass(Tpm2Net(0, 0, 0, 0));
    const int before = engine_.RecallCount();
    for (const Bytes& frame : row.frames) sender_->Send(frame), ::usleep(2000), engine_.RunMixPass();
    engine_.PostMessageWork();
    EXPECT_EQ(engine_.RecallCount() > before ? engine_.LastRecalledScene() : -1, row.recalled);
    engine_.RunMixPass();  // carries out the start, or the stop the scene asked for
    EXPECT_EQ(show_.player().RunningChase() == 1, row.chaseRuns) << capture_.Text();
  }
}

}  // namespace
}  // namespace quor
