// The generator settings dialogs opened from the slots' "Edit" buttons on a running engine.
#include "ui/generator_settings_dialog.h"

#include <fstream>

#include "files/recording_file.h"
#include "generators/generator_catalogue.h"
#include "ui/audio_trigger_setup_dialog.h"
#include "ui/selection_slider.h"
#include "ui_support.h"

namespace quor {
namespace {

class SettingsDialogTest : public testing::Test {
 protected:
  SettingsDialogTest() {
    for (int topic : {34, 48}) std::ofstream(helpDir_ + "/" + std::to_string(topic) + ".html") << "<h1>Help</h1>";
    window_.show(), window_.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window_));
    engine_.StartClock();
  }
  ~SettingsDialogTest() override { engine_.StopClock(); }

  void Bind(int slot, int type) {
    engine_.SelectEffect(slot, EffectListPosition(type));
    engine_.RebindSlots();
    ASSERT_EQ(engine_.BoundType(slot), type);
  }
  // Clicks the slot's "Edit" button and runs `inside` on the dialog; false when none opened.
  bool WithDialog(int slot, const std::function<void(GeneratorSettingsDialog&)>& inside) {
    test::OnModal<GeneratorSettingsDialog> dialog(inside);
    QTest::mouseClick(window_.panel()->editButton(slot), Qt::LeftButton);
    return dialog.opened;
  }
  int Read(int slot, const DialogControl& control) {
    int value = 0;
    engine_.EditGenerator(slot, [&](Generator& g) { value = ReadControlPosition(control, g, 32, 16); });
    return value;
  }
  std::array<int, 3> Pixel(int slot) {
    const std::vector<uint8_t> frame = engine_.CopyFrame(static_cast<FrameIndex>(slot));
    return {frame[0], frame[1], frame[2]};
  }

  Engine engine_{BuiltinGenerators(), test::kManualClock};
  PreviewRenderer renderer_{engine_};
  std::string helpDir_ = test::FreshTestDir("settings_dialog_help");
  MainWindow window_{engine_, renderer_, MainWindowOptions{QString::fromStdString(helpDir_), 40}};
};

TEST_F(SettingsDialogTest, EveryDialogOpensFromEditAndItsControlsActOnTheLiveGenerator) {
  for (const SettingsDialogTable* dialogTable : BuiltinSettingsDialogs()) {
    Bind(0, dialogTable->typeId);
    int moved = 0;
    const bool opened = WithDialog(0, [&](GeneratorSettingsDialog& dialog) {
      EXPECT_EQ(dialog.windowTitle().toStdString(), dialogTable->title);
      for (const DialogControl& c : dialogTable->controls) {
        QWidget* widget = dialog.Widget(c.id);
        if (widget == nullptr || !widget->isEnabled() || c.kind == ControlKind::kColorGroup) continue;
        PositionRange range;
        engine_.EditGenerator(0, [&](Generator& g) { range = AcceptedPositions(c, g); });
        const int before = Read(0, c);
        const int target = before == range.last ? range.first : range.last;
        if (auto* slider = qobject_cast<QSlider*>(widget); slider && c.kind == ControlKind::kSlider) {
          slider->setValue(target);
        } else if (auto* box = qobject_cast<QCheckBox*>(widget); box && c.indicator == nullptr) {
          QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
        } else if (auto* list = qobject_cast<QComboBox*>(widget)) {
          list->setCurrentIndex(target);
        } else {
          continue;
        }
        EXPECT_EQ(Read(0, c), target) << dialogTable->title << " / " << c.text;
        ++moved;
      }
    });
    EXPECT_TRUE(opened) << dialogTable->title;
    EXPECT_TRUE(moved > 0 || dialogTable == &kSimpleColorDialog) << dialogTable->title;  // its colours: below
  }

  // Colour groups: the next render shows what "Simple Color"'s trackbars and auto colour box set.
  Bind(0, 7);
  WithDialog(0, [&](GeneratorSettingsDialog& dialog) {
    static_cast<QCheckBox*>(dialog.Widget(1, 3))->setChecked(false);
    for (int c = 0; c < 3; ++c) static_cast<QSlider*>(dialog.Widget(1, c))->setValue(10 * (c + 1));
    engine_.clock().Advance(40);
    EXPECT_EQ(Pixel(0), (std::array{10, 20, 30}));
    QTest::mouseClick(dialog.Widget(1, 4), Qt::LeftButton, {}, QPoint(4, 6));  // " Autocolor Sync"
    EXPECT_TRUE(static_cast<QCheckBox*>(dialog.Widget(1, 3))->isChecked());  // checks " Autocolor" too
    engine_.clock().Advance(40);
    EXPECT_NE(Pixel(0), (std::array{10, 20, 30}));
  });
}

TEST_F(SettingsDialogTest, F1OpensItsHelpTopicEscapeAndCloseEndItAndThePositionIsShared) {
  Bind(0, 1);
  Bind(2, 2);
  EXPECT_TRUE(WithDialog(0, [&](GeneratorSettingsDialog& dialog) {
    dialog.move(123, 77);
    QTest::keyClick(&dialog, Qt::Key_F1);
    EXPECT_EQ(window_.helpViewer()->currentContext(), 48);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
  }));
  EXPECT_TRUE(WithDialog(2, [&](GeneratorSettingsDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), "Fire");
    EXPECT_EQ(dialog.pos(), QPoint(123, 77));
    for (QPushButton* b : dialog.findChildren<QPushButton*>()) {
      if (b->text() == "Close") QTest::mouseClick(b, Qt::LeftButton);
    }
    EXPECT_TRUE(!dialog.isVisible() && dialog.result() == QDialog::Accepted);
  }));
}

TEST_F(SettingsDialogTest, RebindingTheSlotClosesTheDialogInsteadOfEditingAnotherType) {
  Bind(1, 4);
  bool closed = false;
  EXPECT_TRUE(WithDialog(1, [&](GeneratorSettingsDialog& dialog) {
    engine_.SelectEffect(1, EffectListPosition(1));  // a scene recall would do this
    engine_.RebindSlots();
    static_cast<QSlider*>(dialog.Widget(3))->setValue(77);  // edits nothing now
    closed = QTest::qWaitFor([&] { return !dialog.isVisible(); }, 1000);
  }));
  EXPECT_TRUE(closed && engine_.BoundType(1) == 1);
}

TEST_F(SettingsDialogTest, TriggerSetupEditsTheRecordAndItsMeterFollowsTheSpectrum) {
  Bind(3, 8);
  engine_.audio().agcEnabled = 0;
  bool ran = false;
  SettingsDialogServices services;
  services.openHelp = [&](int topic) { window_.OpenHelp(topic); };
  services.runModal = [&](QDialog& d) {
    auto& setup = dynamic_cast<AudioTriggerSetupDialog&>(d);
    ran = true, setup.show();
    EXPECT_EQ(setup.bandText()->text(), "1290 - 2666 Hz");
    setup.gainSlider()->setValue(7010 - 64);  // gain 64
    setup.threshSlider()->setValue(50);       // threshold 32
    setup.lowSlider()->setValue(40), setup.hiSlider()->setValue(0);  // above Hi, below Low: both snap back
    EXPECT_EQ(std::pair(setup.lowSlider()->value(), setup.hiSlider()->value()), std::pair(14, 30));
    setup.lowSlider()->setValue(0);
    EXPECT_EQ(setup.bandText()->text(), "86 - 2666 Hz");
    // "Low" paints the band "Hi" leaves it (0..30) on its groove, and no further.
    const QImage low = setup.lowSlider()->grab().toImage();
    const QRect band = setup.lowSlider()->SelectionRect();
    const QColor highlight = setup.lowSlider()->palette().color(QPalette::Highlight);
    EXPECT_EQ(std::pair(setup.lowSlider()->selectionFirst(), setup.lowSlider()->selectionLast()), std::pair(0, 30));
    EXPECT_EQ(low.pixelColor(band.right() - 1, band.center().y()), highlight);
    EXPECT_NE(low.pixelColor(band.right() + 20, band.center().y()), highlight);
    EXPECT_EQ(setup.hiSlider()->grab().toImage().pixelColor(setup.hiSlider()->width() / 2, band.center().y()), highlight)
        << "\"Hi\" may go anywhere above 0";
    std::array<int16_t, kAudioChannels * kAudioBlockFrames> impulse{16384, 16384};  // 32 in every bin
    ASSERT_TRUE(engine_.audio().DeliverBlock(impulse.data()));
    setup.TickMeter();
    EXPECT_EQ(std::tuple(setup.meter().level, setup.meter().levelHeight, setup.meter().firing),
              std::tuple(32, 32 * 106 / 64, true));
    // "On the beat" is the slot's setting, kept outside the record.
    EXPECT_FALSE(setup.beatBox()->isChecked());
    setup.beatBox()->click();
    EXPECT_TRUE(engine_.BeatTrigger(3) && !engine_.BeatTrigger(2));
    QTest::keyClick(&setup, Qt::Key_F1);
    EXPECT_EQ(window_.helpViewer()->currentContext(), 34);
  };
  SettingsDialogPosition position;
  GeneratorSettingsDialog dialog(engine_, 3, kStrobeDialog, position, services, &window_);
  dialog.show();
  static_cast<QPushButton*>(dialog.Widget(4))->click();
  EXPECT_TRUE(ran);
  AudioTrigger record;
  engine_.EditGenerator(3, [&](Generator& g) { record = *kStrobeDialog.controls[3].trigger(g); });
  EXPECT_EQ(record, (AudioTrigger{64, 50, 32, 0, 30}));
}

TEST_F(SettingsDialogTest, FilePlayerLoadsARecordingAndShowsItsResolution) {
  const std::string dir = test::FreshTestDir("settings_dialog_player");
  const std::string small = dir + "/small.qrr", bad = dir + "/bad.qrr";
  for (const std::string& path : {small, bad}) {  // 16 x 8, one grey frame; "bad" with a wrong magic
    auto header = EncodeRecordingHeader({16, 8, 25});
    header[0] = static_cast<uint8_t>(path == bad ? 'X' : header[0]);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(header.data()), header.size())
        << std::string(kFrameMarker.begin(), kFrameMarker.end()) << std::string(16 * 8 * 3, '\x50');
  }
  Bind(0, kFilePlayerDialog.typeId);
  std::string next = small;
  QString shownError, filter;
  SettingsDialogServices services;
  services.chooseFile = [&](QWidget*, const QString&, const QString& f) {
    return filter = f, QString::fromStdString(next);
  };
  services.showError = [&](QWidget*, const QString& text) { shownError = text; };
  SettingsDialogPosition position;
  GeneratorSettingsDialog dialog(engine_, 0, kFilePlayerDialog, position, services, &window_);
  dialog.show();
  auto* resolution = static_cast<QLabel*>(dialog.Widget(4));
  auto* load = static_cast<QPushButton*>(dialog.Widget(2, 1));
  load->click();
  EXPECT_TRUE(filter.startsWith("Quor Recordings (*.qrr)"));
  EXPECT_EQ(resolution->text(), "File Resolution: 16 x 8");
  engine_.clock().Advance(40);  // the recording plays, scaled up
  EXPECT_EQ(Pixel(0), (std::array{0x50, 0x50, 0x50}));
  next = bad;
  load->click();
  EXPECT_EQ(shownError, "Unknown File Format.");
  EXPECT_EQ(resolution->text(), "File Resolution: 0 x 0");
}

}  // namespace
}  // namespace quor
