// From the main window's menu through the real output dialogs to the wire.

#include "output/fast_patch.h"
#include "tests/output/udp_receiver.h"
#include "ui/output_dialogs.h"
#include "ui_support.h"

namespace quor {
namespace {

TEST(OutputSetupFlow, MenuDialogsToArtNetPayloadInSnakeOrder) {
  Engine engine(BuiltinGenerators(), test::kManualClock);
  ASSERT_TRUE(engine.ResizeMatrix(16, 8));
  PreviewRenderer renderer(engine);
  MainWindow window(engine, renderer, MainWindowOptions{QString::fromStdString(test::FreshTestDir("flow_help")), 40});
  window.show();
  test::OnModal<OutputDevicesDialog> devices([](OutputDevicesDialog& d) {
    d.runEditor = [](DeviceEditorDialog& e) {
      e.typeList()->setCurrentIndex(kDriverArtNet), e.ipEdit()->setText("127.0.0.1"), e.accept();
      return e.result();
    };
    d.Add();
  });
  window.RunCommand(kCmdOutputDevices);
  ASSERT_EQ(engine.outputs().devices().count(), 1);
  test::OnModal<OutputPatchDialog> patch([](OutputPatchDialog& d) {
    d.runFastPatch = [](FastPatchDialog& f) {
      f.dimensionXEdit()->setText("16"), f.dimensionYEdit()->setText("8");
      f.pixelOrderList()->setCurrentIndex(4), f.colourOrderList()->setCurrentIndex(2);  // snake from top-left, BGR
      f.accept();
      return f.result();
    };
    d.FastPatch();
  });
  window.RunCommand(kCmdOutputPatch);
  // The device sends to this test's own loopback port.
  test::UdpReceiver receiver;
  OutputDevice device = engine.outputs().devices()[0];
  device.port = receiver.port();
  engine.outputs().devices().Replace(0, device, engine.patch());

  window.RunCommand(kCmdStartOutput);
  ASSERT_EQ(engine.flags().outputState.load(), kOutputRunning);
  std::vector<uint8_t> frame(16 * 8 * 3);
  for (size_t i = 0; i < frame.size(); ++i) {  // pixel k is (k % 16, k / 16, 200)
    frame[i] = static_cast<uint8_t>(i % 3 == 2 ? 200 : i % 3 ? i / 48 : i / 3 % 16);
  }
  engine.outputs().SendFrame({frame.data(), 16, 8});
  test::Datagram got;
  ASSERT_TRUE(receiver.Receive(got));
  window.RunCommand(kCmdStartOutput);  // stop
  ASSERT_EQ(got.bytes.size(), 18u + 512u);
  // Pixel k of the snake: rows run left to right, then right to left; BGR.
  for (int k = 0; k < 128; ++k) {
    const int y = k / 16, x = y % 2 == 0 ? k % 16 : 15 - k % 16;
    const uint8_t* p = got.bytes.data() + 18 + k * 3;
    EXPECT_EQ(std::vector<int>({p[0], p[1], p[2]}), std::vector<int>({200, y, x})) << k;
  }
}

// Pictures of the four dialogs for the README, written only when QUOR_DIALOG_SHOTS names a folder.
TEST(OutputSetupFlow, DialogPicturesForTheReadme) {
  const QString folder = qEnvironmentVariable("QUOR_DIALOG_SHOTS");
  if (folder.isEmpty()) GTEST_SKIP() << "set QUOR_DIALOG_SHOTS=<folder> to write the pictures";
  Engine engine(BuiltinGenerators(), test::kManualClock);
  ASSERT_TRUE(engine.ResizeMatrix(16, 8));
  OutputDevice node = NewDeviceDefaults();
  node.SetAddress("192.168.1.50"), node.channels = 384;
  for (int half = 0; half < 2; ++half) {
    node.universe = half;
    engine.outputs().devices().Add(node);
    engine.outputs().fastPatch() = {16, 4, 0, 4, 5, half};
    ApplyFastPatch(engine.patch(), engine.outputs().devices(), 0, half * 4, engine.outputs().fastPatch());
  }
  OutputDevicesDialog devices(engine, nullptr);
  DeviceEditorDialog editor(engine.outputs().devices()[0], 16, 8, nullptr);
  OutputPatchDialog patch(engine, nullptr);
  FastPatchDialog fastPatch(engine, 1, 5, nullptr);
  patch.resize(760, 330);
  for (auto [w, name] : {std::pair<QWidget*, const char*>{&devices, "output_devices"}, {&editor, "device_editor"},
                         {&patch, "output_patch"}, {&fastPatch, "fast_patch"}}) {
    w->show(), QApplication::processEvents();
    EXPECT_TRUE(w->grab().save(folder + "/" + name + ".png"));
  }
}

}  // namespace
}  // namespace quor
