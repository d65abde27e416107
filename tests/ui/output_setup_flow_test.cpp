// From the main window's menu to the wire: an Art-Net device to 127.0.0.1
// and a snake FastPatch set up in the real (modal) dialogs, output started
// from the menu, and the Art-Net payload read by a loopback receiver.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <vector>

#include "engine/engine.h"
#include "engine/project_file.h"
#include "generators/builtin_generators.h"
#include "test_support.h"
#include "ui/command_ids.h"
#include "ui/main_window.h"
#include "output/fast_patch.h"
#include "ui/output_dialogs.h"
#include "ui/preview_renderer.h"

namespace quor {
namespace {

// Runs `work` on the next modal dialog of type T, then closes it.
template <typename T, typename Work>
void OnNextDialog(Work work) {
  QTimer::singleShot(0, [work] {
    auto* dialog = dynamic_cast<T*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    work(*dialog);
    dialog->reject();
  });
}

TEST(OutputSetupFlow, MenuDialogsToArtNetPayloadInSnakeOrder) {
  const int receiver = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(kArtNetPort);
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(receiver, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    close(receiver);
    GTEST_SKIP() << "127.0.0.1:6454 is in use; run again when no other Art-Net test runs";
  }
  timeval wait{2, 0};
  setsockopt(receiver, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);

  Engine engine(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  ASSERT_TRUE(engine.ResizeMatrix(16, 8, 0));
  PreviewRenderer renderer(engine);
  MainWindow window(engine, renderer, MainWindowOptions{QString::fromStdString(test::FreshTestDir("flow_help")), 40});
  window.show();

  OnNextDialog<OutputDevicesDialog>([](OutputDevicesDialog& d) {
    d.runEditor = [](DeviceEditorDialog& e) {
      e.typeList()->setCurrentIndex(kDriverArtNet);
      e.ipEdit()->setText("127.0.0.1");
      e.accept();
      return e.result();
    };
    d.Add();
  });
  window.RunCommand(kCmdOutputDevices);
  ASSERT_EQ(engine.outputs().devices().count(), 1);

  OnNextDialog<OutputPatchDialog>([](OutputPatchDialog& d) {
    d.runFastPatch = [](FastPatchDialog& f) {
      f.dimensionXEdit()->setText("16");
      f.dimensionYEdit()->setText("8");
      f.pixelOrderList()->setCurrentIndex(4);   // Snakelines starting Top-Left
      f.colourOrderList()->setCurrentIndex(2);  // BGR
      f.accept();
      return f.result();
    };
    d.FastPatch();
  });
  window.RunCommand(kCmdOutputPatch);

  window.RunCommand(kCmdStartOutput);
  ASSERT_EQ(engine.flags().outputState.load(), kOutputRunning);
  std::vector<uint8_t> frame(16 * 8 * 3);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) {
      uint8_t* p = &frame[static_cast<size_t>((y * 16 + x) * 3)];
      p[0] = static_cast<uint8_t>(x);
      p[1] = static_cast<uint8_t>(y);
      p[2] = 200;
    }
  }
  engine.outputs().SendFrame(frame.data(), 16, 8);
  uint8_t packet[600];
  const ssize_t got = recv(receiver, packet, sizeof packet, 0);
  window.RunCommand(kCmdStartOutput);  // stop
  close(receiver);
  ASSERT_EQ(got, 18 + 512);
  // Pixel k of the snake: rows run left to right, then right to left; BGR.
  for (int k = 0; k < 128; ++k) {
    const int y = k / 16;
    const int x = y % 2 == 0 ? k % 16 : 15 - k % 16;
    const uint8_t* p = packet + 18 + k * 3;
    EXPECT_EQ(p[0], 200) << k;
    EXPECT_EQ(p[1], y) << k;
    EXPECT_EQ(p[2], x) << k;
  }

  // Saved and loaded into a fresh engine: the same device and patch, and the
  // dialogs show them.
  const std::string path = test::FreshTestDir("flow_project") + "/leds.qrx";
  ASSERT_EQ(SaveProject(engine, path).status, ProjectFileStatus::kDone);
  Engine loaded(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  ASSERT_EQ(LoadProject(loaded, path).status, ProjectFileStatus::kDone);
  ASSERT_EQ(loaded.outputs().devices().count(), 1);
  EXPECT_EQ(loaded.outputs().devices()[0], engine.outputs().devices()[0]);
  EXPECT_EQ(loaded.patch().entries(), engine.patch().entries());
  OutputDevicesDialog devices(loaded, nullptr);
  EXPECT_EQ(devices.list()->topLevelItem(0)->text(3), "Net: 0 - Subnet: 0 - Universe: 0");
  OutputPatchDialog patch(loaded, nullptr);
  EXPECT_EQ(patch.model()->data(patch.model()->index(2, 16), Qt::ToolTipRole).toString(), "Device 1: R 50 G 49 B 48");
}

}  // namespace
}  // namespace quor

namespace quor {
namespace {

// Pictures of the four dialogs for the README, written only when
// QUOR_DIALOG_SHOTS names a folder.
TEST(OutputSetupFlow, DialogPicturesForTheReadme) {
  const QString folder = qEnvironmentVariable("QUOR_DIALOG_SHOTS");
  if (folder.isEmpty()) GTEST_SKIP() << "set QUOR_DIALOG_SHOTS=<folder> to write the pictures";
  Engine engine(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  ASSERT_TRUE(engine.ResizeMatrix(16, 8, 0));
  OutputDevice node = NewDeviceDefaults();
  node.SetAddress("192.168.1.50");
  node.channels = 384;
  node.headerLength = 18;
  engine.outputs().devices().Add(node);
  node.universe = 1;
  engine.outputs().devices().Add(node);
  FastPatchSettings& s = engine.outputs().fastPatch();
  s = {16, 4, 0, 4, 5, 0};
  ApplyFastPatch(engine.patch(), engine.outputs().devices(), 0, 0, s);
  s = {16, 4, 0, 4, 5, 1};
  ApplyFastPatch(engine.patch(), engine.outputs().devices(), 0, 4, s);
  auto save = [&folder](QWidget& w, const char* name) {
    w.show();
    QApplication::processEvents();
    EXPECT_TRUE(w.grab().save(folder + "/" + name));
  };
  OutputDevicesDialog devices(engine, nullptr);
  save(devices, "output_devices.png");
  DeviceEditorDialog editor(engine.outputs().devices()[0], 16, 8, nullptr);
  save(editor, "device_editor.png");
  OutputPatchDialog patch(engine, nullptr);
  patch.resize(760, 330);
  save(patch, "output_patch.png");
  FastPatchDialog fast(engine, 1, 5, nullptr);
  save(fast, "fast_patch.png");
}

}  // namespace
}  // namespace quor
