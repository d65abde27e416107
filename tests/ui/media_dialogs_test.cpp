// The Image Viewer and Spectrum Analyzer dialogs on real widgets: "Load"
// with its file or folder chooser and the refusal of what cannot be shown,
// the slideshow's enable rule and computed " Time:" text, the colour
// transition sliders that spring back, line mode's enable rule and the band
// list sized by the matrix.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <filesystem>

#include "engine/engine.h"
#include "generators/builtin_dialogs.h"
#include "generators/builtin_generators.h"
#include "generators/image_viewer.h"
#include "test_support.h"
#include "ui/generator_settings_dialog.h"

namespace quor {
namespace {

class MediaDialogsTest : public testing::Test {
 protected:
  MediaDialogsTest() : engine_(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1}) {
    engine_.StartClock();
  }
  ~MediaDialogsTest() override { engine_.StopClock(); }

  std::unique_ptr<GeneratorSettingsDialog> Open(const SettingsDialogTable& table) {
    engine_.SelectEffect(0, EffectListPosition(table.typeId));
    engine_.RebindSlots();
    EXPECT_EQ(engine_.BoundType(0), table.typeId);
    auto dialog = std::make_unique<GeneratorSettingsDialog>(engine_, 0, table, position_, services_, nullptr);
    dialog->show();
    return dialog;
  }

  Engine engine_;
  SettingsDialogPosition position_;
  SettingsDialogServices services_;
};

TEST_F(MediaDialogsTest, ImageViewerLoadsOnlyWhatItCanShowWithTheChooserTheSlideshowAsksFor) {
  const std::string dir = test::FreshTestDir("media_dialogs_images");
  const std::string good = dir + "/red.png";
  QImage red(4, 2, QImage::Format_RGB888);
  red.fill(QColor(200, 10, 20));
  ASSERT_TRUE(red.save(QString::fromStdString(good)));
  const std::string damaged = dir + "/damaged.png";  // cut off inside the header
  std::filesystem::copy_file(good, damaged);
  std::filesystem::resize_file(damaged, 40);
  const std::string empty = dir + "/empty", slides = dir + "/slides";
  std::filesystem::create_directories(empty);
  std::filesystem::create_directories(slides);
  std::filesystem::copy_file(good, slides + "/a.png");

  std::string chosen;
  QString used, error;  // which chooser opened with what title or filter; the error shown
  services_.chooseFile = [&](QWidget*, const QString&, const QString& filter) {
    used = "file " + filter;
    return QString::fromStdString(chosen);
  };
  services_.chooseFolder = [&](QWidget*, const QString& title) {
    used = "folder " + title;
    return QString::fromStdString(chosen);
  };
  services_.showError = [&](QWidget*, const QString& text) { error = text; };
  auto dialog = Open(kImageViewerDialog);
  auto* load = static_cast<QPushButton*>(dialog->Widget(2, 1));
  auto* slideshow = static_cast<QCheckBox*>(dialog->Widget(3));
  auto* timed = static_cast<QCheckBox*>(dialog->Widget(4));

  struct Step {
    bool slideshow;
    std::string path;
    const char* chooser;  // what `used` says
    const char* error;    // part of the error text, "" for none
    std::string pathAfter;
    int red;  // of the picture's centre after the next frame
  };
  const char* files = "file All supported Files (*.gif;*.jpg;*.jpeg;*.jpe;*.bmp;*.png;*.tif;*.tiff);;";
  const char* folders = "folder Select Directory for Slideshow ...";
  const Step steps[] = {
      {false, good, files, "", good, 200},
      {false, damaged, files, "Cannot show", good, 200},  // the picture shown stays
      {true, empty, folders, "no image file", "", 0},     // the slideshow let go of the picture
      {true, slides, folders, "", slides, 200},
  };
  for (const Step& s : steps) {
    const std::string where = s.path;
    if (slideshow->isChecked() != s.slideshow) slideshow->click();
    // The slideshow's own controls follow its box.
    EXPECT_EQ(timed->isEnabled(), s.slideshow) << where;
    EXPECT_EQ(dialog->Widget(7)->isEnabled(), s.slideshow) << where;  // "Setup"
    chosen = s.path;
    error.clear();
    load->click();
    EXPECT_EQ(used, s.chooser) << where << ": " << used.toStdString();
    EXPECT_TRUE(s.error[0] == '\0' ? error.isEmpty() : error.contains(s.error)) << where << ": " << error.toStdString();
    EXPECT_EQ(static_cast<QLineEdit*>(dialog->Widget(2))->text().toStdString(), s.pathAfter) << where;
    engine_.EditGenerator(0, [](Generator& g) {
      EXPECT_TRUE(dynamic_cast<ImageViewerGenerator&>(g).WaitForLoader(5000));
    });
    engine_.clock().Advance(40);
    const std::vector<uint8_t> frame = engine_.CopyFrame(FrameIndex{0});
    const size_t centre = (static_cast<size_t>(engine_.height() / 2) * engine_.width() + engine_.width() / 2) * 3;
    EXPECT_EQ(frame[centre], s.red) << where;
  }
  // The interval shows in the box's own text.
  static_cast<QSlider*>(dialog->Widget(5))->setValue(42);
  EXPECT_EQ(timed->text(), " Time: 42 seconds");
}

TEST_F(MediaDialogsTest, SpectrumSlidersSpringBackLineModeSwitchesControlsAndBandsFollowTheMatrix) {
  auto dialog = Open(kSpectrumAnalyzerDialog);
  auto* mid = static_cast<QSlider*>(dialog->Widget(5));
  auto* peak = static_cast<QSlider*>(dialog->Widget(7));
  // {slider, wanted, mid after, peak after}: neither may cross the other (the
  // sliders show what the generator holds).
  struct Move {
    QSlider* slider;
    int wanted, mid, peak;
  };
  for (const Move& m : {Move{mid, 90, 69, 82}, Move{mid, 82, 82, 82}, Move{peak, 60, 82, 82}, Move{peak, 95, 82, 95},
                        Move{mid, 10, 10, 95}, Move{peak, 10, 10, 10}}) {
    m.slider->setValue(m.wanted);
    EXPECT_EQ(mid->value(), m.mid) << m.wanted;
    EXPECT_EQ(peak->value(), m.peak) << m.wanted;
  }
  auto* lineMode = static_cast<QCheckBox*>(dialog->Widget(11));
  for (bool line : {true, false}) {
    if (lineMode->isChecked() != line) lineMode->click();
    // " Line Fill"; " Bars with Gap", "Mid" and the "Mid Color" frame and "Red"; "Peak Color"'s "Red".
    const std::pair<QWidget*, bool> expected[] = {{dialog->Widget(12), line},     {dialog->Widget(13), !line},
                                                  {mid, !line},                   {dialog->Widget(17, 5), !line},
                                                  {dialog->Widget(17, 0), !line}, {dialog->Widget(18, 0), true}};
    for (const auto& [widget, enabled] : expected) EXPECT_EQ(widget->isEnabled(), enabled) << line;
  }
  // "4" up to the matrix width (at most 64).
  auto* bands = static_cast<QComboBox*>(dialog->Widget(3));
  EXPECT_EQ(bands->count(), std::min(engine_.width(), 64) - 3);
  EXPECT_EQ(bands->itemText(bands->count() - 1).toInt(), std::min(engine_.width(), 64));
}

}  // namespace
}  // namespace quor
