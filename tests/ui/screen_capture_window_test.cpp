// The Screen Capture frame window opened from a slot's "Edit" button: it sits on the
// capture rectangle, keeps the matrix's aspect while dragged and stores each rectangle.
#include "ui/screen_capture_window.h"

#include "ui_support.h"

namespace quor {
namespace {

TEST(ScreenCaptureWindow, FollowsTheRectangleKeepsTheAspectWhileDraggedAndEndsWithEscape) {
  Engine engine(BuiltinGenerators(), test::kManualClock);
  PreviewRenderer renderer(engine);
  MainWindow window(engine, renderer, MainWindowOptions{QStringLiteral(QUOR_SOURCE_DIR "/share/help"), 40});
  window.show();
  engine.SelectEffect(0, EffectListPosition(12));
  engine.RebindSlots();
  const int w = engine.width(), h = engine.height();
  auto stored = [&] {
    CaptureRectangle r;
    engine.EditGenerator(0, [&](Generator& g) { r = dynamic_cast<ScreenCaptureGenerator&>(g).rectangle(); });
    return r;
  };
  const CaptureRectangle start{100, 100, 420, 100 + 320 * h / w};
  // Both the window and the generator end on `expected`.
  auto settles = [&](ScreenCaptureWindow& frame, CaptureRectangle expected) {
    return QTest::qWaitFor([&] { return frame.FrameRectangle() == expected && stored() == expected; }, 2000);
  };
  test::OnModal<ScreenCaptureWindow> modal([&](ScreenCaptureWindow& opened) {
    ScreenCaptureWindow* frame = &opened;
    EXPECT_TRUE(settles(*frame, start)) << "the window opens on the capture rectangle, frame included";

    frame->resize(frame->width() + 80, frame->height());  // the right edge: the bottom follows the width
    CaptureRectangle expected{100, 100, 500, 100 + 400 * h / w};
    EXPECT_TRUE(settles(*frame, expected)) << "right edge";
    frame->setGeometry(frame->geometry().adjusted(-50, -30, 0, 0));  // the top-left corner: the top follows
    expected = {50, expected.bottom - 450 * h / w, 500, expected.bottom};
    EXPECT_TRUE(settles(*frame, expected)) << "top-left corner";
    frame->move(frame->pos() + QPoint(7, 3));  // a move keeps the size
    EXPECT_TRUE(settles(*frame, {expected.left + 7, expected.top + 3, expected.right + 7, expected.bottom + 3}));

    QTest::keyClick(frame, Qt::Key_F1);
    EXPECT_EQ(window.helpViewer()->currentContext(), 62);
    frame->activateWindow();
    QTest::keyClick(frame, Qt::Key_Escape);
    EXPECT_FALSE(frame->isVisible());
  });
  QTest::mouseClick(window.panel()->editButton(0), Qt::LeftButton);
  EXPECT_TRUE(modal.opened);
}

}  // namespace
}  // namespace quor
