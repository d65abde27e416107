// The "Remote Control" dialog and the "Artnet Scan" window (loopback only).
#include "ui/remote_control_dialog.h"

#include "input/remote_control.h"
#include "input/remote_input_parser.h"
#include "tests/output/udp_receiver.h"
#include "ui/artnet_scan_window.h"
#include "ui_support.h"

namespace quor {
namespace {

using test::Retype;

class RemoteControlDialogTest : public testing::Test {
 protected:
  Engine engine_{BuiltinGenerators(), test::kManualClock};
};

TEST_F(RemoteControlDialogTest, FieldsFollowTheInputTypeAndTheChannel) {
  RemoteInputSettings& s = engine_.remoteInputSettings();
  s.inputType = kRemoteTpm2, s.baudOrNet = 250000, s.firstChannel = 7;
  s.SetPortName("ttyUSB1");
  RemoteControlDialog dialog(engine_, {"ttyACM0", "ttyUSB1"}, nullptr);
  dialog.show();
  EXPECT_EQ(QStringList({dialog.serialList()->currentText(), dialog.baudList()->currentText()}),
            QStringList({"ttyUSB1", "250000"}));
  EXPECT_TRUE(dialog.serialList()->isEnabled() && !dialog.netEdit()->isEnabled());
  EXPECT_EQ(dialog.channelField(3)->text(), "10");
  Retype(dialog.channelEdit(), "100");
  EXPECT_EQ(dialog.channelField(3)->text(), "103");

  dialog.typeList()->setCurrentIndex(kRemoteArtNet);  // a baud rate is no Net: shown as 0
  EXPECT_EQ(dialog.netEdit()->text() + " " + dialog.portField()->text(), "0 6454");
  EXPECT_TRUE(dialog.universeEdit()->isEnabled() && !dialog.baudList()->isEnabled());
  EXPECT_FALSE(dialog.portField()->isEnabled());
  dialog.typeList()->setCurrentIndex(kRemoteTpm2Net);
  EXPECT_EQ(dialog.portField()->text(), "65506");
  EXPECT_TRUE(!dialog.subnetEdit()->isEnabled() && dialog.channelEdit()->isEnabled());
}

// The Net field takes three characters: a stored baud rate must show as 0, never as its first
// digits ("115" of 115200 would pass as a Net).
TEST_F(RemoteControlDialogTest, ABaudRateNeverBecomesTheNet) {
  RemoteInputSettings& s = engine_.remoteInputSettings();
  for (auto [type, stored, net] : {std::tuple{kRemoteTpm2, 115200, "0"}, {kRemoteTpm2, 1000000, "0"},
                                   {kRemoteTpm2, 250000, "0"}, {kRemoteArtNet, 7, "7"}, {kRemoteArtNet, 128, "128"}}) {
    s.inputType = type, s.baudOrNet = stored;
    RemoteControlDialog dialog(engine_, {}, nullptr);
    dialog.typeList()->setCurrentIndex(kRemoteArtNet);
    EXPECT_EQ(dialog.netEdit()->text(), net) << stored;
  }
}

// "Port" and the channel fields only show values: typing changes nothing,
// and they are drawn on the window's colour, not the white of the fields
// that take input.
TEST_F(RemoteControlDialogTest, DisplayFieldsNeitherTakeTypingNorLookAsIfTheyWould) {
  RemoteControlDialog dialog(engine_, {}, nullptr);
  dialog.show();
  QApplication::setActiveWindow(&dialog);
  for (int type : {kRemoteTpm2Net, kRemoteArtNet}) {
    dialog.typeList()->setCurrentIndex(type);
    for (QLineEdit* field : {dialog.portField(), dialog.channelField(0), dialog.channelField(3)}) {
      const QString shown = field->text();
      QTest::mouseClick(field, Qt::LeftButton);
      QTest::keyClicks(field, "12");
      QTest::keyClick(field, Qt::Key_Backspace);
      EXPECT_EQ(field->text(), shown) << type;
      const QPalette::ColorGroup group = field->isEnabled() ? QPalette::Active : QPalette::Disabled;
      EXPECT_EQ(field->palette().color(group, QPalette::Base), field->palette().color(group, QPalette::Window));
      EXPECT_NE(field->palette().color(group, QPalette::Base), dialog.channelEdit()->palette().color(QPalette::Base));
    }
  }
  EXPECT_EQ(dialog.portField()->text(), "6454");
}

TEST_F(RemoteControlDialogTest, OkRefusesOutOfRangeNumbersInOrderAndStoresWhatPassed) {
  RemoteInputSettings& s = engine_.remoteInputSettings();
  RemoteControlDialog dialog(engine_, {}, nullptr);
  dialog.show();
  QApplication::setActiveWindow(&dialog);
  dialog.typeList()->setCurrentIndex(kRemoteArtNet);
  // Each refused value keeps the dialog open with its field selected.
  for (auto [field, text] : {std::pair<QLineEdit*, const char*>{dialog.channelEdit(), "509"}, {dialog.netEdit(), "128"},
                             {dialog.subnetEdit(), "16"}, {dialog.universeEdit(), "x"}}) {
    Retype(field, text);
    EXPECT_FALSE(dialog.Store()) << text;
    EXPECT_TRUE(field->hasFocus()) << text;
    EXPECT_EQ(field->selectedText(), text);
    Retype(field, "3");
  }
  EXPECT_EQ(s.inputType, kRemoteArtNet);  // stored before the first refusal
  dialog.enabledBox()->setChecked(true);
  dialog.limitBox()->setChecked(true);
  EXPECT_TRUE(dialog.Store());
  EXPECT_EQ(std::make_tuple(s.firstChannel, s.baudOrNet, s.subnet, s.universe, s.listenPort, s.limitTo32),
            std::make_tuple(3, 3, 3, 3, 6454, 1));
  EXPECT_EQ(engine_.settings().remoteControlEnabled.load(), 1);
}

TEST_F(RemoteControlDialogTest, FailedOpenSwitchesTheOptionOffAndSaysSo) {
  RemoteInputSettings& s = engine_.remoteInputSettings();
  s.inputType = kRemoteTpm2;
  // "OK" with the option on and a serial port that does not exist.
  test::OnModal<RemoteControlDialog> dialog([](RemoteControlDialog& d) {
    d.enabledBox()->setChecked(true);
    d.accept();
  });
  test::BoxCatcher box;
  EXPECT_FALSE(RunRemoteControlCommand(engine_, {"ttyQuorMissing"}, nullptr));
  EXPECT_EQ(engine_.settings().remoteControlEnabled.load() + engine_.flags().remoteInputActive.load(), 0);
  EXPECT_EQ(box.title, "Error");
  EXPECT_TRUE(box.text.startsWith("Failed to open input. Please check your device.")) << box.text.toStdString();
}

TEST(ArtNetScanWindow, CountsDownAddsTheNodeThatAnsweredAndClosesItself) {
  Console console;
  OutputDeviceList devices(console);
  // The scan polls itself on loopback; a node answers from another socket.
  const int node = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET, to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  test::UdpReceiver free;  // the port after a free one is most likely free too
  const int scanPort = free.port() + 1;
  to.sin_port = htons(static_cast<uint16_t>(scanPort));
  ArtNetScan::Options options;
  options.pollAddress = "127.0.0.1", options.port = scanPort, options.durationMs = 2000;
  QStringList shown;
  auto countdown = [&shown] {
    if (auto* window = dynamic_cast<ArtNetScanWindow*>(QApplication::activeModalWidget())) shown << window->countdown()->text();
  };
  QTimer::singleShot(300, [&] {
    RemoteInputSettings nodeSettings;
    nodeSettings.universe = 4;
    auto reply = BuildRemoteArtPollReply({127, 0, 0, 1}, nodeSettings);
    std::copy_n("Node", 4, reply.begin() + 26);
    ::sendto(node, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    countdown();
  });
  QTimer::singleShot(1300, countdown);
  EXPECT_EQ(RunArtNetScanWindow(devices, console, nullptr, options), 1);
  ::close(node);
  EXPECT_EQ(shown, (QStringList{"Please Wait ... 2", "Please Wait ... 1"}));
  ASSERT_EQ(devices.count(), 1);
  EXPECT_EQ(devices[0].universe, 4);
  EXPECT_EQ(std::string(devices[0].AddressText()), "127.0.0.1");
}

// A scan no node answers says so once it has ended, in the words the
// command-line scan prints.
TEST(ArtNetScanWindow, SaysSoWhenNoNodeAnswered) {
  Console console;
  OutputDeviceList devices(console);
  test::UdpReceiver free;
  ArtNetScan::Options options;
  options.pollAddress = "127.0.0.1", options.port = free.port() + 1, options.durationMs = 1000;
  test::BoxCatcher box;
  EXPECT_EQ(RunArtNetScanWindow(devices, console, nullptr, options), 0);
  EXPECT_EQ(box.title + " / " + box.text, "Artnet Scan / No Art-Net nodes answered");
  EXPECT_EQ(ArtNetScanListing({}), box.text.toStdString() + "\n");
  EXPECT_EQ(devices.count(), 0);
}

}  // namespace
}  // namespace quor
