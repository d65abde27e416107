// The Image Viewer and Spectrum Analyzer dialogs on real widgets: "Load" with its file or
// folder chooser and its error, the slideshow's controls, sliders that spring back, line mode.
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QImage>
#include <filesystem>
#include <fstream>

#include "generators/generator_catalogue.h"
#include "generators/file_player.h"
#include "generators/image_viewer.h"
#include "ui/generator_settings_dialog.h"
#include "ui_support.h"

namespace quor {
namespace {

class MediaDialogsTest : public testing::Test {
 protected:
  MediaDialogsTest() { engine_.StartClock(); }
  ~MediaDialogsTest() override { engine_.StopClock(); }

  std::unique_ptr<GeneratorSettingsDialog> Open(const SettingsDialogTable& table) {
    engine_.SelectEffect(0, EffectListPosition(table.typeId));
    engine_.RebindSlots();
    auto dialog = std::make_unique<GeneratorSettingsDialog>(engine_, 0, table, position_, services_, nullptr);
    dialog->show();
    return dialog;
  }

  Engine engine_{BuiltinGenerators(), test::kManualClock};
  SettingsDialogPosition position_;
  SettingsDialogServices services_;
};

TEST_F(MediaDialogsTest, ImageViewerLoadsOnlyWhatItCanShowWithTheChooserTheSlideshowAsksFor) {
  const std::string dir = test::FreshTestDir("media_dialogs_images"), good = dir + "/red.png";
  QImage red(4, 2, QImage::Format_RGB888);
  red.fill(QColor(200, 10, 20));
  ASSERT_TRUE(red.save(QString::fromStdString(good)));
  const std::string empty = dir + "/empty", slides = dir + "/slides";  // damaged files: tests/generators
  std::filesystem::create_directories(empty), std::filesystem::create_directories(slides);
  std::filesystem::copy_file(good, slides + "/a.png");

  std::string chosen;
  QString used, error;  // which chooser opened with what title or filter; the error shown
  services_.chooseFile = [&](QWidget*, const QString&, const QString& filter) {
    return used = "file " + filter, QString::fromStdString(chosen);
  };
  services_.chooseFolder = [&](QWidget*, const QString& title) {
    return used = "folder " + title, QString::fromStdString(chosen);
  };
  services_.showError = [&](QWidget*, const QString& text) { error = text; };
  auto dialog = Open(kImageViewerDialog);
  auto* load = static_cast<QPushButton*>(dialog->Widget(2, 1));
  auto* slideshow = static_cast<QCheckBox*>(dialog->Widget(3));
  auto* timed = static_cast<QCheckBox*>(dialog->Widget(4));

  struct Step {  // what `used` says, part of the error text, the path shown, the centre's red after a frame
    bool slideshow;
    std::string path;
    const char *chooser, *error;
    std::string pathAfter;
    int red;
  };
  const char* files = "file All supported Files (*.gif *.jpg *.jpeg *.jpe *.bmp *.png *.tif *.tiff)";
  const char* folders = "folder Select Directory for Slideshow ...";
  const Step steps[] = {
      {false, good, files, "", good, 200},
      {true, empty, folders, "no image file", "", 0},     // the slideshow let go of the picture
      {true, slides, folders, "", slides, 200},
  };
  for (const Step& s : steps) {
    const std::string& where = s.path;
    if (slideshow->isChecked() != s.slideshow) slideshow->click();
    // The slideshow's own controls (" Time:", "Setup") follow its box.
    EXPECT_TRUE(timed->isEnabled() == s.slideshow && dialog->Widget(7)->isEnabled() == s.slideshow) << where;
    chosen = s.path, error.clear();
    load->click();
    EXPECT_EQ(used, s.chooser) << where << ": " << used.toStdString();
    EXPECT_TRUE(s.error[0] == '\0' ? error.isEmpty() : error.contains(s.error)) << where << ": " << error.toStdString();
    EXPECT_EQ(static_cast<QLineEdit*>(dialog->Widget(2))->text().toStdString(), s.pathAfter) << where;
    engine_.EditGenerator(0, [](Generator& g) {
      EXPECT_TRUE(dynamic_cast<ImageViewerGenerator&>(g).WaitForLoader(5000));
    });
    engine_.clock().Advance(40);
    const size_t centre = (static_cast<size_t>(engine_.height() / 2) * engine_.width() + engine_.width() / 2) * 3;
    EXPECT_EQ(engine_.CopyFrame(FrameIndex{0})[centre], s.red) << where;
  }
  // The interval shows in the box's own text.
  static_cast<QSlider*>(dialog->Widget(5))->setValue(42);
  EXPECT_EQ(timed->text(), " Time: 42 seconds");
}

TEST_F(MediaDialogsTest, SpectrumSlidersSpringBackAndLineModeSwitchesControls) {
  auto dialog = Open(kSpectrumAnalyzerDialog);
  auto* mid = static_cast<QSlider*>(dialog->Widget(5));
  auto* peak = static_cast<QSlider*>(dialog->Widget(7));
  // Mid above peak, peak below mid: both sliders show what the generator holds.
  for (auto [slider, wanted] : {std::pair{mid, 90}, {peak, 60}}) {
    slider->setValue(wanted);
    EXPECT_EQ(std::pair(mid->value(), peak->value()), std::pair(69, 82)) << wanted;
  }
  auto* lineMode = static_cast<QCheckBox*>(dialog->Widget(11));
  for (bool line : {true, false}) {
    if (lineMode->isChecked() != line) lineMode->click();
    // " Line Fill", "Mid", the "Mid Color" group's "Red" (the table's rules are tested in tests/generators).
    EXPECT_EQ(std::tuple(dialog->Widget(12)->isEnabled(), mid->isEnabled(), dialog->Widget(17, 0)->isEnabled()),
              std::tuple(line, !line, !line));
  }
}

// "Load" opens the real file dialog; in a folder of every kind of file it
// lists exactly the files its filter names (Qt reads only space-separated
// patterns inside one filter).
TEST_F(MediaDialogsTest, LoadListsExactlyTheFilesItsFilterNames) {
  const std::string dir = test::FreshTestDir("media_dialogs_filters");
  const QStringList images = {"a.gif", "b.jpg", "c.jpeg", "d.jpe", "e.bmp", "f.png", "g.tif", "h.tiff"};
  for (const QString& name : images + QStringList{"show.qrr", "show.qrx", "notes.txt"}) {
    std::ofstream(dir + "/" + name.toStdString()) << "x";
  }
  services_ = DefaultSettingsDialogServices({});
  struct Case {
    const SettingsDialogTable& table;
    QStringList listed;
  };
  for (const Case& c : {Case{kImageViewerDialog, images}, Case{kFilePlayerDialog, {"show.qrr"}}}) {
    auto dialog = Open(c.table);
    QStringList listed;
    test::OnModal<QFileDialog> chooser([&](QFileDialog& files) {
      files.setDirectory(QString::fromStdString(dir));
      const auto* model = files.findChild<QFileSystemModel*>();
      ASSERT_NE(model, nullptr);
      const QModelIndex folder = model->index(files.directory().absolutePath());
      EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount(folder) >= c.listed.size(); }, 3000));
      QTest::qWait(100);  // nothing more comes
      for (int row = 0; row < model->rowCount(folder); ++row) listed << model->index(row, 0, folder).data().toString();
    });
    static_cast<QPushButton*>(dialog->Widget(2, 1))->click();
    EXPECT_TRUE(chooser.opened) << c.table.title;
    listed.sort();
    EXPECT_EQ(listed, c.listed) << c.table.title;
  }
}

}  // namespace
}  // namespace quor
