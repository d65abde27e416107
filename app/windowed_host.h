// Runs Quor with its windows: the main window is created before the
// start-up loads the project (so a resize or a load can lay it out), the Qt
// event loop stands in for the message loop, and closing the window,
// "&Exit", SIGINT or SIGTERM end it with the orderly shutdown and one
// autosave. Start-up and shutdown are those of the headless host.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/x11_screen.h"

class QApplication;

namespace quor {

class Engine;

// Whether a window system can be reached: QT_QPA_PLATFORM names a
// platform, or WAYLAND_DISPLAY is set, or DISPLAY names an X server that
// accepts a connection. The test connection stays open while the object
// lives, so an X server that resets when its last client leaves does not
// reset between the test and Qt's own connection.
class DisplayCheck {
 public:
  DisplayCheck();
  ~DisplayCheck();
  DisplayCheck(const DisplayCheck&) = delete;
  DisplayCheck& operator=(const DisplayCheck&) = delete;
  bool ok() const { return ok_; }
  // What is missing when !ok().
  const std::string& why() const { return why_; }

 private:
  bool ok_ = false;
  std::string why_;
  std::unique_ptr<X11Screen> connection_;
};

class WindowedHost {
 public:
  WindowedHost(Engine& engine, std::vector<std::string> args) : engine_(engine), args_(std::move(args)) {}
  // Returns the process exit code.
  int Run(QApplication& app);

 private:
  Engine& engine_;
  std::vector<std::string> args_;
};

}  // namespace quor
