// The widget tests run in a QApplication on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "test_support.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    // A desktop-sized screen (the platform's own is 800 x 600), so the main window and its docked list windows
    // fit side by side as on a user's screen.
    // ctest runs many of these processes at once: each writes the same file under a name of its own and
    // renames it into place, so none ever reads a file that another is removing or half way through writing.
    const std::string folder = std::string(QUOR_TEST_OUTPUT_DIR) + "/offscreen_screen";
    std::filesystem::create_directories(folder);
    const std::string config = folder + "/screen.json";
    const std::string own = config + "." + std::to_string(getpid());
    std::ofstream(own) << R"({"screens": [{"name": "Desktop", "x": 0, "y": 0, "width": 1920, "height": 1200,
                             "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
    std::filesystem::rename(own, config);
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + QByteArray::fromStdString(config));
  }
  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
