// "New Matrix Output": the live summary as fields change, what the fields hold to, OK creating the devices and the
// patch, and the refusals.
#include "ui/matrix_output_dialog.h"

#include <QSpinBox>

#include "engine/engine_write_access.h"
#include "engine/matrix_output.h"
#include "output/fast_patch.h"
#include "ui/modal_commands.h"
#include "ui_support.h"

namespace quor {
namespace {

using test::Retype;

// Types into a spin box as a user does: select all, type, leave the field.
void Enter(QSpinBox* box, const QString& text) {
  box->setFocus();
  box->selectAll();
  QTest::keyClicks(box, text);
  box->interpretText();
}

struct Fixture {
  Engine engine{BuiltinGenerators(), test::kManualClock};
  MatrixOutputDialog dialog{engine, nullptr};
  QString error, done;
  Fixture() {
    EXPECT_EQ(engine.width() * 100 + engine.height(), 3216) << "the default matrix is 32 x 16";
    dialog.showError = [this](const QString& text) { error = text; };
    dialog.showDone = [this](const QString& text) { done = text; };
  }
  QString Summary() const { return dialog.summaryLabel()->text(); }
};

TEST(MatrixOutputDialog, ASnakeOnFourUniversesTakesFiveEditsAndOk) {
  Fixture f;
  MatrixOutputDialog& d = f.dialog;
  // The defaults: Art-Net from 0:0:0, 170 pixels a universe, and the summary says what that makes.
  EXPECT_EQ(d.protocolList()->currentText(), "Art-Net");
  EXPECT_EQ(d.pixelsBox()->value(), 170);
  EXPECT_TRUE(d.summaryLabel()->text().endsWith(
      "4 Art-Net devices, one per universe (0:0:0 to 0:0:3): 3 x 510 channels, 1 x 6 channels."))
      << d.summaryLabel()->text().toStdString();
  EXPECT_TRUE(d.summaryLabel()->text().startsWith("Matrix 32 x 16 = 512 pixels"));

  Retype(d.ipEdit(), "127.0.0.1");
  d.wiringList()->setCurrentIndex(1);  // Snakelines
  EXPECT_EQ(d.drawingLabel()->text().split('\n').mid(0, 2),
            QStringList({"   1   2   3   4   5   6", "  12  11  10   9   8   7"}));
  d.cornerList()->setCurrentIndex(2);  // Bottom-Left: the drawing follows
  EXPECT_TRUE(d.drawingLabel()->text().startsWith("  36  35  34  33  32  31"))
      << d.drawingLabel()->text().toStdString();
  d.cornerList()->setCurrentIndex(0);
  d.colourList()->setCurrentIndex(5);  // GRB
  Enter(d.pixelsBox(), "128");
  EXPECT_TRUE(d.summaryLabel()->text().endsWith("4 x 384 channels."));
  test::Click(d.okButton());

  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_TRUE(f.error.isEmpty()) << f.error.toStdString();
  EXPECT_TRUE(f.done.startsWith("Added devices 1 to 4 and patched all 512 pixels to them, using 4 universes."))
      << f.done.toStdString();
  const OutputDeviceList& devices = f.engine.outputs().devices();
  ASSERT_EQ(devices.count(), 4);
  EXPECT_EQ(devices[3].universe, 3);
  EXPECT_EQ(devices[3].channels, 384);
  MatrixOutputSettings want;
  want.wiring = 1, want.colourOrder = 5, want.pixelsPerUniverse = 128;
  EXPECT_EQ(f.engine.patch().entries(), PlanMatrixOutput(want, 32, 16).patch.entries());
  // FastPatch opens with the same strips.
  EXPECT_EQ(f.engine.outputs().fastPatch().pixelOrder, 4);
  EXPECT_EQ(f.engine.outputs().fastPatch().colourOrder, 5);
  // The devices and the whole patch are one undo step.
  ASSERT_TRUE(f.engine.Undo());
  EXPECT_EQ(f.engine.outputs().devices().count(), 0);
  EXPECT_EQ(f.engine.patch().entries(), PatchTable(32, 16).entries());
  ASSERT_TRUE(f.engine.Redo());
  EXPECT_EQ(f.engine.outputs().devices().count(), 4);
}

TEST(MatrixOutputDialog, FieldsFollowTheProtocolAndHoldToWhatFits) {
  Fixture f;
  MatrixOutputDialog& d = f.dialog;
  // Art-Net's start universe is Net / Subnet / Universe, shown as the 15-bit port address too.
  Enter(d.netBox(), "1");
  Enter(d.subnetBox(), "99");  // the field takes no subnet above 15
  EXPECT_LE(d.subnetBox()->value(), 15);
  Enter(d.subnetBox(), "15");
  Enter(d.universeBox(), "15");
  EXPECT_EQ(d.portAddressLabel()->text().toStdString(), "Port-Address 511");
  EXPECT_TRUE(f.Summary().contains("(1:15:15 to 2:0:2)")) << f.Summary().toStdString();
  Enter(d.pixelsBox(), "500");  // held to the 170 whole pixels of a universe
  EXPECT_LE(d.pixelsBox()->value(), 170);

  d.protocolList()->setCurrentText("sACN");
  EXPECT_FALSE(d.netBox()->isEnabled() || d.subnetBox()->isEnabled());
  EXPECT_EQ(d.universeBox()->value(), 1);
  Retype(d.ipEdit(), "");  // the multicast group
  Enter(d.pixelsBox(), "170");
  EXPECT_TRUE(f.Summary().endsWith("4 sACN devices, one per universe (1 to 4): 3 x 510 channels, 1 x 6 channels."))
      << f.Summary().toStdString();
  // More universes than sACN has: the summary and OK say so, and nothing is created.
  Enter(d.universeBox(), "63998");
  EXPECT_TRUE(f.Summary().contains("sACN universes end at 63999")) << f.Summary().toStdString();
  test::Click(d.okButton());
  EXPECT_TRUE(f.error.contains("needs 4 universes of 170 pixels from universe 63998 on")) << f.error.toStdString();
  EXPECT_NE(d.result(), QDialog::Accepted);
  EXPECT_EQ(f.engine.outputs().devices().count(), 0);

  d.protocolList()->setCurrentText("tpm2.net");
  EXPECT_FALSE(d.universeBox()->isEnabled());
  EXPECT_TRUE(f.Summary().contains("\"\" is not an IP address")) << f.Summary().toStdString();
  Retype(d.ipEdit(), "10.0.0.9");
  EXPECT_TRUE(f.Summary().endsWith("1 tpm2.net device: 1536 channels (512 pixels), sent in 4 packets per frame."))
      << f.Summary().toStdString();
  d.protocolList()->setCurrentText("DDP");
  EXPECT_FALSE(d.pixelsBox()->isEnabled());
  EXPECT_TRUE(f.Summary().endsWith("sent in 2 packets per frame.")) << f.Summary().toStdString();
}

TEST(MatrixOutputDialog, ARefusedApplyKeepsTheDialogOpenAndSaysWhy) {
  Fixture f;
  f.dialog.apply = [](const MatrixOutputPlan&, std::string* why) {
    *why = "refused for the test";
    return false;
  };
  test::Click(f.dialog.okButton());
  EXPECT_EQ(f.error, "refused for the test");
  EXPECT_TRUE(f.done.isEmpty());
  EXPECT_NE(f.dialog.result(), QDialog::Accepted);
}

TEST(MatrixOutputDialog, RefusedWhileOutputRuns) {
  Engine engine{BuiltinGenerators(), test::kManualClock};
  ModalCommands modal(engine, nullptr);
  RegisterMatrixOutputDialog(modal, engine);
  EngineWriteAccess::Flags(engine).outputState.store(kOutputRunning);
  test::BoxCatcher box;
  modal.RunCommand(kCmdNewMatrixOutput, "x");
  EXPECT_EQ(box.text, QString::fromLatin1(kMatrixOutputRunningMessage));
  EngineWriteAccess::Flags(engine).outputState.store(kOutputStopped);
}

}  // namespace
}  // namespace quor
