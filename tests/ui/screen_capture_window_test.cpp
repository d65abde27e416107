// The Screen Capture frame window opened from a slot's "Edit" button on a
// live engine: it sits on the capture rectangle, keeps the matrix's aspect
// while an edge is dragged, stores every new rectangle in the generator,
// opens its help page with F1 and ends with Escape.
#include "ui/screen_capture_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "engine/engine.h"
#include "generators/builtin_generators.h"
#include "ui/help_viewer.h"
#include "ui/main_window.h"
#include "ui/mixer_panel.h"

namespace quor {
namespace {

TEST(ScreenCaptureWindow, FollowsTheRectangleKeepsTheAspectWhileDraggedAndEndsWithEscape) {
  Engine engine(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  PreviewRenderer renderer(engine);
  MainWindow window(engine, renderer, MainWindowOptions{QStringLiteral(QUOR_SOURCE_DIR "/share/help"), 40});
  window.show();
  engine.SelectEffect(0, EffectListPosition(12));
  engine.RebindSlots();
  ASSERT_EQ(engine.BoundType(0), 12);
  const int w = engine.width(), h = engine.height();
  auto stored = [&] {
    CaptureRectangle r;
    engine.EditGenerator(0, [&](Generator& g) { r = dynamic_cast<ScreenCaptureGenerator&>(g).rectangle(); });
    return r;
  };
  const CaptureRectangle start{100, 100, 420, 100 + 320 * h / w};
  ASSERT_EQ(stored(), start);
  // Both the window and the generator end on `expected`.
  auto settles = [&](ScreenCaptureWindow& frame, CaptureRectangle expected) {
    return QTest::qWaitFor([&] { return frame.FrameRectangle() == expected && stored() == expected; }, 2000);
  };

  bool opened = false;
  QTimer::singleShot(50, [&] {
    auto* frame = dynamic_cast<ScreenCaptureWindow*>(QApplication::activeModalWidget());
    if (frame == nullptr) return;
    opened = true;
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Screen Capture"));
    EXPECT_EQ(frame->findChildren<QPushButton*>(), QList<QPushButton*>{frame->closeButton()});
    EXPECT_EQ(frame->closeButton()->text(), QStringLiteral("Close"));
    EXPECT_TRUE(settles(*frame, start)) << "the window opens on the capture rectangle, frame included";

    // Dragging the right edge: the bottom follows the width.
    frame->resize(frame->width() + 80, frame->height());
    CaptureRectangle expected{100, 100, 500, 100 + 400 * h / w};
    EXPECT_TRUE(settles(*frame, expected)) << "right edge";
    // Dragging the top-left corner: the top follows the width.
    frame->setGeometry(frame->geometry().adjusted(-50, -30, 0, 0));
    expected = {50, expected.bottom - 450 * h / w, 500, expected.bottom};
    EXPECT_TRUE(settles(*frame, expected)) << "top-left corner";
    // A move keeps the size.
    frame->move(frame->pos() + QPoint(7, 3));
    EXPECT_TRUE(settles(*frame, {expected.left + 7, expected.top + 3, expected.right + 7, expected.bottom + 3}));

    QTest::keyClick(frame, Qt::Key_F1);
    EXPECT_EQ(window.helpViewer()->currentContext(), 62);
    frame->activateWindow();
    QTest::keyClick(frame, Qt::Key_Escape);
    EXPECT_FALSE(frame->isVisible());
  });
  QTest::mouseClick(window.panel()->editButton(0), Qt::LeftButton);
  EXPECT_TRUE(opened);
}

}  // namespace
}  // namespace quor
