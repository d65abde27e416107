// The remote input on its own, on real handles (tpm2.net and Art-Net over loopback, tpm2 over a pty): which controls
// each received frame sets from the input's own thread, opening and closing, a serial line that goes away. A
// recording control surface stands in for the engine.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <mutex>
#include <utility>
#include <vector>

#include "input/remote_control.h"
#include "test_support.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;
using Set = std::pair<ControlAddress, int>;
using Sets = std::vector<Set>;

// Records every control set (the input thread sets them), in order; every address exists.
class RecordingSurface : public ControlSurface {
 public:
  bool SetControl(const ControlAddress& address, int value) override {
    const std::lock_guard lock(mutex_);
    sets_.emplace_back(address, value);
    return true;
  }
  std::optional<int> ControlValue(const ControlAddress&) const override { return std::nullopt; }
  int ControlInstances(ControlId) const override { return 0; }
  Sets Take() {
    const std::lock_guard lock(mutex_);
    return std::exchange(sets_, {});
  }

 private:
  std::mutex mutex_;
  Sets sets_;
};

// The four channels from channel 1, after an unused one.
Bytes Tpm2Net(const RemoteValues& v) {
  return {0x9C, 0xDA, 0x00, 0x05, 0x01, 0x01, 0xEE, uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2]), uint8_t(v[3]), 0x36};
}
// OpDmx, protocol 14, Net 1 Subnet 2 Universe 3 (or `universe`), six channels.
Bytes ArtDmx(const RemoteValues& v, uint8_t universe = 3) {
  return {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x50, 0x00, 14, 0, 0, uint8_t(0x20 | universe), 1,
          0, 6, 0xEE, uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2]), uint8_t(v[3]), 0};
}

class RemoteControlTest : public testing::Test {
 protected:
  RemoteControlTest() {
    settings_.firstChannel = 1, settings_.baudOrNet = 1, settings_.subnet = 2, settings_.universe = 3;
  }
  ~RemoteControlTest() override { remote_.CloseRemoteInput(); }
  // Opens the input as `type` on a free loopback port and a sender to it.
  void OpenUdp(RemoteInputType type) {
    settings_.inputType = type, settings_.listenPort = test::FreeLoopbackPort();
    ASSERT_TRUE(remote_.OpenRemoteInput());
    sender_ = std::make_unique<test::LoopbackSender>(settings_.listenPort);
  }
  // Sends the datagrams one by one, each once the input has acted on the one before, and returns the controls
  // they set.
  Sets Send(const std::vector<Bytes>& datagrams) {
    surface_.Take();
    for (const Bytes& datagram : datagrams) {
      const int64_t received = remote_.counters().received.load();
      sender_->Send(datagram);
      EXPECT_TRUE(test::Eventually([&] { return remote_.counters().received.load() > received; }));
    }
    return surface_.Take();
  }

  RecordingSurface surface_;
  Console console_;
  RemoteInputSettings settings_;
  std::atomic<bool> active_{false};
  RemoteControl remote_{surface_, console_, settings_, active_};
  std::unique_ptr<test::LoopbackSender> sender_;
};

TEST_F(RemoteControlTest, EachFrameSetsTheControlsThatChangedOverTpm2NetAndArtNet) {
  const Set strobeOn{{ControlId::kStrobe}, 1}, strobeOff{{ControlId::kStrobe}, 0};
  auto master = [](int v) { return Set{{ControlId::kMasterLevel}, v}; };
  auto strobeTime = [](int v) { return Set{{ControlId::kStrobeTime}, v}; };
  auto scene = [](int n) { return Set{{ControlId::kSceneRecall, n - 1}, 1}; };
  auto chase = [](int n) { return Set{{ControlId::kChasePlay, n - 1}, 1}; };
  const struct {
    const char* what;
    std::vector<RemoteValues> frames;
    Sets expect;
  } rows[] = {
      {"first frame", {{3, 0, 255, 128}}, {scene(3), master(255), strobeOn, strobeTime(13)}},
      {"the same values again", {{3, 0, 255, 128}}, {}},
      {"strobe off", {{3, 0, 255, 0}}, {strobeOff}},
      {"strobe still off", {{3, 0, 255, 0}}, {}},
      {"0 re-arms the scene", {{0, 0, 255, 0}}, {}},
      {"the scene again", {{3, 0, 255, 0}}, {scene(3)}},
      {"chase first, then the scene", {{4, 2, 255, 0}}, {chase(2), scene(4)}},
      {"strobe time at most 25", {{4, 2, 255, 255}}, {strobeOn, strobeTime(25)}},
      {"a new strobe value sets on and time", {{4, 2, 255, 9}}, {strobeOn, strobeTime(1)}},
      {"master 0", {{4, 2, 0, 9}}, {master(0)}},
      {"frame after frame", {{5, 2, 7, 9}, {6, 2, 8, 9}}, {scene(5), master(7), scene(6), master(8)}},
  };
  for (const RemoteInputType type : {kRemoteTpm2Net, kRemoteArtNet}) {
    OpenUdp(type);  // forgets the values of the last open
    const int64_t frames = remote_.counters().frames.load();
    for (const auto& row : rows) {
      std::vector<Bytes> datagrams;
      for (const RemoteValues& v : row.frames) datagrams.push_back(type == kRemoteArtNet ? ArtDmx(v) : Tpm2Net(v));
      EXPECT_EQ(Send(datagrams), row.expect) << row.what << ", type " << type;
    }
    EXPECT_EQ(remote_.LastValues(), (RemoteValues{6, 2, 8, 9}));
    EXPECT_EQ(remote_.counters().frames.load() - frames, 12);
    if (type == kRemoteArtNet) {
      EXPECT_EQ(Send({ArtDmx({1, 1, 1, 1}, 4)}), Sets{}) << "another universe";
      EXPECT_EQ(Send({Tpm2Net({1, 1, 1, 1})}), Sets{}) << "tpm2.net on an Art-Net input";
    }
    remote_.CloseRemoteInput();
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
  settings_.inputType = kRemoteTpm2Net, settings_.listenPort = test::FreeLoopbackPort();
  const int holder = bind(settings_.listenPort);
  ASSERT_GE(holder, 0);
  EXPECT_FALSE(remote_.OpenRemoteInput()) << "port taken";
  EXPECT_FALSE(active_.load());
  ::close(holder);
  settings_.inputType = kRemoteTpm2, settings_.baudOrNet = 115200;
  settings_.SetPortName("ttyQuorMissing");
  EXPECT_FALSE(remote_.OpenRemoteInput()) << "missing serial port";
  settings_.inputType = 7;  // a type this build does not know: nothing to open, yet open
  EXPECT_TRUE(remote_.OpenRemoteInput());

  OpenUdp(kRemoteTpm2Net);
  remote_.CloseRemoteInput();
  remote_.CloseRemoteInput();  // closed already: nothing happens
  EXPECT_FALSE(active_.load());
  const int again = bind(settings_.listenPort);
  EXPECT_GE(again, 0) << "the port stayed taken after close";
  ::close(again);
}

// A pulled adapter (the pty's controller closed) is said once, and the input stops reading instead of waking
// again and again for a line that is gone.
TEST_F(RemoteControlTest, Tpm2SerialThroughAPseudoTerminalUntilTheLineGoesAway) {
  test::ConsoleCapture capture(console_);
  int controller = -1, terminal = -1;
  char name[128] = {};
  ASSERT_EQ(::openpty(&controller, &terminal, name, nullptr, nullptr), 0);
  settings_.inputType = kRemoteTpm2, settings_.baudOrNet = 115200;
  settings_.SetPortName(name);  // an absolute path
  ASSERT_TRUE(remote_.OpenRemoteInput()) << name;
  // C9 DA, size 5, an unused channel, scene, chase, master, strobe, end.
  const Bytes frame = {0xC9, 0xDA, 0x00, 0x05, 0xEE, 0x02, 0x00, 0x40, 0x00, 0x36};
  ASSERT_EQ(::write(controller, frame.data(), frame.size()), ssize_t(frame.size()));
  const Sets expect = {{{ControlId::kSceneRecall, 1}, 1}, {{ControlId::kMasterLevel}, 0x40}, {{ControlId::kStrobe}, 0}};
  Sets got;
  EXPECT_TRUE(test::Eventually([&] {
    for (const Set& set : surface_.Take()) got.push_back(set);
    return got.size() >= expect.size();
  }));
  EXPECT_EQ(got, expect);

  ::close(controller);
  const std::string says = std::string("Remote input stopped reading ") + name;
  EXPECT_TRUE(test::Eventually([&] { return console_.Drain(), capture.Count(says) > 0; })) << capture.Text();
  const int64_t wakeUps = remote_.counters().wakeUps.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  console_.Drain();
  EXPECT_EQ(remote_.counters().wakeUps.load(), wakeUps) << "the input keeps waking for a line that is gone";
  EXPECT_EQ(capture.Count(says), 1) << capture.Text();
  EXPECT_TRUE(active_.load()) << "the input stays open until it is closed";
  remote_.CloseRemoteInput();
  ::close(terminal);
}

}  // namespace
}  // namespace quor
