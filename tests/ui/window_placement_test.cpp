// Windows that fit their screen: the placement arithmetic, the remembered main window size, the resizable
// main window, show mode's size and full screen, and help opened from a modal dialog.
#include "ui/window_placement.h"

#include <QDialog>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextBrowser>
#include <filesystem>
#include <fstream>

#include "show/show.h"
#include "ui/help_viewer.h"
#include "ui/list_window.h"
#include "ui/mixer_panel.h"
#include "ui/preview_widget.h"
#include "ui/window_memory.h"
#include "ui_support.h"

namespace quor {
namespace {

TEST(WindowPlacement, FitInsideMovesThenShrinksIntoTheAvailableArea) {
  const QRect small(0, 0, 1024, 768), panelOnTop(0, 30, 1024, 738), right(1920, 0, 1280, 1024);
  const struct {
    const char* what;
    QRect frame, available, fitted;
  } cases[] = {
      {"inside stays", {10, 20, 300, 200}, small, {10, 20, 300, 200}},
      {"title bar above the screen", {0, -25, 360, 500}, small, {0, 0, 360, 500}},
      {"right side off screen", {0, 0, 1048, 590}, small, {0, 0, 1024, 590}},
      {"off the bottom right", {900, 700, 300, 200}, small, {724, 568, 300, 200}},
      {"higher than the screen", {0, 0, 400, 900}, small, {0, 0, 400, 768}},
      {"below a top panel", {5, 0, 300, 200}, panelOnTop, {5, 30, 300, 200}},
      {"second screen", {3000, 100, 400, 300}, right, {2800, 100, 400, 300}},
      {"no screen known", {-50, -50, 20, 20}, QRect(), {-50, -50, 20, 20}},
  };
  for (const auto& c : cases) EXPECT_EQ(FitInside(c.frame, c.available), c.fitted) << c.what;
}

TEST(WindowPlacement, DockedWindowsGoBesideWhereTheyFitElseOnTopOfTheMainWindow) {
  const QSize list(240, 590);
  const struct {
    const char* what;
    QRect main, available;
    std::vector<QRect> placed;
  } cases[] = {
      {"large screen: both beside", {0, 0, 1050, 590}, {0, 0, 2560, 1440}, {{1050, 0, 240, 590}, {1290, 0, 240, 590}}},
      {"room for one: the second on top",
       {0, 0, 1050, 590},
       {0, 0, 1400, 900},
       {{1050, 0, 240, 590}, {810, 0, 240, 590}}},
      {"no room: both on top, right to left", {0, 0, 1024, 590}, {0, 0, 1024, 768}, {{784, 0, 240, 590}, {544, 0, 240, 590}}},
      {"main partly off screen: on top, on screen", {-20, -10, 1100, 590}, {0, 0, 1024, 768}, {{784, 0, 240, 590}, {544, 0, 240, 590}}},
      {"taller than the room below main's top", {0, 300, 1024, 400}, {0, 0, 1024, 768}, {{784, 178, 240, 590}, {544, 178, 240, 590}}},
  };
  for (const auto& c : cases) EXPECT_EQ(DockedFrames(c.main, {list, list}, c.available), c.placed) << c.what;
}

TEST(WindowMemory, KeepsTheMainWindowRectangleAndIgnoresDamagedFiles) {
  const QRect rect(-1200, 40, 1300, 700);
  EXPECT_EQ(ParseWindowMemory(WindowMemoryJson(rect)), rect);
  for (const char* bad : {"", "not json", "[]", "{\"mainWindow\": 5}",
                          R"({"mainWindow": {"left": 0, "top": 0, "width": 800}})",
                          R"({"mainWindow": {"left": 0, "top": 0, "width": 10, "height": 600}})",
                          R"({"mainWindow": {"left": 0, "top": 0, "width": 800.5, "height": 600}})",
                          R"({"mainWindow": {"left": 1e12, "top": 0, "width": 800, "height": 600}})",
                          R"({"mainWindow": {"left": "0", "top": 0, "width": 800, "height": 600}})"}) {
    EXPECT_EQ(ParseWindowMemory(QByteArray(bad)), std::nullopt) << bad;
  }
  const std::string dir = test::FreshTestDir("window_memory");
  const std::string path = dir + "/windows.json";
  EXPECT_EQ(LoadWindowMemory(path), std::nullopt);
  ASSERT_EQ(SaveWindowMemory(path, rect), std::nullopt);
  EXPECT_EQ(LoadWindowMemory(path), rect);
  EXPECT_NE(SaveWindowMemory(dir + "/no-such-folder/windows.json", rect), std::nullopt);
  std::ofstream(path) << "{\"mainWindow\": {\"left\": 0";  // cut off
  EXPECT_EQ(LoadWindowMemory(path), std::nullopt);
}

class WindowGeometryTest : public testing::Test {
 protected:
  WindowGeometryTest() { std::ofstream(helpDir_ + "/1.html") << "<h1>Main window</h1>" << std::string(20000, 'x'); }
  Engine engine_{BuiltinGenerators(), test::kManualClock};
  PreviewRenderer renderer_{engine_};
  std::string helpDir_ = test::FreshTestDir("geometry_help");
  MainWindow window_{engine_, renderer_, MainWindowOptions{QString::fromStdString(helpDir_), 40}};
};

// Larger: the previews grow alike at their aspect ratio and the panel keeps its size; smaller: the content scrolls;
// a matrix change gives a window at its default size the new default and leaves a resized one alone.
TEST_F(WindowGeometryTest, TheMainWindowResizesFromItsDefaultAndThePreviewsFollow) {
  window_.show();
  const QSize standard = window_.defaultSize();
  EXPECT_EQ(window_.size(), standard);
  EXPECT_EQ(standard.width(), kMainWindowWidth);
  EXPECT_LT(window_.minimumWidth(), 1000);
  EXPECT_GE(window_.maximumWidth(), 2000);
  const QSize panel = window_.panel()->size();
  EXPECT_EQ(window_.preview(kPreviewLeft)->geometry(), QRect(10, 10, 320, 200));
  EXPECT_EQ(window_.preview(kPreviewRight)->geometry(), QRect(710, 10, 320, 200));
  EXPECT_EQ(window_.panel()->pos(), QPoint(0, 200));

  // Half as wide again (and room enough below): previews half as large again, the panel centred below them.
  window_.resize(1526, standard.height() + 1000);
  QApplication::processEvents();
  EXPECT_EQ(window_.preview(kPreviewLeft)->geometry(), QRect(10, 10, 480, 300));
  EXPECT_EQ(window_.preview(kPreviewRight)->geometry(), QRect(1030, 10, 480, 300));
  EXPECT_EQ(window_.panel()->geometry(), QRect(QPoint(240, 300), panel));
  // Higher only: the width keeps them at their size.
  window_.resize(kMainWindowWidth, standard.height() + 1000);
  QApplication::processEvents();
  EXPECT_EQ(window_.preview(kPreviewLeft)->size(), QSize(320, 200));

  window_.resize(700, 400);
  QApplication::processEvents();
  auto* scroller = qobject_cast<QScrollArea*>(window_.centralWidget());
  ASSERT_NE(scroller, nullptr);
  EXPECT_TRUE(scroller->horizontalScrollBar()->isVisible() && scroller->verticalScrollBar()->isVisible());
  EXPECT_EQ(std::pair(window_.panel()->size(), window_.preview(kPreviewLeft)->size()), std::pair(panel, QSize(320, 200)));

  window_.resize(standard);
  ASSERT_TRUE(engine_.ResizeMatrix(32, 250));
  engine_.StopClock();
  window_.Tick();
  EXPECT_EQ(window_.size(), window_.defaultSize());
  EXPECT_EQ(window_.defaultSize().height(), standard.height() + 50);
  window_.resize(1500, 1000);
  ASSERT_TRUE(engine_.ResizeMatrix(32, 16));
  window_.Tick();
  EXPECT_EQ(window_.size(), QSize(1500, 1000));
}

TEST_F(WindowGeometryTest, PlacedTheWindowOpensAtTheRememberedSizeWhollyOnTheScreen) {
  const std::string path = test::FreshTestDir("geometry_memory") + "/windows.json";
  const QRect screen = window_.screen()->availableGeometry();
  ASSERT_EQ(SaveWindowMemory(path, QRect(screen.right() - 100, -40, 1200, 700)), std::nullopt);
  window_.show();
  window_.PlaceOnScreen(path);
  const QRect frame = window_.frameGeometry();
  EXPECT_TRUE(screen.contains(frame)) << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
  const QSize extra = frame.size() - window_.size();
  EXPECT_EQ(frame.size(), (QSize(1200, 700) + extra).boundedTo(screen.size()));
  window_.resize(1100, 650);
  window_.move(20, 30);
  window_.close();
  const std::optional<QRect> kept = LoadWindowMemory(path);
  ASSERT_TRUE(kept.has_value());
  EXPECT_EQ(kept->size(), QSize(1100, 650));
  EXPECT_EQ(kept->topLeft(), window_.frameGeometry().topLeft());
}

// Many buttons and a stored rectangle too low for them: the window grows to show them, within the screen,
// and keeps the title bar on the screen. F11 switches full screen on and off, Escape leaves it.
TEST_F(WindowGeometryTest, ShowModeOpensOnScreenShowingItsButtonsAndGoesFullScreen) {
  for (int i = 0; i < 24; ++i) engine_.show().sceneList().Add("Scene " + std::to_string(i));
  engine_.show().editor().Close();
  WindowLayout layout = engine_.windowLayout();
  layout.showWindow = {0, -25, 358, 479, 100, 50};
  engine_.SetWindowLayout(layout);
  window_.show();
  window_.RunCommand(kCmdShowMode);
  ShowModeWindow* show = window_.showModeWindow();
  ASSERT_NE(show, nullptr);
  const QRect screen = show->screen()->availableGeometry();
  EXPECT_TRUE(screen.contains(show->frameGeometry()));
  for (int i = 0; i < show->buttonCount(); ++i) {
    const QRect button = show->button(i)->geometry();
    EXPECT_TRUE(show->centralWidget()->rect().contains(button)) << "button " << i;
  }
  const QRect windowed = show->frameGeometry();
  ASSERT_TRUE(QTest::qWaitForWindowActive(show));
  QTest::keyRelease(show, Qt::Key_F11);
  EXPECT_TRUE(show->isFullScreen());
  QTest::keyClick(show, Qt::Key_Escape);
  EXPECT_FALSE(show->isFullScreen());
  QTest::keyRelease(show, Qt::Key_F11);
  QTest::keyRelease(show, Qt::Key_F11);
  EXPECT_FALSE(show->isFullScreen());
  EXPECT_EQ(window_.showModeWindow(), show);  // F11 no longer ends show mode: its close box does
  // The project keeps the windowed rectangle, not the full screen.
  EXPECT_EQ(engine_.windowLayout().showWindow.width, windowed.width());
  show->close();
  EXPECT_EQ(window_.showModeWindow(), nullptr);
}

// Help asked for from a modal dialog belongs to that dialog meanwhile (so the dialog does not block it), closes
// with Escape and goes back to the main window when the dialog closes.
TEST_F(WindowGeometryTest, HelpFromAModalDialogTakesInputAndClosesWithEscape) {
  window_.show();
  HelpViewer* help = window_.helpViewer();
  QDialog dialog(&window_);
  dialog.setProperty("quorHelpId", kHelpMainWindow);
  bool wasActive = false, escaped = false;
  QWidget* owner = nullptr;
  QTimer::singleShot(50, [&] {
    if (!QTest::qWaitForWindowActive(&dialog)) return dialog.reject();
    QTest::keyRelease(&dialog, Qt::Key_F1);
    owner = help->parentWidget();
    wasActive = help->isVisible() && QTest::qWaitForWindowActive(help);
    QTest::keyClick(help->browser(), Qt::Key_Escape);
    escaped = !help->isVisible();
    window_.OpenHelp(kHelpMainWindow);  // open again when the dialog closes
    dialog.reject();
  });
  dialog.exec();
  EXPECT_EQ(owner, &dialog);
  EXPECT_TRUE(wasActive);
  EXPECT_TRUE(escaped);
  EXPECT_EQ(help->parentWidget(), &window_);
  EXPECT_TRUE(help->isVisible() && help->isWindow());
  EXPECT_TRUE(help->screen()->availableGeometry().contains(help->frameGeometry()));
}

}  // namespace
}  // namespace quor
