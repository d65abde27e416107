// The engine carrying out what the remote input sets from its own thread (tpm2.net over loopback): master at once,
// scenes recalled and selected and chases started by the main thread's work, in frame order, with no mix pass
// needed to read the input; controls that name nothing are ignored; closing and reopening under a flood.
#include <atomic>
#include <thread>

#include "input/remote_control.h"
#include "tests/show/show_fixture.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;

// tpm2.net frame with scene, chase, master, strobe from channel 0.
Bytes Tpm2Net(uint8_t scene, uint8_t chase, uint8_t master, uint8_t strobe) {
  return {0x9C, 0xDA, 0x00, 0x04, 0x01, 0x01, scene, chase, master, strobe, 0x36};
}

// The clock is never started and no pass is run unless a test says so: the input reads on its own thread.
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
  // Sends `datagram` and waits until the input has acted on it.
  void Send(const Bytes& datagram) {
    const int64_t received = remote().counters().received.load();
    sender_->Send(datagram);
    EXPECT_TRUE(test::Eventually([&] { return remote().counters().received.load() > received; }));
  }
  // Sends `datagram`, then runs the main thread's work; returns the scene recalled (-1 none).
  int Deliver(const Bytes& datagram) {
    Send(datagram);
    const int before = engine_.RecallCount();
    engine_.PostMessageWork();
    return engine_.RecallCount() > before ? engine_.LastRecalledScene() : -1;
  }
  std::unique_ptr<test::LoopbackSender> sender_;
};

TEST_F(RemoteRequestsTest, WithoutAnyPassTheMasterActsAtOnceAndTheSceneAfterTheMainThreadsWork) {
  for (const char* name : {"A", "B", "C"}) AddScene(name);
  OpenUdp();
  EXPECT_EQ(engine_.flags().remoteInputActive.load(), 1);
  const int wakes = wakes_.load();
  Send(Tpm2Net(3, 0, 200, 128));
  EXPECT_EQ(std::pair(settings().masterLevel.load(), settings().strobeTime.load()), std::pair(200, 13));
  EXPECT_EQ(engine_.RecallCount(), 0) << "the main thread recalls scenes";
  EXPECT_GT(wakes_.load(), wakes) << "the host's wake-up is called for the scene";
  const int before = engine_.RecallCount();
  engine_.PostMessageWork();
  EXPECT_EQ(engine_.RecallCount(), before + 1);
  EXPECT_EQ(engine_.LastRecalledScene(), 2);
  EXPECT_EQ(show_.sceneList().selection(), 2);
  EXPECT_EQ(engine_.mixPassTiming().passes.load(), 0) << "no mix pass ran";
}

TEST_F(RemoteRequestsTest, ScenesAreRecalledAndChasesStartLikeAPlayClick) {
  for (const char* name : {"A", "B", "C"}) AddScene(name);
  AddChase({SceneStep(0, 3000), SceneStep(1, 3000)});
  OpenUdp();
  EXPECT_EQ(Deliver(Tpm2Net(3, 0, 255, 128)), 2);
  EXPECT_EQ(Deliver(Tpm2Net(4, 0, 255, 128)), -1) << "a scene beyond the store is ignored";

  // Chase 2 does not exist: ignored, but remembered; chase 1 presses Play.
  Deliver(Tpm2Net(4, 2, 0, 0));
  EXPECT_FALSE(show_.chaseList().PlayPressed());
  EXPECT_EQ(remote().LastValues()[kRemoteChase], 2);
  const int wakes = wakes_.load();
  Deliver(Tpm2Net(4, 1, 0, 0));
  EXPECT_EQ(wakes_.load(), wakes + 1) << "the main thread is woken for the chase";
  EXPECT_TRUE(show_.chaseList().PlayPressed() && !show_.chaseList().StopPressed());
  EXPECT_EQ(show_.chaseList().selection(), 0);
  engine_.RunMixPass();  // the chase player starts it in the next pass
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
    std::vector<Bytes> frames;  // each acted on by the input before the next, all before the main thread runs
    int recalled;
    bool chaseRuns;
  } rows[] = {
      {{Tpm2Net(2, 1, 0, 0)}, 1, false},
      {{Tpm2Net(1, 0, 0, 0), Tpm2Net(1, 1, 0, 0)}, 0, true},
      {{Tpm2Net(0, 1, 0, 0), Tpm2Net(2, 1, 0, 0)}, 1, false},
  };
  for (const auto& row : rows) {
    show_.player().StopChaseNow();
    Deliver(Tpm2Net(0, 0, 0, 0));
    const int before = engine_.RecallCount();
    for (const Bytes& frame : row.frames) Send(frame);
    engine_.PostMessageWork();
    EXPECT_EQ(engine_.RecallCount() > before ? engine_.LastRecalledScene() : -1, row.recalled);
    engine_.RunMixPass();  // carries out the start, or the stop the scene asked for
    EXPECT_EQ(show_.player().RunningChase() == 1, row.chaseRuns) << capture_.Text();
  }
}

// The settings applied again and again while a console sends flat out (TSan target): each close stops the input
// thread before the socket goes, each open binds the port again and reads at once.
TEST_F(RemoteRequestsTest, CloseAndReopenWhileDatagramsFlood) {
  OpenUdp();
  const int port = engine_.remoteInputSettings().listenPort;
  std::atomic<bool> stop{false};
  std::thread console([&stop, port] {
    test::LoopbackSender sender(port);
    for (uint8_t i = 0; !stop.load(); ++i) sender.Send(Tpm2Net(0, 0, i, 0));
  });
  for (int round = 0; round < 40; ++round) {
    const int64_t received = remote().counters().received.load();
    ASSERT_TRUE(test::Eventually([&] { return remote().counters().received.load() > received; })) << round;
    remote().CloseRemoteInput();
    EXPECT_FALSE(engine_.flags().remoteInputActive.load());
    ASSERT_TRUE(remote().OpenRemoteInput()) << round;
    engine_.PostMessageWork();
  }
  stop.store(true);
  console.join();
  sender_->Send(Tpm2Net(0, 0, 77, 0));  // behind what the flood left queued
  EXPECT_TRUE(test::Eventually([&] { return settings().masterLevel.load() == 77; })) << "the last open reads";
}

}  // namespace
}  // namespace quor
