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

DisplayCheck::DisplayCheck() {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    ok_ = true;
    return;
  }
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') {
    why_ = "no DISPLAY or WAYLAND_DISPLAY is set";
    return;
  }
  // Qt ends the process when its platform cannot start: ask the X server first.
  xcb_connection_t* connection = xcb_connect(display, nullptr);
  connection_ = connection;
  ok_ = xcb_connection_has_error(connection) == 0;
  if (!ok_) why_ = std::string("the X display ") + display + " cannot be opened";
}

DisplayCheck::~DisplayCheck() {
  if (connection_ != nullptr) xcb_disconnect(static_cast<xcb_connection_t*>(connection_));
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
  // Queued, so the loop ends even when the close arrives while it is not
  // yet (or no longer) the running loop.
  window.onClosed = [&app] { QMetaObject::invokeMethod(&app, [&app] { app.exit(0); }, Qt::QueuedConnection); };
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
