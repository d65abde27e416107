// The widget tests run in a QApplication on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <fstream>

#include "test_support.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    // A desktop-sized screen (the platform's own is 800 x 600), so the main window and its docked list windows
    // fit side by side as on a user's screen.
    const std::string config = quor::test::FreshTestDir("offscreen_screen") + "/screen.json";
    std::ofstream(config) << R"({"screens": [{"name": "Desktop", "x": 0, "y": 0, "width": 1920, "height": 1200,
                                "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + QByteArray::fromStdString(config));
  }
  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
