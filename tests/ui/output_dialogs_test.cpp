// The output setup dialogs: device list, device editor, patch grid and FastPatch.
#include "ui/output_dialogs.h"

#include <QHeaderView>
#include <QTableView>

#include "engine/engine_write_access.h"
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
      {{kDriverArtNet,
        {{&D::ipEdit, "10.0.0.7"}, {&D::netEdit, "3"}, {&D::subnetEdit, "4"}, {&D::universeEdit, "5"},
         {&D::channelsEdit, "510"}}},
       {"1", "Art-Net", "10.0.0.7", "Chan: 510 - Net: 3 - Subnet: 4 - Universe: 5"}},
      {{kDriverTpm2Net, {{&D::channelsEdit, "1000"}, {&D::chanPerBlockEdit, "300"}}},
       {"2", "tpm2.net", "127.0.0.1", "Chan: 1000 - Chan/Block: 300"}},
      {{kDriverGlediator, {{&D::channelsEdit, "90"}}, "/tmp/quor-test.out"}, {"3", "Glediator", "", "Chan: 90 - Baud: 115200"}},
      {{kDriverTpm2, {{&D::channelsEdit, "300"}}}, {"4", "tpm2", "", "Chan: 300 - Baud: 115200"}},
      {{kDriverMiniDmx, {{&D::channelsEdit, "97"}}}, {"5", "MiniDMX", "", "Chan: 256 - Baud: 115200"}},
      {{kDriverBitmapExport, {}, "/tmp/quor-bitmaps"}, {"6", "Bitmap Export", "/tmp/quor-bitmaps", ""}},
      {{kDriverFileRecorder, {}, "/tmp/quor-rec.out"}, {"7", "Glediator File Recorder", "/tmp/quor-rec.out", ""}},
      {{kDriverSacn, {{&D::ipEdit, "multicast"}, {&D::universeEdit, "63999"}, {&D::priorityEdit, "150"}}},
       {"8", "sACN (E1.31)", "multicast", "Chan: 510 - Universe: 63999 - Priority: 150"}},
      {{kDriverDdp, {{&D::ipEdit, "127.0.0.1"}, {&D::channelsEdit, "4000"}}}, {"9", "DDP", "127.0.0.1", "Chan: 4000"}},
  };
  for (const Case& c : cases) AddDevice(dialog, c.in);
  ASSERT_EQ(dialog.list()->topLevelItemCount(), 9);
  for (int i = 0; i < 9; ++i) {
    QStringList row;
    for (int col = 0; col < 4; ++col) row << dialog.list()->topLevelItem(i)->text(col);
    // Serial rows show the system's first port, which differs per machine.
    if (i >= 2 && i <= 4) row[2] = "";
    EXPECT_EQ(row, cases[i].row) << "device " << i;
    // The "Adressing" text shows whole, and so does its column in the opened dialog.
    EXPECT_LT(dialog.list()->fontMetrics().horizontalAdvance(row[3]), dialog.list()->columnWidth(3)) << i;
  }
  dialog.show();
  EXPECT_LE(dialog.list()->header()->sectionViewportPosition(3) + dialog.list()->columnWidth(3),
            dialog.list()->viewport()->width());
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
  EXPECT_EQ(dialog.list()->topLevelItem(0)->text(3), "Chan: 512 - Net: 0 - Subnet: 0 - Universe: 1");
  EXPECT_EQ(f.engine.patch().At(1, 0), (PatchEntry{0, 300, 301, 302}));
  // Device 0 (was 1) cut to 256 channels: its pixel on channel 300 goes.
  dialog.list()->setCurrentItem(dialog.list()->topLevelItem(0));
  dialog.runEditor = [](DeviceEditorDialog& e) { return Fill(e, {kDriverArtNet, {{&D::channelsEdit, "256"}}}); };
  dialog.Edit();
  EXPECT_EQ(f.engine.patch().At(1, 0).device, -1);
  EXPECT_EQ(dialog.list()->topLevelItem(0)->text(3), "Chan: 256 - Net: 0 - Subnet: 0 - Universe: 1");
  // A cancelled add changes nothing and leaves no row selected, so Edit
  // and Delete that follow act on no device.
  dialog.runEditor = [](DeviceEditorDialog&) { return int(QDialog::Rejected); };
  QTest::mouseClick(dialog.findChild<QPushButton*>("Add"), Qt::LeftButton);
  EXPECT_EQ(f.devices().count(), 2);
  EXPECT_TRUE(dialog.list()->selectedItems().isEmpty());
  bool edited = false;
  dialog.runEditor = [&edited](DeviceEditorDialog&) { return edited = true, int(QDialog::Rejected); };
  QTest::mouseClick(dialog.findChild<QPushButton*>("Edit"), Qt::LeftButton);
  QTest::mouseClick(dialog.findChild<QPushButton*>("Delete"), Qt::LeftButton);
  EXPECT_TRUE(!edited && f.devices().count() == 2);
}

// Art-Net numbers universes 0..15 (two digits); only sACN goes up to 63999.
TEST(DeviceEditorDialog, UniverseFieldTakesTheDigitsOfItsDriver) {
  for (const auto& [driver, kept] : {std::pair(kDriverArtNet, "12"), std::pair(kDriverSacn, "12345")}) {
    DeviceEditorDialog editor(NewDeviceDefaults(), 16, 8, nullptr);
    editor.typeList()->setCurrentIndex(driver);
    Retype(editor.universeEdit(), "12345");
    EXPECT_EQ(editor.universeEdit()->text(), kept) << driver;
  }
}

TEST(OutputPatchDialog, CellDeviceAndChannelAcceptance) {
  Fixture f;
  ASSERT_TRUE(f.engine.ResizeMatrix(16, 8));
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
  QString error;
  dialog.showError = [&error](const QString& text) { error = text; };
  // A channel is stored when its edit is finished, and only when it fits
  // the device's 512 channels; partial text never is.
  const struct {
    QLineEdit* (OutputPatchDialog::*field)() const;
    const char* typed;
    bool byReturn;  // else the edit ends by selecting another cell
    PatchEntry stored;
    const char* refusal;
  } cases[] = {
      {&OutputPatchDialog::redEdit, "511", true, {1, 511, 0, 0}, ""},
      {&OutputPatchDialog::greenEdit, "600", true, {1, 511, 0, 0}, "Green channel \"600\" was not stored"},
      {&OutputPatchDialog::greenEdit, "6x", true, {1, 511, 0, 0}, "Green channel \"6x\" was not stored"},
      {&OutputPatchDialog::blueEdit, "42", false, {1, 511, 0, 42}, ""},
  };
  for (const auto& c : cases) {
    dialog.SelectCell(5, 3), error.clear();
    const PatchEntry before = f.engine.patch().At(4, 2);
    Retype((dialog.*c.field)(), c.typed);
    EXPECT_EQ(f.engine.patch().At(4, 2), before) << c.typed << ": nothing is stored while typing";
    if (c.byReturn) QTest::keyClick((dialog.*c.field)(), Qt::Key_Return);
    else dialog.SelectCell(6, 3);
    EXPECT_EQ(f.engine.patch().At(4, 2), c.stored) << c.typed;
    EXPECT_EQ(error.left(QString(c.refusal).size()), QString(c.refusal));
    if (*c.refusal != 0) {
      EXPECT_TRUE(error.endsWith("has 512 channels, so enter a channel from 0 to 511.")) << error.toStdString();
      EXPECT_EQ((dialog.*c.field)()->text(), "0") << "the stored channel shows again";
    }
  }
  f.engine.patch().At(4, 2).blue = 0;
  dialog.SelectCell(5, 3);
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
  ASSERT_TRUE(f.engine.ResizeMatrix(16, 8));
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

// A 16 x 16 matrix over Art-Net universes of one node: the first universe
// takes 170 pixels; FastPatch says so and continues on the next universe.
TEST(FastPatchDialog, SaysWhatDidNotFitAndContinuesOnTheNextUniverseOfTheNode) {
  Fixture f;
  ASSERT_TRUE(f.engine.ResizeMatrix(16, 16));
  OutputDevicesDialog devices(f.engine, nullptr);
  AddDevice(devices, {kDriverArtNet});
  OutputPatchDialog dialog(f.engine, nullptr);
  QString asked, error;
  int result = -1;
  auto run = [&](const char* first, int device) {
    asked.clear(), error.clear();
    dialog.runFastPatch = [&](FastPatchDialog& fp) {
      fp.askContinue = [&](const QString& text) { return asked = text, true; };
      fp.showError = [&](const QString& text) { error = text; };
      Retype(fp.dimensionXEdit(), "16"), Retype(fp.dimensionYEdit(), "16"), Retype(fp.firstChannelEdit(), first);
      fp.deviceList()->setCurrentIndex(device);
      fp.accept();
      return result = fp.result();
    };
    dialog.FastPatch();
  };
  const QString summary =
      "FastPatch patched 170 of 256 pixels. Device 1 (Artnet 127.0.0.1 [ 0 | 0 | 0 ]) has no channels left for the "
      "other 86, from cell 11/11 on in the patch order.";
  run("0", 0);  // no second universe yet
  EXPECT_EQ(error, summary + " Add a device for them (for example the next universe) and Fast Patch again from that "
                             "cell with First Channel 0.");
  EXPECT_TRUE(asked.isEmpty() && f.engine.patch().At(10, 10).device == -1);

  AddDevice(devices, {kDriverArtNet, {{&D::universeEdit, "1"}}});
  run("0", 0);
  EXPECT_EQ(asked, summary + "\n\nContinue with them on device 2 (Artnet 127.0.0.1 [ 0 | 0 | 1 ]) from channel 0?");
  EXPECT_TRUE(error.isEmpty());
  EXPECT_EQ(f.engine.patch().At(10, 10), (PatchEntry{1, 0, 1, 2}));
  EXPECT_EQ(f.engine.patch().At(15, 15), (PatchEntry{1, 255, 256, 257}));
  const FastPatchSettings& kept = f.engine.outputs().fastPatch();
  EXPECT_EQ(std::pair(kept.device, kept.firstChannel), std::pair(1, 258));

  // A First Channel with no room for one pixel is refused before anything changes.
  run("510", 1);
  EXPECT_EQ(error, "First Channel 510 leaves no room for a pixel on device 2 (Artnet 127.0.0.1 [ 0 | 0 | 1 ]), "
                   "which has 512 channels: enter a First Channel from 0 to 509.");
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_EQ(kept.firstChannel, 258);
  dialog.ClearPatch();
  EXPECT_EQ(kept.firstChannel, 0) << "a cleared patch starts at the first channel";
}

TEST(OutputDialogs, RefusedWhileOutputRuns) {
  Fixture f;
  ModalCommands modal(f.engine, nullptr);
  RegisterOutputDialogs(modal, f.engine);
  EngineWriteAccess::Flags(f.engine).outputState.store(kOutputRunning);
  for (int command : {kCmdOutputDevices, kCmdOutputPatch}) {
    test::BoxCatcher box;
    modal.RunCommand(command, "x");
    EXPECT_EQ(box.text, QString::fromLatin1(kStopOutputFirstMessage));
  }
  EngineWriteAccess::Flags(f.engine).outputState.store(kOutputStopped);
}

}  // namespace
}  // namespace quor
