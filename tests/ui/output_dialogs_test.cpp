// The output setup dialogs: device list, device editor, patch grid and FastPatch.
#include "ui/output_dialogs.h"

#include <QTableView>
#include <QTreeWidget>

#include "output/fast_patch.h"
#include "ui/command_ids.h"
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
  using Fields = std::vector<std::pair<QLineEdit* (DeviceEditorDialog::*)() const, QString>>;
  EditorInput(int d, Fields f = {}, QString p = {}) : driver(d), fields(std::move(f)), path(std::move(p)) {}
  int driver;
  Fields fields;
  QString path;  // returned by the path chooser; "" = never chosen
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
  EXPECT_FALSE(f.devices()[2].Redirected());
  EXPECT_EQ(f.devices()[4].channels, 256);
  EXPECT_EQ(f.devices()[5].redirect, 1);
  EXPECT_EQ(dialog.list()->currentItem(), dialog.list()->topLevelItem(8));
}

TEST(DeviceEditorDialog, RefusesEachBadFieldWithFocusOrMessage) {
  struct Case {
    EditorInput in;
    EditorField refused;
    const char* message;
  } cases[] = {
      {{kDriverArtNet, {{&D::ipEdit, "10.0.0.256"}}}, kFieldIpAddress, ""},
      {{kDriverArtNet, {{&D::ipEdit, "10.0.0"}}}, kFieldIpAddress, ""},
      {{kDriverArtNet, {{&D::ipEdit, "a.b.c.d"}}}, kFieldIpAddress, ""},
      {{kDriverTpm2Net, {{&D::ipEdit, "1.2.3.4.5"}}}, kFieldIpAddress, ""},
      {{kDriverArtNet, {{&D::netEdit, "128"}}}, kFieldNet, ""},
      {{kDriverArtNet, {{&D::subnetEdit, "16"}}}, kFieldSubnet, ""},
      {{kDriverArtNet, {{&D::universeEdit, "16"}}}, kFieldUniverse, ""},
      {{kDriverArtNet, {{&D::channelsEdit, "0"}}}, kFieldChannels, ""},
      {{kDriverTpm2, {{&D::channelsEdit, "0"}}}, kFieldChannels, ""},
      {{kDriverBitmapExport, {}}, kFieldSelect, "Error: No directory or file for export selected."},
      {{kDriverFileRecorder, {}}, kFieldSelect, "Error: No directory or file for export selected."},
  };
  for (const Case& c : cases) {
    DeviceEditorDialog editor(NewDeviceDefaults(), 16, 8, nullptr);
    QString error;
    EXPECT_EQ(Fill(editor, c.in, &error), QDialog::Rejected) << c.refused;
    EXPECT_EQ(editor.refusedField(), c.refused);
    EXPECT_EQ(error, QString::fromLatin1(c.message));
    if (auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget())) {
      EXPECT_EQ(edit->selectedText(), edit->text()) << "refused text is selected";
    }
  }
}

TEST(DeviceEditorDialog, Tpm2NetChanPerBlockAboveChannelsIsCutToChannels) {
  DeviceEditorDialog editor(NewDeviceDefaults(), 16, 8, nullptr);
  editor.typeList()->setCurrentIndex(kDriverTpm2Net);
  EXPECT_EQ(editor.channelsEdit()->text(), "384");  // 16 x 8 x 3
  Retype(editor.channelsEdit(), "1000");
  Retype(editor.chanPerBlockEdit(), "300");
  EXPECT_EQ(editor.blocksEdit()->text(), "4");
  Retype(editor.chanPerBlockEdit(), "1001");
  emit editor.chanPerBlockEdit()->editingFinished();  // focus leaves the field
  EXPECT_EQ(editor.chanPerBlockEdit()->text(), "1000");
}

// Three Art-Net devices, pixels (0,0) (1,0) (2,0) on devices 0, 1, 2.
void ThreeDevices(Fixture& f, OutputDevicesDialog& dialog) {
  for (int u = 0; u < 3; ++u) AddDevice(dialog, {kDriverArtNet, {{&D::universeEdit, QString::number(u)}}});
  for (int d = 0; d < 3; ++d) f.engine.patch().At(d, 0) = {d, 300, 301, 302};
}

TEST(OutputDevicesDialog, DeleteUnpatchesAndRenumbersEditClearsCutChannels) {
  Fixture f;
  OutputDevicesDialog dialog(f.engine, nullptr);
  ThreeDevices(f, dialog);
  f.engine.patch().At(3, 0) = {1, 0, 1, 2};
  dialog.list()->setCurrentItem(dialog.list()->topLevelItem(0));
  QTest::mouseClick(dialog.findChild<QPushButton*>("Delete"), Qt::LeftButton);
  ASSERT_EQ(f.devices().count(), 2);
  EXPECT_EQ(dialog.list()->topLevelItem(0)->text(3), "Net: 0 - Subnet: 0 - Universe: 1");
  const PatchEntry expected[] = {{-1, 0, 0, 0}, {0, 300, 301, 302}, {1, 300, 301, 302}, {0, 0, 1, 2}};
  for (int x = 0; x < 4; ++x) EXPECT_EQ(f.engine.patch().At(x, 0), expected[x]) << x;
  // Device 0 (was 1) cut to 256 channels: only its pixel on channel 300 goes.
  dialog.list()->setCurrentItem(dialog.list()->topLevelItem(0));
  dialog.runEditor = [](DeviceEditorDialog& e) { return Fill(e, {kDriverArtNet, {{&D::channelsEdit, "256"}}}); };
  dialog.Edit();
  EXPECT_EQ(f.engine.patch().At(1, 0).device, -1);
  EXPECT_EQ(f.engine.patch().At(3, 0), (PatchEntry{0, 0, 1, 2}));
  EXPECT_EQ(f.engine.patch().At(2, 0).device, 1);
  // A cancelled add leaves the list as it was.
  dialog.runEditor = [](DeviceEditorDialog&) { return int(QDialog::Rejected); };
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
  EXPECT_EQ(f.engine.patch().At(4, 2).device, 1);
  EXPECT_TRUE(dialog.redEdit()->isEnabled());
  Retype(dialog.redEdit(), "511");
  Retype(dialog.greenEdit(), "512");  // = channels: refused
  EXPECT_EQ(f.engine.patch().At(4, 2), (PatchEntry{1, 511, 51, 0}));  // "51" was typed on the way
  EXPECT_EQ(dialog.model()->data(dialog.model()->index(3, 5), Qt::BackgroundRole).value<QColor>(), QColor(0, 255, 0));
  EXPECT_EQ(dialog.model()->data(dialog.model()->index(3, 6), Qt::BackgroundRole).value<QColor>(), QColor(100, 0, 0));
  EXPECT_EQ(dialog.model()->data(dialog.model()->index(8, 0), Qt::DisplayRole).toString(), "8    ");
  dialog.ClearPatch();
  EXPECT_EQ(f.engine.patch().At(4, 2).device, -1);
}

TEST(FastPatchDialog, SnakeAcrossTwoUniversesEqualsEngineFastPatchAndGridShowsIt) {
  Fixture f;
  ASSERT_TRUE(f.engine.ResizeMatrix(16, 8, 0));
  OutputDevicesDialog devices(f.engine, nullptr);
  for (int u = 0; u < 2; ++u) AddDevice(devices, {kDriverArtNet, {{&D::universeEdit, QString::number(u)}}});
  PatchTable expected(16, 8);
  FastPatchSettings settings;
  OutputPatchDialog dialog(f.engine, nullptr);
  // Top half on universe 0, bottom half on universe 1, snake from top-left.
  for (int half = 0; half < 2; ++half) {
    dialog.SelectCell(1, 1 + half * 4);
    dialog.runFastPatch = [half](FastPatchDialog& fp) {
      Retype(fp.dimensionXEdit(), "16");
      Retype(fp.dimensionYEdit(), "4");
      Retype(fp.firstChannelEdit(), "0");
      fp.pixelOrderList()->setCurrentIndex(4);
      fp.colourOrderList()->setCurrentIndex(5);  // GRB
      fp.deviceList()->setCurrentIndex(half);
      fp.accept();
      return fp.result();
    };
    dialog.FastPatch();
    settings = {16, 4, 0, 4, 5, half};
    ApplyFastPatch(expected, f.devices(), 0, half * 4, settings);
  }
  EXPECT_EQ(f.engine.patch().entries(), expected.entries());
  EXPECT_EQ(f.engine.outputs().fastPatch().firstChannel, 192);
  EXPECT_EQ(f.engine.patch().At(15, 1), (PatchEntry{0, 49, 48, 50}));  // second row runs right to left
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) {
      const QModelIndex cell = dialog.model()->index(y + 1, x + 1);
      const PatchEntry& e = expected.At(x, y);
      EXPECT_EQ(dialog.model()->data(cell, Qt::DisplayRole).toString(), QString::number(e.device + 1));
      EXPECT_EQ(dialog.model()->data(cell, Qt::ToolTipRole).toString(),
                QStringLiteral("Device %1: R %2 G %3 B %4").arg(e.device + 1).arg(e.red).arg(e.green).arg(e.blue));
    }
  }
  // The kept settings come back, and the preview numbers the snake.
  FastPatchDialog again(f.engine, 1, 1, nullptr);
  EXPECT_EQ(again.dimensionYEdit()->text(), "4");
  EXPECT_EQ(again.pixelOrderList()->currentIndex(), 4);
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
