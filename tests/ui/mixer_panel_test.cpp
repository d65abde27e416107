// The mixer panel's controls against the engine values, both ways.

#include <QScrollArea>
#include <QScrollBar>
#include <QSpontaneKeyEvent>
#include <QWheelEvent>

#include "ui/fixed_layout.h"
#include "ui/modal_commands.h"
#include "ui/selection_slider.h"
#include "ui_support.h"

namespace quor {
namespace {

class MixerPanelTest : public testing::Test {
 protected:
  MixerPanelTest() { panel_.show(); }
  static void Key(QWidget* widget, Qt::Key key) {
    widget->setFocus();
    QTest::keyClick(widget, key);
  }
  Engine engine_{BuiltinGenerators(), test::kManualClock};
  ModalCommands modal_{engine_, nullptr};
  MixerPanelWidget panel_{engine_, modal_, {}, nullptr};
};

TEST_F(MixerPanelTest, UserChangesReachTheEngine) {
  Key(panel_.effectList(2), Qt::Key_Down);
  EXPECT_EQ(engine_.RequestedType(2), 7);  // position 1: Simple Color
  Key(panel_.speedSlider(1), Qt::Key_Left);
  EXPECT_EQ(engine_.panel().speed[1].load(), 24);
  QTest::mouseClick(panel_.invertBox(3), Qt::LeftButton, {}, QPoint(5, 8));
  EXPECT_EQ(engine_.panel().invert[3].load(), 1);
  Key(panel_.mergeList(kMixChannel2), Qt::Key_End);
  EXPECT_EQ(engine_.panel().mergeMode[kMixChannel2].load(), 9);
  Key(panel_.masterFade(kMixChannel1), Qt::Key_Home);
  EXPECT_EQ(engine_.panel().masterFade[kMixChannel1].load(), 0);
  Key(panel_.strobeTimeSlider(), Qt::Key_End);
  EXPECT_EQ(engine_.settings().strobeTime.load(), 25);
  Key(panel_.masterOut(), Qt::Key_PageDown);
  EXPECT_LT(engine_.settings().masterLevel.load(), 255);
}

// One notch of the wheel turned towards the user over the middle of `widget`,
// delivered as the window system delivers it, so that what the widget leaves
// goes on to its parents.
void TurnWheelDown(QWidget* widget) {
  const QPointF at = QRectF(widget->rect()).center();
  QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QSpontaneKeyEvent::setSpontaneous(&event);
  QApplication::instance()->notify(widget, &event);  // sendEvent would make it non-spontaneous
}

// Scrolling past the panel's sliders and lists moves none of them: the area
// around scrolls instead. Only a control that has the focus follows the wheel.
TEST(MixerPanelWheel, MovesOnlyTheControlWithTheFocusAndElseScrollsTheAreaAround) {
  Engine engine{BuiltinGenerators(), test::kManualClock};
  ModalCommands modal{engine, nullptr};
  QScrollArea area;
  auto* panel = new MixerPanelWidget(engine, modal, {}, nullptr);
  auto* selection = Place(new SelectionSlider(panel), 360, 120, 200, 20);  // as in the generator dialogs
  selection->setRange(0, 100);
  area.setWidget(panel);
  area.resize(500, 150);
  area.show();
  QApplication::setActiveWindow(&area);
  QScrollBar* scroll = area.verticalScrollBar();
  auto value = [](QWidget* w) {
    auto* list = qobject_cast<QComboBox*>(w);
    return list != nullptr ? list->currentIndex() : static_cast<QSlider*>(w)->value();
  };
  QWidget* const controls[] = {panel->masterOut(),   panel->gammaSlider(),          panel->strobeTimeSlider(),
                               panel->speedSlider(2), panel->masterFade(kMixMain), panel->masterFade(kMixChannel2),
                               panel->effectList(1),  panel->mergeList(kMixMain),   selection};
  for (QWidget* w : controls) {
    if (auto* slider = qobject_cast<QSlider*>(w)) slider->setValue((slider->minimum() + slider->maximum()) / 2);
    if (auto* list = qobject_cast<QComboBox*>(w)) list->setCurrentIndex(1);
    scroll->setValue(0);
    const int before = value(w);
    TurnWheelDown(w);
    EXPECT_EQ(value(w), before) << w->metaObject()->className() << " at " << w->y();
    EXPECT_GT(scroll->value(), 0) << w->y();
    EXPECT_FALSE(w->hasFocus()) << w->y();  // the wheel does not hand it the focus either
    w->setFocus();
    ASSERT_TRUE(w->hasFocus());
    const int scrolled = scroll->value();
    TurnWheelDown(w);
    EXPECT_NE(value(w), before) << w->y();
    EXPECT_EQ(scroll->value(), scrolled) << w->y();
  }
  EXPECT_EQ(engine.settings().masterLevel.load(), panel->masterOut()->value());  // the engine followed
}

TEST_F(MixerPanelTest, GlideButtonsStrobeAndHandMovesOfTheCrossfader) {
  QTest::mouseClick(panel_.glideButton(kMixChannel1, 2), Qt::LeftButton);
  EXPECT_EQ(std::pair(engine_.panel().masterFade[kMixChannel1].load(), panel_.masterFade(kMixChannel1)->value()),
            std::pair(255, 255));

  QTest::mouseClick(panel_.glideButton(kMixMain, 0), Qt::LeftButton);
  EXPECT_EQ(engine_.settings().mainFadeDirection.load(), kGlideToStart);
  // The glide moves the crossfader; following it must not end the glide.
  engine_.RunMixPass();
  panel_.Refresh();
  EXPECT_EQ(panel_.masterFade(kMixMain)->value(), 124);
  EXPECT_EQ(engine_.settings().mainFadeDirection.load(), kGlideToStart);
  Key(panel_.masterFade(kMixMain), Qt::Key_Right);  // a hand move does
  EXPECT_EQ(std::pair(engine_.settings().mainFadeDirection.load(), engine_.panel().masterFade[kMixMain].load()),
            std::pair(kGlideNone, 125));

  QTest::mouseClick(panel_.strobeButton(), Qt::LeftButton);
  EXPECT_EQ(engine_.settings().strobeCounter.load(), 0);
  QTest::mouseClick(panel_.strobeButton(), Qt::LeftButton);
  EXPECT_EQ(engine_.settings().strobeCounter.load(), -1);
  // A strobe switched on elsewhere (a chase) presses the button.
  engine_.SetStrobe(true);
  panel_.Refresh();
  EXPECT_TRUE(panel_.strobeButton()->isChecked());
}

TEST_F(MixerPanelTest, GammaLabelFollowsAndDoubleClicksReset) {
  Key(panel_.gammaSlider(), Qt::Key_End);
  EXPECT_EQ(engine_.settings().gammaSetting.load(), 500);
  EXPECT_EQ(panel_.gammaLabel()->text(), "Gamma (5.00)");
  engine_.SetGammaSetting(250);
  panel_.Refresh();
  EXPECT_EQ(panel_.gammaLabel()->text(), "Gamma (2.50)");
  QTest::mouseDClick(panel_.gammaLabel(), Qt::LeftButton);
  EXPECT_EQ(std::pair(engine_.settings().gammaSetting.load(), panel_.gammaSlider()->value()), std::pair(100, 100));
  QTest::mouseDClick(panel_.masterLabel(), Qt::LeftButton);
  EXPECT_EQ(std::pair(engine_.settings().masterLevel.load(), panel_.masterOut()->value()), std::pair(0, 0));
}

}  // namespace
}  // namespace quor
