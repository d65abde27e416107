#include "app/windowed_host.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "app/headless_host.h"
#include "engine/lifecycle.h"
#include "engine/engine.h"
#include "ui/command_ids.h"
#include "ui/list_window.h"
#include "ui/main_window.h"
#include "ui/preview_renderer.h"
#include "ui/web_remote_dialog.h"
#include "ui/window_memory.h"

namespace quor {
namespace {

constexpr int kSignalPollMs = 100;

void PrintErrors(ChangeFeed& changes) {
  for (const Failure& error : changes.Drain().errors) std::fprintf(stderr, "Error: %s\n", error.message.c_str());
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
  Result<std::unique_ptr<X11Screen>> connection = X11Screen::Connect(display);
  ok_ = connection.ok();
  if (ok_) {
    connection_ = std::move(*connection);
  } else {
    why_ = std::string("the X display ") + display + " cannot be opened";
  }
}

DisplayCheck::~DisplayCheck() = default;

int WindowedHost::Run(QApplication& app) {
  PreviewRenderer previews(engine_);
  engine_.EditHooks([&previews](EngineHooks& hooks) { hooks.drawPreview = [&previews] { previews.RenderAll(); }; });

  MainWindow window(engine_, previews);
  window.move(0, 0);
  window.show();
  // A recall from the clock thread or a remote command from the input
  // thread runs at once, not at the next refresh; the start-up load keeps show mode on this desktop.
  LifecycleOptions options;
  options.wakeMainThread = [&window] { window.Wake(); };
  if (const QScreen* desktop = window.screen()) {
    options.desktop = ScreenEdges{desktop->geometry().right() + 1, desktop->geometry().bottom() + 1};
  }
  options.openWindows = [&window] { return window.OpenWindows(); };
  Lifecycle lifecycle(engine_, args_, std::move(options));
  if (const std::optional<int> exitCode = lifecycle.Start()) {
    PrintErrors(engine_.changes());
    engine_.EditHooks([](EngineHooks& hooks) { hooks.drawPreview = nullptr; });
    return *exitCode;
  }
  // The window opens where the user left it, wholly on this screen.
  window.PlaceOnScreen(lifecycle.paths().configFolder + "/" + kWindowMemoryFileName);
  window.SetRecentFilesPath(QString::fromStdString(lifecycle.paths().configFolder + "/" + kRecentFilesName));
  if (!lifecycle.loadedProjectPath().empty()) {
    window.SetCurrentFile(QString::fromStdString(lifecycle.loadedProjectPath()));
  }
  // Queued, so the loop ends even when the close arrives while it is not
  // yet (or no longer) the running loop.
  window.onClosed = [&app] { QMetaObject::invokeMethod(&app, [&app] { app.exit(0); }, Qt::QueuedConnection); };
  // Closing by hand writes the autosave first, so a failure can be shown
  // while the window is still there to save elsewhere.
  window.saveBeforeClose = [&lifecycle] { return lifecycle.SaveAutosave(); };
  window.projectFileChanged = [&lifecycle](const std::string& path) { lifecycle.FollowProject(path); };
  window.projectOpened = [&lifecycle] { lifecycle.FollowControlSettings(); };
  window.controlSettingsPath = [&lifecycle] { return lifecycle.controlSettingsPath(); };
  window.openWebRemote = [this, &lifecycle](QWidget* parent) { RunWebRemoteCommand(engine_, lifecycle, parent); };
  // The windows the resumed show had open come back; -M opens show mode
  // whatever the show had.
  const std::optional<ResumeWindows> reopen = lifecycle.windowsToReopen();
  if (reopen && reopen->scenes && !window.sceneWindow()->isVisible()) window.RunCommand(kCmdSceneList);
  if (reopen && reopen->chases && !window.chaseWindow()->isVisible()) window.RunCommand(kCmdChaseList);
  if (lifecycle.commandLine().showMode || (reopen && reopen->showMode)) {
    QTimer::singleShot(0, &window, [&window] { window.RunCommand(kCmdShowModeButton); });
  }
  if (lifecycle.firstStart()) {
    // Not modal: the demo plays on while the hint is read.
    auto* hint = new QMessageBox(QMessageBox::Information, QStringLiteral("Welcome to Quor"),
                                 QString::fromUtf8(kFirstStartHint), QMessageBox::Ok, &window);
    hint->setAttribute(Qt::WA_DeleteOnClose);
    hint->setModal(false);
    hint->show();
  }
  QTimer ending;
  QObject::connect(&ending, &QTimer::timeout, &window, [&window, &lifecycle] {
    lifecycle.KeepResumeState();
    if (StopSignalReceived() || lifecycle.ShouldEnd()) {
      // Nobody may be there to answer a question: the shutdown saves and
      // reports a failure on standard error.
      window.saveBeforeClose = nullptr;
      window.close();
    }
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
