// The output setup through the real quor binary on a private Xvfb display,
// by keyboard and mouse only: two Art-Net devices to 127.0.0.1 (universes
// 0 and 1) added in "Output Devices", a snake FastPatch laid over both in
// "Output Patch", output started from the menu, the project saved from the
// menu and loaded again. quor runs in a private network holding only
// loopback, so the Art-Net port is this test's own.
#include <poll.h>
#include <sys/socket.h>

#include <QColor>
#include <QImage>
#include <cstring>
#include <memory>
#include <optional>
#include <sstream>

#include "engine/engine.h"
#include "engine/project_file.h"
#include "generators/builtin_generators.h"
#include "generators/image_viewer.h"
#include "output/device_editor.h"
#include "output/fast_patch.h"
#include "private_network.h"
#include "test_support.h"
#include "tests/app/windowed_support.h"
#include "tests/output/udp_receiver.h"

namespace quor {
namespace {

using test::ReadWholeFile;

constexpr int kWidth = 16, kHeight = 8;
constexpr int kDeviceChannels = kWidth * kHeight / 2 * 3;  // half the rows per universe
constexpr int kSnakeTopLeft = 4, kGrb = 5;

// Every pixel of the picture has its own colour, so the payload shows
// where each pixel went and in which colour order.
QColor PictureAt(int x, int y) { return QColor(10 + x * 15, 20 + y * 25, 255 - (y * kWidth + x)); }

// The patch the engine's own FastPatch gives for what the dialogs are told:
// device 1 from cell 1/1, then device 2 from cell 1/5, snake from the top
// left, GRB, the kept Dimension 16 x 8 (each device fills after 4 rows).
struct Expected {
  Console console;
  OutputDeviceList devices{console};
  PatchTable patch{kWidth, kHeight};
  std::vector<std::vector<uint8_t>> payloads;  // by universe

  Expected() {
    for (int universe = 0; universe < 2; ++universe) {
      OutputDevice device = NewDeviceDefaults();
      device.channels = kDeviceChannels;
      device.universe = universe;
      devices.Add(device);
    }
    FastPatchSettings s{kWidth, kHeight, 0, kSnakeTopLeft, kGrb, 0};
    ApplyFastPatch(patch, devices, 0, 0, s);
    s.device = 1;
    ApplyFastPatch(patch, devices, 0, kHeight / 2, s);
    payloads.assign(2, std::vector<uint8_t>(kDeviceChannels, 0));
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const PatchEntry& e = patch.At(x, y);
        const QColor c = PictureAt(x, y);
        std::vector<uint8_t>& p = payloads.at(static_cast<size_t>(e.device));
        p.at(static_cast<size_t>(e.red)) = static_cast<uint8_t>(c.red());
        p.at(static_cast<size_t>(e.green)) = static_cast<uint8_t>(c.green());
        p.at(static_cast<size_t>(e.blue)) = static_cast<uint8_t>(c.blue());
      }
    }
  }
};

// A 16 x 8 project whose first scene shows the picture at full level.
void WriteStartProject(const std::string& dir) {
  QImage picture(kWidth, kHeight, QImage::Format_RGB32);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) picture.setPixelColor(x, y, PictureAt(x, y));
  }
  ASSERT_TRUE(picture.save(QString::fromStdString(dir + "/picture.png")));
  Engine setup(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  ASSERT_TRUE(setup.ResizeMatrix(kWidth, kHeight, 0));
  setup.RequestType(0, 6);
  setup.RebindSlots();
  setup.EditGenerator(0, [&dir](Generator& g) { dynamic_cast<ImageViewerGenerator&>(g).LoadPath(dir + "/picture.png"); });
  setup.SetChannelFade(kMixChannel1, 0);
  setup.SetMainFadeByHand(0);
  ASSERT_TRUE(setup.show().sceneList().Add("Picture"));
  ASSERT_EQ(SaveProject(setup, dir + "/start.qrx").status, ProjectFileStatus::kDone);
}

// Sends `fd` over the local socket `channel`.
bool SendFd(int channel, int fd) {
  char data = 0;
  iovec io{&data, 1};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr message{};
  message.msg_iov = &io;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = SOL_SOCKET;
  header->cmsg_type = SCM_RIGHTS;
  header->cmsg_len = CMSG_LEN(sizeof(int));
  std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
  return sendmsg(channel, &message, 0) == 1;
}

int ReceiveFd(int channel, int timeoutMs) {
  pollfd wait{channel, POLLIN, 0};
  if (poll(&wait, 1, timeoutMs) != 1) return -1;
  char data = 0;
  iovec io{&data, 1};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr message{};
  message.msg_iov = &io;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  if (recvmsg(channel, &message, 0) != 1) return -1;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  if (header == nullptr || header->cmsg_type != SCM_RIGHTS) return -1;
  int fd = -1;
  std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
  return fd;
}

class OutputSetupWindowedTest : public test::XvfbTest {
 protected:
  ~OutputSetupWindowedTest() override {
    if (quor_ > 0) test::WaitFor(quor_, std::chrono::milliseconds(0));  // kills a quor a failed step left running
  }

  // Starts quor on `project` in a private network, with a receiver on
  // 127.0.0.1:6454 of that network; false when this machine has none.
  bool StartQuor(const std::string& project) {
    int channel[2];
    if (socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, channel) != 0) return false;
    quor_ = test::Spawn({QUOR_BINARY, project, "-S1", "--config-dir=" + dir_}, dir_ + "/quor.log", [&channel] {
      if (!test::EnterPrivateNetwork()) return false;
      const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
      sockaddr_in local{};
      local.sin_family = AF_INET;
      local.sin_port = htons(kArtNetPort);
      local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      return bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 && SendFd(channel[1], fd);
    });
    close(channel[1]);
    const int fd = ReceiveFd(channel[0], 10000);
    close(channel[0]);
    if (fd < 0) return false;
    receiver_ = std::make_unique<test::UdpReceiver>(fd);
    return true;
  }

  // Runs the probe steps in order; on the first that fails, says which,
  // with the probe's message, and leaves a screenshot.
  void Steps(const std::vector<std::vector<std::string>>& steps) {
    for (const std::vector<std::string>& step : steps) {
      if (Probe(step) == 0) continue;
      const std::string log = ReadWholeFile(dir_ + "/probe.log");
      Probe({"shot", dir_ + "/failed_step.png"});
      std::string text;
      for (const std::string& word : step) text += word + " ";
      FAIL() << "step \"" << text << "\" failed: " << log << "(screen in " << dir_ << "/failed_step.png)\n"
             << ReadWholeFile(dir_ + "/quor.log");
    }
  }

  // Receives until one datagram of each universe carries the expected
  // payload; otherwise says what came instead.
  testing::AssertionResult PayloadsArrive(const Expected& expected, const char* when) {
    bool matched[2] = {false, false};
    std::string last = "nothing";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    test::Datagram got;
    while (!(matched[0] && matched[1]) && std::chrono::steady_clock::now() < deadline && receiver_->Receive(got, 1000)) {
      if (got.bytes.size() != 18u + kDeviceChannels || got.bytes[15] != 0 || got.bytes[14] > 1) {
        last = "a datagram of " + std::to_string(got.bytes.size()) + " bytes";  // not of the two universes
        continue;
      }
      const std::vector<uint8_t> data = test::UdpReceiver::ArtNetData(got);
      const int universe = got.bytes[14];
      matched[universe] = matched[universe] || data == expected.payloads[static_cast<size_t>(universe)];
      std::ostringstream text;
      text << "universe " << universe << ":";
      for (int i = 0; i < 12; ++i) text << ' ' << int{data[static_cast<size_t>(i)]};
      last = text.str();
    }
    if (matched[0] && matched[1]) return testing::AssertionSuccess();
    return testing::AssertionFailure() << when << ": the Art-Net payload never followed the snake patch; last came "
                                       << last << "\n" << ReadWholeFile(dir_ + "/quor.log");
  }

  // The top-left pixel of the first unpatched (dark red) cell in a picture
  // of the "Output Patch" dialog.
  std::optional<std::pair<int, int>> FirstUnpatchedCell() {
    const std::string shot = dir_ + "/output_patch.png";
    if (Probe({"shot", shot, "Output Patch"}) != 0) return std::nullopt;
    const QImage image(QString::fromStdString(shot));
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        if (image.pixel(x, y) == qRgb(100, 0, 0)) return std::make_pair(x, y);
      }
    }
    return std::nullopt;
  }

  pid_t quor_ = -1;
  std::unique_ptr<test::UdpReceiver> receiver_;
};

TEST_F(OutputSetupWindowedTest, ArtNetDevicesAndSnakeFastPatchFromTheMenusReachTheWireAndTheProject) {
  const std::string kTitle = test::kMainTitle;
  dir_ = test::FreshTestDir("windowed_output_setup");
  ASSERT_NO_FATAL_FAILURE(WriteStartProject(dir_));
  if (!StartQuor(dir_ + "/start.qrx")) {
    GTEST_SKIP() << "this machine allows no private network namespace (run as root or enable unprivileged user "
                    "namespaces)";
  }
  // Focus starts on the first field of each dialog; Tab walks the fields
  // in order, selecting a field's text so that typing replaces it.
  const std::vector<std::string> addDevice = {"Tab", "Tab", "Tab", "Tab", "Tab"};  // to "Universe"
  std::vector<std::string> universe0 = {"key", "Add/Edit Device"}, universe1 = universe0;
  universe0.insert(universe0.end(), addDevice.begin(), addDevice.end());
  universe1.insert(universe1.end(), addDevice.begin(), addDevice.end());
  for (const char* k : {"0", "Tab", "1", "9", "2", "Return"}) universe0.push_back(k);
  for (const char* k : {"1", "Tab", "1", "9", "2", "Return"}) universe1.push_back(k);
  Steps({
      {"wait", kTitle, "20000"},
      {"key", kTitle, "alt+s", "o"},  // recalling the scene started the output: stop it
      {"key", kTitle, "alt+s", "d"},  // Setup > Output Devices
      {"wait", "Output Devices", "10000"},
      {"key", "Output Devices", "Tab", "space"},  // from the list to "Add"
      {"wait", "Add/Edit Device", "10000"},
      universe0,
      {"gone", "Add/Edit Device", "10000"},
      {"key", "Output Devices", "space"},  // "Add" again
      {"wait", "Add/Edit Device", "10000"},
      universe1,
      {"gone", "Add/Edit Device", "10000"},
      {"key", "Output Devices", "Escape"},
      {"gone", "Output Devices", "10000"},
      {"key", kTitle, "alt+s", "p"},  // Setup > Output Patch
      {"wait", "Output Patch", "10000"},
      {"key", "Output Patch", "Tab", "space"},  // from the device list to "Fast Patch"
      {"wait", "FastPatch", "10000"},
      // Dimension X, Y, First Channel, then the pixel order (the fifth),
      // the colour order (the last) and the first device.
      {"key", "FastPatch", "Tab", "Tab", "Tab", "Home", "Down", "Down", "Down", "Down", "Tab", "End", "Tab", "Home",
       "Return"},
      {"gone", "FastPatch", "10000"},
  });
  if (HasFatalFailure()) return;
  // Device 1 took the top four rows; the grid shows the rest unpatched, and
  // a click on the first such cell (1/5) starts the next area there.
  std::optional<std::pair<int, int>> cell;
  ASSERT_TRUE(test::WaitUntil([&] { return (cell = FirstUnpatchedCell()).has_value(); }, std::chrono::seconds(10)))
      << "the patch grid shows no unpatched cell after the first FastPatch; see " << dir_ << "/output_patch.png";
  Steps({
      {"click", "Output Patch", std::to_string(cell->first + 4), std::to_string(cell->second + 4)},
      {"key", "Output Patch", "space"},  // "Fast Patch" again
      {"wait", "FastPatch", "10000"},
      {"key", "FastPatch", "Tab", "Tab", "Tab", "Tab", "Tab", "End", "Return"},  // the second device
      {"gone", "FastPatch", "10000"},
      {"key", "Output Patch", "Escape"},
      {"gone", "Output Patch", "10000"},
      {"key", kTitle, "alt+s", "o"},  // Setup > Start Output
  });
  if (HasFatalFailure()) return;
  const Expected expected;
  ASSERT_TRUE(PayloadsArrive(expected, "after Start Output"));

  // Saved from the menu while the output runs, then quit.
  const std::string saved = dir_ + "/leds.qrx";
  Steps({{"key", kTitle, "alt+f", "s"}});  // File > Save
  if (HasFatalFailure()) return;
  ASSERT_TRUE(ChooseFile("Save As ...", saved)) << "the save dialog did not take " << saved << ": "
                                                << ReadWholeFile(dir_ + "/probe.log");
  Steps({{"close", kTitle}});
  if (HasFatalFailure()) return;
  ASSERT_EQ(test::WaitFor(quor_, std::chrono::seconds(20)), 0) << ReadWholeFile(dir_ + "/quor.log");
  quor_ = -1;
  Engine loaded(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  const ProjectFileResult load = LoadProject(loaded, saved);
  ASSERT_EQ(load.status, ProjectFileStatus::kDone) << "the menu's Save wrote no project to " << saved;
  EXPECT_TRUE(load.outputsRunning);
  loaded.outputs().CloseOutputs();
  ASSERT_EQ(loaded.outputs().devices().count(), 2);
  for (int i = 0; i < 2; ++i) {
    const OutputDevice& d = loaded.outputs().devices()[i];
    EXPECT_EQ(d.driver, kDriverArtNet);
    EXPECT_EQ(d.AddressText(), "127.0.0.1");
    EXPECT_EQ(d.port, kArtNetPort);
    EXPECT_EQ(d.channels, kDeviceChannels);
    EXPECT_EQ(d.universe, i);
  }
  for (int i = 0; i < kWidth * kHeight; ++i) {
    const PatchEntry& got = loaded.patch().At(i % kWidth, i / kWidth);
    const PatchEntry& want = expected.patch.At(i % kWidth, i / kWidth);
    ASSERT_TRUE(got == want) << "the saved patch differs from the snake FastPatch at pixel " << i % kWidth << "/"
                             << i / kWidth << ": device " << got.device << " red " << got.red << ", expected device "
                             << want.device << " red " << want.red;
  }

  // Started again on the saved project (saved while the output ran, so it
  // opens the outputs on loading): the same devices and patch on the wire.
  receiver_.reset();
  ASSERT_TRUE(StartQuor(saved)) << "the private network for the second start failed";
  Steps({{"wait", kTitle, "20000"}});
  if (HasFatalFailure()) return;
  EXPECT_TRUE(PayloadsArrive(expected, "after loading the saved project"));
  Steps({{"close", kTitle}});
  EXPECT_EQ(test::WaitFor(quor_, std::chrono::seconds(20)), 0) << ReadWholeFile(dir_ + "/quor.log");
  quor_ = -1;
}

}  // namespace
}  // namespace quor
