// The remote input against real handles: tpm2.net and Art-Net datagrams
// over loopback UDP, tpm2 through a pseudo-terminal pair, and what their
// channel values do to scenes, chases, master and strobe.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "engine/remote_control.h"
#include "tests/show/show_fixture.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;

// A port nobody listens on right now.
int FreeUdpPort() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), length);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  ::close(fd);
  return ntohs(a.sin_port);
}

class LoopbackSender {
 public:
  explicit LoopbackSender(int port) : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {
    to_.sin_family = AF_INET;
    to_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to_.sin_port = htons(static_cast<uint16_t>(port));
  }
  ~LoopbackSender() { ::close(fd_); }
  void Send(const Bytes& b) {
    ASSERT_EQ(::sendto(fd_, b.data(), b.size(), 0, reinterpret_cast<sockaddr*>(&to_), sizeof to_),
              static_cast<ssize_t>(b.size()));
  }

 private:
  int fd_;
  sockaddr_in to_{};
};

// tpm2.net frame with scene, chase, master, strobe from channel 0.
Bytes Tpm2Net(uint8_t scene, uint8_t chase, uint8_t master, uint8_t strobe) {
  return {0x9C, 0xDA, 0x00, 0x04, 0x01, 0x01, scene, chase, master, strobe, 0x36};
}

class RemoteControlTest : public test::ShowTest {
 protected:
  RemoteControl& remote() { return engine_.remote(); }
  // Opens tpm2.net on a free port and returns a sender to it.
  std::unique_ptr<LoopbackSender> OpenTpm2Net(int limitTo32 = 0) {
    RemoteInputSettings& s = engine_.remoteInputSettings();
    s.inputType = kRemoteTpm2Net, s.listenPort = FreeUdpPort(), s.limitTo32 = limitTo32;
    EXPECT_TRUE(remote().OpenRemoteInput());
    return std::make_unique<LoopbackSender>(s.listenPort);
  }
  // One mix pass; returns the scene index it requested (-1 none) and
  // completes the recall as the message loop would.
  int Pass() {
    ::usleep(2000);  // loopback delivery
    engine_.RunMixPass();
    const int pending = engine_.PendingSceneIndex();
    engine_.PostMessageWork();
    return pending;
  }
};

TEST_F(RemoteControlTest, Tpm2NetSetsSceneMasterStrobeOnceperChange) {
  for (const char* name : {"A", "B", "C"}) AddScene(name);
  auto send = OpenTpm2Net();
  EXPECT_EQ(engine_.flags().remoteInputActive.load(), 1);
  send->Send(Tpm2Net(3, 0, 255, 128));
  EXPECT_EQ(Pass(), 2);
  EXPECT_EQ(show_.sceneList().selection(), 2);
  EXPECT_EQ(settings().masterLevel.load(), 255);
  EXPECT_EQ(settings().strobeTime.load(), 13);
  EXPECT_GE(settings().strobeCounter.load(), 0);
  EXPECT_EQ(remote().LastValues(), (RemoteValues{3, 0, 255, 128}));

  // The same values again change nothing, even after the operator moved on.
  settings().masterLevel = 10;
  send->Send(Tpm2Net(3, 0, 255, 128));
  EXPECT_EQ(Pass(), -1);
  EXPECT_EQ(settings().masterLevel.load(), 10);
  // 0 in between re-arms the scene; strobe 0 switches the strobe off.
  send->Send(Tpm2Net(0, 0, 255, 0));
  EXPECT_EQ(Pass(), -1);
  EXPECT_EQ(settings().strobeCounter.load(), -1);
  send->Send(Tpm2Net(3, 0, 255, 255));
  EXPECT_EQ(Pass(), 2);
  EXPECT_EQ(settings().strobeTime.load(), 25);
  // A scene beyond the store is ignored.
  send->Send(Tpm2Net(4, 0, 255, 255));
  EXPECT_EQ(Pass(), -1);
}

TEST_F(RemoteControlTest, LastCompleteFrameOfAPassWinsAndDamagedOnesAreSkipped) {
  for (const char* name : {"A", "B", "C"}) AddScene(name);
  auto send = OpenTpm2Net();
  send->Send(Tpm2Net(1, 0, 100, 0));
  send->Send(Tpm2Net(2, 0, 120, 0));
  Bytes damaged = Tpm2Net(3, 0, 140, 0);
  damaged.back() = 0x00;
  send->Send(damaged);
  send->Send(Bytes(3, 0x9C));
  EXPECT_EQ(Pass(), 1);
  EXPECT_EQ(settings().masterLevel.load(), 120);
  EXPECT_EQ(remote().counters().received.load(), 4);
  EXPECT_EQ(remote().counters().frames.load(), 2);
}

TEST_F(RemoteControlTest, LimitTo32AndChasesStartLikeAPlayClick) {
  for (const char* name : {"A", "B", "C"}) AddScene(name);
  AddChase({SceneStep(0, 3000), SceneStep(1, 3000)});
  auto send = OpenTpm2Net(1);
  send->Send(Tpm2Net(8, 0, 0, 0));
  EXPECT_EQ(Pass(), 1);
  send->Send(Tpm2Net(15, 0, 0, 0));
  EXPECT_EQ(Pass(), -1) << "8 and 15 both mean scene 2: no second recall";

  // Chase 2 does not exist: ignored, but remembered as the last value.
  send->Send(Tpm2Net(15, 9, 0, 0));
  Pass();
  EXPECT_FALSE(show_.chaseList().PlayPressed());
  EXPECT_EQ(remote().LastValues()[kRemoteChase], 2);
  send->Send(Tpm2Net(15, 1, 0, 0));
  Pass();
  EXPECT_TRUE(show_.chaseList().PlayPressed());
  EXPECT_FALSE(show_.chaseList().StopPressed());
  EXPECT_EQ(show_.chaseList().selection(), 0);
  EXPECT_EQ(show_.player().RunningChase(), 1) << capture_.Text();
}

TEST_F(RemoteControlTest, ArtNetDmxForTheConfiguredUniverseOnly) {
  AddScene("A");
  AddScene("B");
  RemoteInputSettings& s = engine_.remoteInputSettings();
  s.inputType = kRemoteArtNet, s.listenPort = FreeUdpPort(), s.baudOrNet = 0, s.subnet = 1, s.universe = 2;
  ASSERT_TRUE(remote().OpenRemoteInput());
  LoopbackSender send(s.listenPort);
  auto dmx = [](uint8_t subUni, uint8_t scene) {
    return Bytes{'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x50, 0, 14, 0, 0, subUni, 0, 0x00, 4, scene, 0, 77, 0};
  };
  send.Send(dmx(0x13, 1));  // universe 3: not ours
  EXPECT_EQ(Pass(), -1);
  send.Send(dmx(0x12, 2));
  EXPECT_EQ(Pass(), 1);
  EXPECT_EQ(settings().masterLevel.load(), 77);
}

TEST_F(RemoteControlTest, OpenFailsCleanlyAndCloseReleases) {
  RemoteInputSettings& s = engine_.remoteInputSettings();
  // A port held by a socket without address reuse cannot be bound again.
  const int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  socklen_t length = sizeof a;
  ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&a), length), 0);
  ::getsockname(holder, reinterpret_cast<sockaddr*>(&a), &length);
  s.inputType = kRemoteTpm2Net, s.listenPort = ntohs(a.sin_port);
  EXPECT_FALSE(remote().OpenRemoteInput());
  EXPECT_EQ(engine_.flags().remoteInputActive.load(), 0);
  ::close(holder);

  s.inputType = kRemoteTpm2, s.baudOrNet = 115200;
  s.SetPortName("ttyQuorMissing");
  EXPECT_FALSE(remote().OpenRemoteInput());
  s.inputType = kRemoteTpm2Net, s.listenPort = 0;
  EXPECT_FALSE(remote().OpenRemoteInput()) << "port 0";

  s.inputType = 7;  // unknown type: nothing to open, yet open
  EXPECT_TRUE(remote().OpenRemoteInput());
  engine_.RunMixPass();
  remote().CloseRemoteInput();
  EXPECT_EQ(engine_.flags().remoteInputActive.load(), 0);
  remote().CloseRemoteInput();  // closed already: nothing happens

  // Closing frees the port for the next open.
  s.inputType = kRemoteTpm2Net, s.listenPort = FreeUdpPort();
  ASSERT_TRUE(remote().OpenRemoteInput());
  remote().CloseRemoteInput();
  const int again = ::socket(AF_INET, SOCK_DGRAM, 0);
  a.sin_port = htons(static_cast<uint16_t>(s.listenPort));
  EXPECT_EQ(::bind(again, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ::close(again);
}

TEST_F(RemoteControlTest, Tpm2SerialThroughAPseudoTerminalWithSplitFramesAndGarbage) {
  for (const char* name : {"A", "B", "C", "D"}) AddScene(name);
  int controller = -1;
  int terminal = -1;
  char name[128] = {};
  ASSERT_EQ(::openpty(&controller, &terminal, name, nullptr, nullptr), 0);
  RemoteInputSettings& s = engine_.remoteInputSettings();
  s.inputType = kRemoteTpm2, s.baudOrNet = 115200, s.firstChannel = 1;
  s.SetPortName(name);  // an absolute path
  ASSERT_TRUE(remote().OpenRemoteInput()) << name;
  auto write = [&](const Bytes& b) { ASSERT_EQ(::write(controller, b.data(), b.size()), static_cast<ssize_t>(b.size())); };
  // C9 DA, size 5, channel 0 unused, scene, chase, master, strobe, end.
  const Bytes frame = {0xC9, 0xDA, 0x00, 0x05, 0xEE, 0x02, 0x00, 0x40, 0x00, 0x36};
  write({0x13, 0x37, 0xC9});                        // garbage
  write(Bytes(frame.begin(), frame.begin() + 6));  // first part
  EXPECT_EQ(Pass(), -1);
  write(Bytes(frame.begin() + 6, frame.end()));  // the rest
  EXPECT_EQ(Pass(), 1);
  EXPECT_EQ(settings().masterLevel.load(), 0x40);
  // Garbage between two frames in one read; the second one wins.
  Bytes both = frame;
  both.insert(both.end(), {0xC9, 0x00, 0xDA, 0x36});
  both.insert(both.end(), {0xC9, 0xDA, 0x00, 0x05, 0xEE, 0x04, 0x00, 0x41, 0x00, 0x36});
  write(both);
  EXPECT_EQ(Pass(), 3);
  EXPECT_EQ(settings().masterLevel.load(), 0x41);
  remote().CloseRemoteInput();
  ::close(controller);
  ::close(terminal);
}

}  // namespace
}  // namespace quor
