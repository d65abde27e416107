#include "app/windowed_host.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "app/headless_host.h"
#include "engine/lifecycle.h"
#include "engine/engine.h"
#include "ui/command_ids.h"
#include "ui/main_window.h"
#include "ui/preview_renderer.h"

namespace quor {
namespace {

constexpr int kSignalPollMs = 100;

void PrintErrors(ChangeFeed& changes) {
  for (const EngineError& error : changes.Drain().errors) std::fprintf(stderr, "Error: %s\n", error.message.c_str());
}

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
  Lifecycle lifecycle(engine_, args_);
  PreviewRenderer previews(engine_);
  engine_.EditHooks([&previews](EngineHooks& hooks) { hooks.drawPreview = [&previews] { previews.RenderAll(); }; });

  MainWindow window(engine_, previews);
  window.move(0, 0);
  window.show();
  if (const std::optional<int> exitCode = lifecycle.Start()) {
    PrintErrors(engine_.changes());
    engine_.EditHooks([](EngineHooks& hooks) { hooks.drawPreview = nullptr; });
    return *exitCode;
  }
  // Queued, so the loop ends even when the close arrives while it is not
  // yet (or no longer) the running loop.
  window.onClosed = [&app] { QMetaObject::invokeMethod(&app, [&app] { app.exit(0); }, Qt::QueuedConnection); };
  if (lifecycle.commandLine().showMode) {
    QTimer::singleShot(0, &window, [&window] { window.RunCommand(kCmdShowModeButton); });
  }
  QTimer ending;
  QObject::connect(&ending, &QTimer::timeout, &window, [&window, &lifecycle] {
    if (StopSignalReceived() || lifecycle.ShouldEnd()) window.close();
  });
  ending.start(kSignalPollMs);

  app.exec();
  ending.stop();
  // The clock stops inside Finish before the previews go away.
  const int code = lifecycle.Finish();
  PrintErrors(engine_.changes());  // the window is gone: a failed autosave goes to standard error
  engine_.EditHooks([](EngineHooks& hooks) { hooks.drawPreview = nullptr; });
  return code;
}

}  // namespace quor
