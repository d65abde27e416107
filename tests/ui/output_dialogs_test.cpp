// The output setup dialogs: device list, device editor, patch grid and FastPatch.
#include "ui/output_dialogs.h"

#include <QTableView>

#include "output/fast_patch.h"
#include "ui/modal_commands.h"
#include "ui_support.h"

namespace quor {
namespace {

using test::Retype;

struct Fixture {
  Engine engine{BuiltinGenerators(), test::kManualClock};
  OutputDeviceList& devices() { return engine.outputs().devices(); }
};

// One editor session: pick the driver, type the fields, press OK.
struct EditorInput {
  int driver;
  std::vector<std::pair<QLineEdit* (DeviceEditorDialog::*)() const, QString>> fields = {};
  QString path = {};  // returned by the path chooser; "" = never chosen
};

int Fill(DeviceEditorDialog& editor, const EditorInput& in, QString* error = nullptr) {
  editor.typeList()->setCurrentIndex(in.driver);
  for (const auto& [field, text] : in.fields) Retype((editor.*field)(), text);
  editor.choosePath = [&in](bool, const QString&) { return in.path; };
  editor.showError = [error](const QString& title, const QString& text) {
    if (error != nullptr) *error = title + ": " + text;
  };
  if (editor.selectButton()->isEnabled()) QTest::mouseClick(editor.selectButton(), Qt::LeftButton);
  QTest::mouseClick(editor.okButton(), Qt::LeftButton);
  return editor.result();
}

void AddDevice(OutputDevicesDialog& dialog, const EditorInput& in) {
  dialog.runEditor = [&in](DeviceEditorDialog& editor) { return Fill(editor, in); };
  dialog.Add();
}

using D = DeviceEditorDialog;

TEST(OutputDevicesDialog, AddsOneDeviceOfEachDriverWithItsRowTexts) {
  Fixture f;
  OutputDevicesDialog dialog(f.engine, nullptr);
  struct Case {
    EditorInput in;
    QStringList row;
  } cases[] = {
      {{kDriverArtNet, {{&D::ipEdit, "10.0.0.7"}, {&D::netEdit, "3"}, {&D::subnetEdit, "4"}, {&D::universeEdit, "5"}}},
       {"1", "Art-Net", "10.0.0.7", "Net: 3 - Subnet: 4 - Universe: 5"}},
      {{kDriverTpm2Net, {{&D::channelsEdit, "1000"}, {&D::chanPerBlockEdit, "300"}}},
       {"2", "tpm2.net", "127.0.0.1", "Chan: 1000 - Chan/Block: 300"}},
      {{kDriverGlediator, {{&D::channelsEdit, "90"}}, "/tmp/quor-test.out"}, {"3", "Glediator", "", "Chan: 90 - Baud: 115200"}},
      {{kDriverTpm2, {{&D::channelsEdit, "300"}}}, {"4", "tpm2", "", "Chan: 300 - Baud: 115200"}},
      {{kDriverMiniDmx, {{&D::channelsEdit, "97"}}}, {"5", "MiniDMX", "", "Chan: 256 - Baud: 115200"}},
      {{kDriverBitmapExport, {}, "/tmp/quor-bitmaps"}, {"6", "Bitmap Export", "/tmp/quor-bitmaps", ""}},
      {{kDriverFileRecorder, {}, "/tmp/quor-rec.out"}, {"7", "Glediator File Recorder", "/tmp/quor-rec.out", ""}},
      {{kDriverSacn, {{&D::ipEdit, "multicast"}, {&D::universeEdit, "63999"}, {&D::priorityEdit, "150"}}},
       {"8", "sACN (E1.31)", "multicast", "Universe: 63999 - Priority: 150"}},
      {{kDriverDdp, {{&D::ipEdit, "127.0.0.1"}, {&D::channelsEdit, "4000"}}}, {"9", "DDP", "127.0.0.1", "Channels: 4000"}},
  };
  for (const Case& c : cases) AddDevice(dialog, c.in);
  ASSERT_EQ(dialog.list()->topLevelItemCount(), 9);
  for (int i = 0; i < 9; ++i) {
    QStringList row;
    for (int col = 0; col < 4; ++col) row << dialog.list()->topLevelItem(i)->text(col);
    // Serial rows show the system's first port, which differs per machine.
    if (i >= 2 && i <= 4) row[2] = "";
    EXPECT_EQ(row, cases[i].row) << "device " << i;
  }
  // The Glediator device had no box ticked: a chosen file alone does not redirect.
  EXPECT_TRUE(!f.devices()[2].Redirected() && f.devices()[5].redirect == 1);
}

TEST(DeviceEditorDialog, RefusesEachBadFieldWithFocusOrMessage) {
  const struct {
    EditorInput in;
    EditorField refused;
    const char* message;
  } cases[] = {
      {{kDriverArtNet, {{&D::ipEdit, "10.0.0.256"}}}, kFieldIpAddress, ""},
      {{kDriverBitmapExport, {}}, kFieldSelect, "Error: No directory or file for export selected."},
  };
  for (const auto& c : cases) {
    DeviceEditorDialog editor(NewDeviceDefaults(), 16, 8, nullptr);
    QString error;
    EXPECT_EQ(Fill(editor, c.in, &error), QDialog::Rejected) << c.refused;
    EXPECT_EQ(editor.refusedField(), c.refused);
    EXPECT_EQ(error, QString::fromLatin1(c.message));
    if (auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget())) {
      EXPECT_EQ(edit->selectedText(), edit->text()) << "refused text is selected";
    }
  }
  DeviceEditorDialog editor(NewDeviceDefaults(), 16, 8, nullptr);  // Chan/Block is cut to Channels on leaving
  editor.typeList()->setCurrentIndex(kDriverTpm2Net);
  Retype(editor.channelsEdit(), "1000"), Retype(editor.chanPerBlockEdit(), "1001");
  emit editor.chanPerBlockEdit()->editingFinished();
  EXPECT_EQ(editor.chanPerBlockEdit()->text(), "1000");
}

// Three Art-Net devices, pixels (0,0) (1,0) (2,0) on devices 0, 1, 2.
void ThreeDevices(Fixture& f, OutputDevicesDialog& dialog) {
  for (int u = 0; u < 3; ++u) AddDevice(dialog, {kDriverArtNet, {{&D::universeEdit, QString::number(u)}}});
  for (int d = 0; d < 3; ++d) f.engine.patch().At(d, 0) = {d, 300, 301, 302};
}

// The list's Delete and Edit reach the device list's own patch upkeep.
TEST(OutputDevicesDialog, DeleteUnpatchesAndRenumbersEditClearsCutChannels) {
  Fixture f;
  OutputDevicesDialog dialog(f.engine, nullptr);
  ThreeDevices(f, dialog);
  dialog.list()->setCurrentItem(dialog.list()->topLevelItem(0));
  QTest::mouseClick(dialog.findChild<QPushButton*>("Delete"), Qt::LeftButton);
  ASSERT_EQ(f.devices().count(), 2);
  EXPECT_EQ(dialog.list()->topLevelItem(0)->text(3), "Net: 0 - Subnet: 0 - Universe: 1");
  EXPECT_EQ(f.engine.patch().At(1, 0), (PatchEntry{0, 300, 301, 302}));
  // Device 0 (was 1) cut to 256 channels: its pixel on channel 300 goes.
  dialog.list()->setCurrentItem(dialog.list()->topLevelItem(0));
  dialog.runEditor = [](DeviceEditorDialog& e) { return Fill(e, {kDriverArtNet, {{&D::channelsEdit, "256"}}}); };
  dialog.Edit();
  EXPECT_EQ(f.engine.patch().At(1, 0).device, -1);
  dialog.runEditor = [](DeviceEditorDialog&) { return int(QDialog::Rejected); };  // a cancelled add changes nothing
  dialog.Add();
  EXPECT_EQ(f.devices().count(), 2);
}

TEST(OutputPatchDialog, CellDeviceAndChannelAcceptance) {
  Fixture f;
  ASSERT_TRUE(f.engine.ResizeMatrix(16, 8, 0));
  OutputDevicesDialog devices(f.engine, nullptr);
  ThreeDevices(f, devices);
  f.engine.patch().Clear();
  OutputPatchDialog dialog(f.engine, nullptr);
  ASSERT_EQ(dialog.deviceList()->count(), 4);
  EXPECT_EQ(dialog.deviceList()->itemText(0), "None");
  EXPECT_EQ(dialog.deviceList()->itemText(2), "Artnet 127.0.0.1 [ 0 | 0 | 1 ]");
  dialog.SelectCell(0, 3);  // header: ignored
  EXPECT_EQ(dialog.yLabel()->text(), "1");
  dialog.SelectCell(5, 3);
  EXPECT_FALSE(dialog.redEdit()->isEnabled());
  dialog.deviceList()->setCurrentIndex(2);
  emit dialog.deviceList()->activated(2);
  EXPECT_TRUE(f.engine.patch().At(4, 2).device == 1 && dialog.redEdit()->isEnabled());
  Retype(dialog.redEdit(), "511");
  Retype(dialog.greenEdit(), "512");  // = channels: refused
  EXPECT_EQ(f.engine.patch().At(4, 2), (PatchEntry{1, 511, 51, 0}));  // "51" was typed on the way
  EXPECT_EQ(dialog.model()->data(dialog.model()->index(3, 5), Qt::BackgroundRole).value<QColor>(), QColor(0, 255, 0));
  EXPECT_EQ(dialog.model()->data(dialog.model()->index(3, 6), Qt::BackgroundRole).value<QColor>(), QColor(100, 0, 0));
  EXPECT_EQ(dialog.model()->data(dialog.model()->index(8, 0), Qt::DisplayRole).toString(), "8    ");
  dialog.ClearPatch();
  EXPECT_EQ(f.engine.patch().At(4, 2).device, -1);
}

// FastPatch from the patch dialog at the selected cell; the kept settings come
// back, and the preview numbers the snake.
TEST(FastPatchDialog, SnakeAcrossTwoUniversesEqualsEngineFastPatchAndGridShowsIt) {
  Fixture f;
  ASSERT_TRUE(f.engine.ResizeMatrix(16, 8, 0));
  OutputDevicesDialog devices(f.engine, nullptr);
  for (int u = 0; u < 2; ++u) AddDevice(devices, {kDriverArtNet, {{&D::universeEdit, QString::number(u)}}});
  OutputPatchDialog dialog(f.engine, nullptr);
  dialog.SelectCell(1, 5);
  dialog.runFastPatch = [](FastPatchDialog& fp) {
    Retype(fp.dimensionYEdit(), "4");
    fp.pixelOrderList()->setCurrentIndex(4), fp.colourOrderList()->setCurrentIndex(5);  // snake, GRB
    fp.deviceList()->setCurrentIndex(1);
    fp.accept();
    return fp.result();
  };
  dialog.FastPatch();
  PatchTable expected(16, 8);
  FastPatchSettings settings{16, 4, 0, 4, 5, 1};
  ApplyFastPatch(expected, f.devices(), 0, 4, settings);
  EXPECT_EQ(f.engine.patch().entries(), expected.entries());
  EXPECT_EQ(dialog.model()->data(dialog.model()->index(6, 16), Qt::ToolTipRole).toString(), "Device 2: R 49 G 48 B 50");
  FastPatchDialog again(f.engine, 1, 1, nullptr);
  EXPECT_EQ(again.dimensionYEdit()->text(), "4");
  EXPECT_TRUE(again.previewLabel()->text().startsWith("   1   2   3   4   5   6\n  12  11"));
}

TEST(OutputDialogs, RefusedWhileOutputRuns) {
  Fixture f;
  ModalCommands modal(f.engine, nullptr);
  RegisterOutputDialogs(modal, f.engine);
  f.engine.flags().outputState.store(kOutputRunning);
  for (int command : {kCmdOutputDevices, kCmdOutputPatch}) {
    test::BoxCatcher box;
    modal.RunCommand(command, "x");
    EXPECT_EQ(box.text, QString::fromLatin1(kStopOutputFirstMessage));
  }
  f.engine.flags().outputState.store(kOutputStopped);
}

}  // namespace
}  // namespace quor
