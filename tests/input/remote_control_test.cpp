// Remote input on real handles (tpm2.net over loopback, tpm2 over a pty) driving scenes, chases, master, strobe.
#include <netinet/in.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include "engine/remote_control.h"
#include "tests/show/show_fixture.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;

// tpm2.net frame with scene, chase, master, strobe from channel 0.
Bytes Tpm2Net(uint8_t scene, uint8_t chase, uint8_t master, uint8_t strobe) {
  return {0x9C, 0xDA, 0x00, 0x04, 0x01, 0x01, scene, chase, master, strobe, 0x36};
}

class RemoteControlTest : public test::ShowTest {
 protected:
  RemoteControl& remote() { return engine_.remote(); }
  RemoteInputSettings& input() { return engine_.remoteInputSettings(); }
  // Opens the input on a free loopback port and a sender to it.
  void OpenUdp() {
    input().inputType = kRemoteTpm2Net, input().listenPort = test::FreeLoopbackPort();
    EXPECT_TRUE(remote().OpenRemoteInput());
    sender_ = std::make_unique<test::LoopbackSender>(input().listenPort);
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

TEST_F(RemoteControlTest, Tpm2NetActsOncePerChangeAndChasesStartLikeAPlayClick) {
  for (const char* name : {"A", "B", "C"}) AddScene(name);
  AddChase({SceneStep(0, 3000), SceneStep(1, 3000)});
  OpenUdp();
  EXPECT_EQ(engine_.flags().remoteInputActive.load(), 1);
  EXPECT_EQ(Pass(Tpm2Net(3, 0, 255, 128)), 2);
  EXPECT_EQ(show_.sceneList().selection(), 2);
  EXPECT_EQ(std::pair(settings().masterLevel.load(), settings().strobeTime.load()), std::pair(255, 13));
  EXPECT_GE(settings().strobeCounter.load(), 0);

  // The same values again change nothing, even after the operator moved on.
  settings().masterLevel = 10;
  EXPECT_EQ(Pass(Tpm2Net(3, 0, 255, 128)), -1);
  EXPECT_EQ(settings().masterLevel.load(), 10);
  // 0 re-arms the scene; strobe 0 switches off; a scene beyond the store is ignored.
  EXPECT_EQ(Pass(Tpm2Net(0, 0, 255, 0)), -1);
  EXPECT_EQ(settings().strobeCounter.load(), -1);
  EXPECT_EQ(Pass(Tpm2Net(3, 0, 255, 255)), 2);
  EXPECT_EQ(Pass(Tpm2Net(4, 0, 255, 255)), -1);

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
  EXPECT_EQ(remote().counters().frames.load(), 7);
}

// Requests run in frame order; within one frame the chase first, so its scene stops it.
TEST_F(RemoteControlTest, ChaseAndSceneRequestsKeepTheirOrder) {
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

TEST_F(RemoteControlTest, OpenFailsCleanlyAndCloseReleasesThePort) {
  // A socket bound to a port without address reuse, or -1.
  auto bind = [](int port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET, a.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
    ::close(fd);
    return -1;
  };
  input().inputType = kRemoteTpm2Net, input().listenPort = test::FreeLoopbackPort();
  const int holder = bind(input().listenPort);
  ASSERT_GE(holder, 0);
  EXPECT_FALSE(remote().OpenRemoteInput()) << "port taken";
  EXPECT_EQ(engine_.flags().remoteInputActive.load(), 0);
  ::close(holder);
  input().inputType = kRemoteTpm2, input().baudOrNet = 115200;
  input().SetPortName("ttyQuorMissing");
  EXPECT_FALSE(remote().OpenRemoteInput()) << "missing serial port";
  input().inputType = 7;  // a type this build does not know: nothing to open, yet open
  EXPECT_TRUE(remote().OpenRemoteInput());
  engine_.RunMixPass();

  OpenUdp();
  remote().CloseRemoteInput();
  remote().CloseRemoteInput();  // closed already: nothing happens
  EXPECT_EQ(engine_.flags().remoteInputActive.load(), 0);
  const int again = bind(input().listenPort);
  EXPECT_GE(again, 0) << "the port stayed taken after close";
  ::close(again);
}

TEST_F(RemoteControlTest, Tpm2SerialThroughAPseudoTerminal) {
  for (const char* name : {"A", "B"}) AddScene(name);
  int controller = -1, terminal = -1;
  char name[128] = {};
  ASSERT_EQ(::openpty(&controller, &terminal, name, nullptr, nullptr), 0);
  input().inputType = kRemoteTpm2, input().baudOrNet = 115200, input().firstChannel = 1;
  input().SetPortName(name);  // an absolute path
  ASSERT_TRUE(remote().OpenRemoteInput()) << name;
  // C9 DA, size 5, an unused channel, scene, chase, master, strobe, end.
  const Bytes frame = {0xC9, 0xDA, 0x00, 0x05, 0xEE, 0x02, 0x00, 0x40, 0x00, 0x36};
  ASSERT_EQ(::write(controller, frame.data(), frame.size()), ssize_t(frame.size()));
  EXPECT_EQ(Pass(), 1);
  EXPECT_EQ(settings().masterLevel.load(), 0x40);
  remote().CloseRemoteInput();
  ::close(controller);
  ::close(terminal);
}

}  // namespace
}  // namespace quor
