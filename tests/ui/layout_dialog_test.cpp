// "Import Layout..." and "Export Layout..." from the Output Patch window:
// the file's problems with their lines and the preview before anything
// changes, one undoable edit on OK, nothing on Cancel, and the CSV export.
#include "ui/layout_dialog.h"

#include <QFile>
#include <QTableView>

#include "output/drivers.h"
#include "output/fast_patch.h"
#include "ui/output_dialogs.h"
#include "ui_support.h"

namespace quor {
namespace {

struct Fixture {
  Fixture() {
    EXPECT_TRUE(engine.ResizeMatrix(4, 4));
    for (int universe = 0; universe < 2; ++universe) {
      OutputDevice d;
      d.driver = kDriverArtNet, d.channels = 12, d.headerLength = 18, d.port = kArtNetPort, d.universe = universe;
      d.SetAddress("10.0.0.5");
      engine.outputs().devices().Add(d);
    }
  }
  Engine engine{BuiltinGenerators(), test::kManualClock};
};

QString WriteFile(const std::string& dir, const char* name, const char* text) {
  const QString path = QString::fromStdString(dir + "/" + name);
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(text);
  return path;
}

QStringList Items(QListWidget* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
  return items;
}

TEST(LayoutImportDialog, ShowsProblemsAndPreviewThenPatchesOnOkAsOneUndoableEdit) {
  Fixture f;
  const std::string dir = test::FreshTestDir("layout_import");
  // A serpentine 4 x 2 wall in the top rows, LED 9 outside, LED 8 missing.
  const QString path = WriteFile(dir, "wall.json",
                                 "{\"map\": [0, 1, 2, 3,\n"
                                 "          7, 6, 5, 4,\n"
                                 "          -1, -1, -1, -1,\n"
                                 "          -1, -1, -1, -1, 9]}");
  OutputPatchDialog patchDialog(f.engine, nullptr);
  const PatchTable before = f.engine.patch();
  bool checked = false;
  patchDialog.runImportLayout = [&](LayoutImportDialog& d) {
    EXPECT_FALSE(d.okButton()->isEnabled());
    d.chooseFile = [&path] { return path; };
    d.Choose();
    test::Retype(d.chain().pixelsEdit(), "4");
    d.chain().colourOrderList()->setCurrentIndex(5);  // GRB
    EXPECT_EQ(Items(d.problemList()),
              (QStringList{"line 4: LED 9 at 0,4 lies outside the 4 x 4 matrix (cells 0,0 to 3,3)"}));
    EXPECT_EQ(d.summaryLabel()->text(), "8 of 9 LEDs (ledmap JSON) will be patched; OK changes the patch.");
    EXPECT_EQ(d.preview().At(0, 1), (PatchEntry{1, 10, 9, 11}));  // LED 7: second universe, fourth pixel
    EXPECT_EQ(f.engine.patch().entries(), before.entries()) << "nothing changes before OK";
    // Too many pixels per device for its 12 channels: said per LED.
    test::Retype(d.chain().pixelsEdit(), "5");
    EXPECT_TRUE(Items(d.problemList()).contains(
        "line 2: LED 4 would need channels 12 to 14 of output 1, which has 12; lower the pixels per device"));
    test::Retype(d.chain().pixelsEdit(), "4");
    checked = true;
    test::Click(d.okButton());
    return d.result();
  };
  patchDialog.ImportLayout();
  ASSERT_TRUE(checked);
  EXPECT_EQ(f.engine.patch().At(3, 1), (PatchEntry{1, 1, 0, 2}));  // LED 4
  EXPECT_EQ(patchDialog.model()->data(patchDialog.model()->index(2, 1), Qt::ToolTipRole).toString(),
            "Device 2: R 10 G 9 B 11");
  EXPECT_TRUE(f.engine.Undo());
  EXPECT_EQ(f.engine.patch().entries(), before.entries());

  // Cancel leaves the patch as it is.
  patchDialog.runImportLayout = [&](LayoutImportDialog& d) {
    d.LoadFile(path);
    EXPECT_TRUE(d.okButton()->isEnabled());
    d.reject();
    return d.result();
  };
  patchDialog.ImportLayout();
  EXPECT_EQ(f.engine.patch().entries(), before.entries());

  // A file that is no layout cannot be accepted.
  const QString broken = WriteFile(dir, "broken.xmodel", "<custommodel name=\"x\"/>");
  patchDialog.runImportLayout = [&](LayoutImportDialog& d) {
    d.LoadFile(broken);
    EXPECT_EQ(Items(d.problemList()), (QStringList{"line 1: the custommodel element has no CustomModel attribute"}));
    EXPECT_FALSE(d.okButton()->isEnabled());
    d.accept();
    return d.result();
  };
  patchDialog.ImportLayout();
  EXPECT_EQ(f.engine.patch().entries(), before.entries());
}

TEST(LayoutExportDialog, WritesTheChainAsCsvThatImportsToTheSamePatch) {
  Fixture f;
  const std::string dir = test::FreshTestDir("layout_export");
  FastPatchSettings& s = f.engine.outputs().fastPatch();
  s = FastPatchSettings{4, 2, 0, 4, 0, 0};  // snake over the top two rows
  const FastPatchResult top = ApplyFastPatch(f.engine.patch(), f.engine.outputs().devices(), 0, 0, s);
  s.device = 1, s.firstChannel = 0;  // the second row on the next universe
  ApplyFastPatch(f.engine.patch(), f.engine.outputs().devices(), 0, 0, s, top.next);
  const PatchTable patched = f.engine.patch();
  const QString csv = QString::fromStdString(dir + "/wall.csv");
  OutputPatchDialog patchDialog(f.engine, nullptr);
  patchDialog.runExportLayout = [&](LayoutExportDialog& d) {
    d.chooseFile = [&csv] { return csv; };
    d.chain().deviceList()->setCurrentIndex(0);
    test::Retype(d.chain().pixelsEdit(), "4");
    d.accept();
    return d.result();
  };
  patchDialog.ExportLayout();
  QFile file(csv);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), "index,x,y\n0,0,0\n1,1,0\n2,2,0\n3,3,0\n4,3,1\n5,2,1\n6,1,1\n7,0,1\n");

  f.engine.patch().Clear();
  patchDialog.runImportLayout = [&](LayoutImportDialog& d) {
    d.LoadFile(csv);
    d.chain().deviceList()->setCurrentIndex(0);
    test::Retype(d.chain().pixelsEdit(), "4");
    d.accept();
    return d.result();
  };
  patchDialog.ImportLayout();
  EXPECT_EQ(f.engine.patch().entries(), patched.entries());
}

}  // namespace
}  // namespace quor
