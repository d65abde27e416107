#include "app/windowed_host.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>

#include "app/headless_host.h"
#include "core/engine.h"
#include "ui/command_ids.h"
#include "ui/main_window.h"
#include "ui/preview_renderer.h"

namespace quor {
namespace {

constexpr int kSignalPollMs = 100;

}  // namespace

bool DisplayAvailable(std::string* why) {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return true;
  if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return true;
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') {
    *why = "no DISPLAY or WAYLAND_DISPLAY is set";
    return false;
  }
  // Qt ends the process when its platform cannot start: ask the X server first.
  xcb_connection_t* connection = xcb_connect(display, nullptr);
  const bool ok = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  if (!ok) *why = std::string("the X display ") + display + " cannot be opened";
  return ok;
}

int WindowedHost::Run(QApplication& app) {
  HeadlessHost core(engine_, args_);
  PreviewRenderer previews(engine_);
  engine_.hooks().drawPreview = [&previews] { previews.RenderAll(); };

  MainWindow window(engine_, previews);
  window.move(0, 0);
  window.show();
  core.reportErrors = [&window](const std::vector<std::string>& messages) {
    for (const std::string& message : messages) {
      QMessageBox::critical(&window, QStringLiteral("Error"), QString::fromStdString(message));
    }
  };
  if (const int failed = core.Start(); failed >= 0) {
    engine_.hooks().drawPreview = nullptr;
    return failed;
  }
  window.onClosed = [&app] { app.quit(); };
  if (core.commandLine().showMode) {
    QTimer::singleShot(0, &window, [&window] { window.RunCommand(kCmdShowModeButton); });
  }
  if (core.commandLine().seconds >= 0) {
    QTimer::singleShot(core.commandLine().seconds * 1000, &window, [&window] { window.close(); });
  }
  QTimer signalPoll;
  QObject::connect(&signalPoll, &QTimer::timeout, &window, [&window] {
    if (StopSignalReceived()) window.close();
  });
  signalPoll.start(kSignalPollMs);

  app.exec();
  signalPoll.stop();
  // The clock stops inside Finish before the previews go away.
  const int code = core.Finish();
  engine_.hooks().drawPreview = nullptr;
  return code;
}

}  // namespace quor
