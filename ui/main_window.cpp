#include "ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include "engine/engine.h"
#include "engine/project_file.h"
#include "output/serial_port.h"
#include "show/show.h"
#include "ui/about_box.h"
#include "ui/command_ids.h"
#include "ui/generator_settings_dialog.h"
#include "ui/help_viewer.h"
#include "ui/chase_editor_dialog.h"
#include "ui/chase_window.h"
#include "ui/list_window.h"
#include "ui/matrix_size_dialog.h"
#include "ui/output_dialogs.h"
#include "ui/mixer_panel.h"
#include "ui/modal_commands.h"
#include "ui/preview_widget.h"
#include "ui/recorder_window.h"
#include "ui/screen_capture_window.h"
#include "ui/remote_control_dialog.h"
#include "ui/scene_window.h"
#include "ui/show_mode_window.h"

namespace quor {
namespace {

constexpr const char* kProjectFilter = "Quor (*.qrx);;All Files (*.*)";
constexpr int kPreviewTop = 10;
constexpr std::array<int, kPreviewCount> kPreviewLeftEdge = {10, 360, 710};

}  // namespace

MainWindow::MainWindow(Engine& engine, PreviewRenderer& previews, MainWindowOptions options)
    : QMainWindow(nullptr), engine_(engine), renderer_(previews) {
  setWindowTitle(QString::fromLatin1(kMainWindowTitle));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setProperty("quorHelpId", kHelpMainWindow);
  modal_ = std::make_unique<ModalCommands>(engine_, this);
  help_ = new HelpViewer(options.helpFolder.isEmpty() ? DefaultHelpFolder() : options.helpFolder, this);

  auto* client = new QWidget(this);
  setCentralWidget(client);
  for (int i = 0; i < kPreviewCount; ++i) {
    std::function<int()> source;
    std::function<void(int)> setSource;
    if (i != kPreviewCentre) {
      const int side = i == kPreviewLeft ? 0 : 1;
      const std::atomic<PreviewSource>& value =
          side == 0 ? engine_.settings().leftPreviewSource : engine_.settings().rightPreviewSource;
      source = [&value] { return value.load(); };
      setSource = [this, side](int s) { engine_.SetPreviewSource(side, s); };
    }
    auto* preview = new PreviewWidget(renderer_.buffer(i), source, setSource, client);
    preview->move(kPreviewLeftEdge[static_cast<size_t>(i)], kPreviewTop);
    previews_[static_cast<size_t>(i)] = preview;
  }
  panel_ = new MixerPanelWidget(engine_, *modal_,
                                {[this] { RunCommand(kCmdScenesButton); }, [this] { RunCommand(kCmdChasesButton); },
                                 [this] { RunCommand(kCmdShowModeButton); }},
                                client);

  sceneWindow_ = scenes_ = new SceneWindow(engine_, this);
  chaseWindow_ = chases_ = new ChaseWindow(engine_, windows_, this);
  chases_->SetEditorGuardedWindows({this, sceneWindow_});
  // Moving a docked window by hand undocks it.
  sceneWindow_->onMovedByHand = [this] {
    dockScene_ = false;
    UpdateMenuChecks();
  };
  chaseWindow_->onMovedByHand = [this] {
    dockChase_ = false;
    UpdateMenuChecks();
  };
  sceneWindow_->onVisibilityChanged = [this](bool visible) { ListWindowShownOrHidden(sceneWindow_, visible); };
  chaseWindow_->onVisibilityChanged = [this](bool visible) { ListWindowShownOrHidden(chaseWindow_, visible); };
  modal_->SetGuardedWindows({sceneWindow_, chaseWindow_});
  modal_->Register(kCmdRemoteControl,
                   [this](QWidget* parent) { RunRemoteControlCommand(engine_, ListSerialPorts(), parent); });
  modal_->Register(kCmdMatrixSize, [this](QWidget* parent) {
    FollowWindowLayout();  // a project loaded since the last turn
    MatrixSizeDialog dialog(engine_, windows_, parent);
    dialog.exec();
  });
  RegisterGeneratorSettingsDialogs(*modal_, engine_,
                                   DefaultSettingsDialogServices([this](int topic) { OpenHelp(topic); }));
  RegisterScreenCaptureWindow(*modal_, engine_, [this](int topic) { OpenHelp(topic); });
  RegisterOutputDialogs(*modal_, engine_);

  BuildMenus();
  FollowWindowLayout();
  qApp->installEventFilter(this);
  connect(&refresh_, &QTimer::timeout, this, [this] { Tick(); });
  refresh_.start(options.refreshMs);
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
  if (showMode_) delete showMode_.data();
  // A show mode window closed in a turn without an event loop after it
  // still waits for its deletion; it must not outlive the engine.
  if (closedShowMode_) delete closedShowMode_.data();
  // Its close hook reads the menus, which are gone once this body ends.
  if (recorder_) {
    recorder_->disconnect(this);
    delete recorder_.data();
  }
}

QAction* MainWindow::AddCommand(QMenu* menu, const char* text, int commandId, bool checkable) {
  QAction* action = menu->addAction(QString::fromLatin1(text));
  action->setCheckable(checkable);
  action->setData(commandId);
  // The shortcut column is for show: the keys act on release (eventFilter).
  action->setShortcutContext(Qt::WidgetShortcut);
  connect(action, &QAction::triggered, this, [this, commandId] { RunCommand(commandId); });
  actions_[commandId] = action;
  return action;
}

void MainWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  AddCommand(file, "&Open", kCmdOpen);
  AddCommand(file, "&Save", kCmdSave);
  file->addSeparator();
  AddCommand(file, "&Import", kCmdImport);
  file->addSeparator();
  AddCommand(file, "&Exit", kCmdExit);
  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  AddCommand(view, "&Scenelist\tF2", kCmdSceneList, true);
  AddCommand(view, "&Chaselist\tF3", kCmdChaseList, true);
  AddCommand(view, "File &Recorder\tF4", kCmdFileRecorder, true);
  view->addSeparator();
  AddCommand(view, "Show &Mode\tF11", kCmdShowMode);
  view->addSeparator();
  AddCommand(view, "Dock &Scenewindow", kCmdDockSceneWindow, true)->setChecked(dockScene_);
  AddCommand(view, "Dock &Chasewindow", kCmdDockChaseWindow, true)->setChecked(dockChase_);
  QMenu* setup = menuBar()->addMenu(QStringLiteral("&Setup"));
  AddCommand(setup, "&Matrix Size", kCmdMatrixSize);
  setup->addSeparator();
  AddCommand(setup, "Output &Devices", kCmdOutputDevices);
  AddCommand(setup, "Output &Patch", kCmdOutputPatch);
  setup->addSeparator();
  AddCommand(setup, "&Remote Control", kCmdRemoteControl, true);
  setup->addSeparator();
  AddCommand(setup, "&Audio AutoGainControl", kCmdAudioAgc, true);
  setup->addSeparator();
  AddCommand(setup, "Start &Output", kCmdStartOutput, true);
  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  AddCommand(help, "&Contents\tF1", kCmdHelpContents);
  help->addSeparator();
  AddCommand(help, "&About Quor!", kCmdAbout);
  UpdateMenuChecks();
}

QAction* MainWindow::action(int commandId) const {
  auto found = actions_.find(commandId);
  return found == actions_.end() ? nullptr : found->second;
}

void MainWindow::RunCommand(int commandId) {
  switch (commandId) {
    case kCmdExit:
      close();
      break;
    case kCmdOpen:
      OpenProject();
      break;
    case kCmdSave:
      SaveProjectAs();
      break;
    case kCmdImport:
      ImportProjectFile();
      break;
    case kCmdSceneList:
    case kCmdScenesButton:
      ToggleListWindow(sceneWindow_);
      break;
    case kCmdChaseList:
    case kCmdChasesButton:
      ToggleListWindow(chaseWindow_);
      break;
    case kCmdFileRecorder:
      ToggleRecorder();
      break;
    case kCmdShowMode:
    case kCmdShowModeButton:
      OpenShowMode();
      break;
    case kCmdDockSceneWindow:
      dockScene_ = !dockScene_;
      PlaceDockedWindows();
      break;
    case kCmdDockChaseWindow:
      dockChase_ = !dockChase_;
      PlaceDockedWindows();
      break;
    case kCmdMatrixSize:
      modal_->RunCommand(kCmdMatrixSize, QStringLiteral("Matrix Size"));
      break;
    case kCmdOutputDevices:
      modal_->RunCommand(kCmdOutputDevices, QStringLiteral("Output Devices"));
      break;
    case kCmdOutputPatch:
      modal_->RunCommand(kCmdOutputPatch, QStringLiteral("Output Patch"));
      break;
    case kCmdRemoteControl:
      modal_->RunCommand(kCmdRemoteControl, QStringLiteral("Remote Control"));
      break;
    case kCmdAudioAgc: {
      engine_.SetAudioAgc(engine_.audio().agcEnabled.load() == 0);
      break;
    }
    case kCmdStartOutput:
      ToggleOutput();
      break;
    case kCmdHelpContents:
      OpenHelp(kHelpMainWindow);
      break;
    case kCmdAbout:
      AboutBox::Open(this, {this, sceneWindow_, chaseWindow_});
      break;
    default:
      break;
  }
  UpdateMenuChecks();
}

bool MainWindow::OpenHelp(int contextId) { return help_->Open(contextId); }

void MainWindow::Tick() {
  // An error box below runs a nested loop whose timer must not re-enter.
  if (inTick_) return;
  inTick_ = true;
  engine_.PostMessageWork();
  const ChangeBatch changes = engine_.changes().Drain();
  if (changes.Has(Change::kMatrix) || changes.Has(Change::kWindowLayout)) FollowWindowLayout();
  // The show mode control may come from a remote surface.
  if (changes.Has(Change::kShowMode) && !closed_) {
    const bool wanted = engine_.ControlValue({ControlId::kShowMode}).value_or(0) == 1;
    if (wanted && !showMode_) OpenShowMode();
    if (!wanted && showMode_) showMode_->close();
  }
  if (changes.Has(Change::kPanel) || changes.Has(Change::kMaster) || changes.Has(Change::kMatrix)) {
    panel_->Refresh();
  }
  if (changes.Has(Change::kScenes) || changes.Has(Change::kSceneSelection) || changes.Has(Change::kMaster)) {
    scenes_->Refresh();
  }
  if (changes.Has(Change::kChases) || changes.Has(Change::kChasePlayer)) chases_->Refresh();
  if (recorder_ && changes.Has(Change::kRecorder)) recorder_->Refresh();
  if (showMode_ && (changes.Has(Change::kMaster) || changes.Has(Change::kChasePlayer) ||
                    changes.Has(Change::kSceneSelection) || changes.Has(Change::kPanel) ||
                    changes.Has(Change::kScenes) || changes.Has(Change::kChases))) {
    showMode_->Refresh();
  }
  for (int i = 0; i < kPreviewCount; ++i) {
    if (!renderer_.buffer(i).TakeNew()) continue;
    if (showMode_ && i == kPreviewCentre) {
      showMode_->preview()->update();
    } else if (!showMode_) {
      previews_[static_cast<size_t>(i)]->update();
    }
  }
  UpdateMenuChecks();
  ShowErrors(changes.errors);
  inTick_ = false;
  if (engine_.flags().shutdownRequested.load() && !closed_) close();
}

void MainWindow::UpdateMenuChecks() {
  const bool running = engine_.flags().outputState.load() != kOutputStopped;
  auto set = [this](int id, bool checked) {
    if (QAction* a = action(id); a != nullptr && a->isChecked() != checked) a->setChecked(checked);
  };
  set(kCmdStartOutput, running);
  set(kCmdSceneList, sceneWindow_->isVisible());
  set(kCmdChaseList, chaseWindow_->isVisible());
  set(kCmdFileRecorder, recorder_ && recorder_->isVisible());
  set(kCmdDockSceneWindow, dockScene_);
  set(kCmdDockChaseWindow, dockChase_);
  set(kCmdAudioAgc, engine_.audio().agcEnabled.load() > 0);
  set(kCmdRemoteControl, engine_.settings().remoteControlEnabled.load() != 0);
  for (int id : {kCmdOutputPatch, kCmdOutputDevices, kCmdMatrixSize}) {
    if (QAction* a = action(id)) a->setEnabled(!running);
  }
}

void MainWindow::FollowWindowLayout() {
  // The engine's copy is the windows' own as they last handed it over,
  // unless a load replaced it: copying it in loses nothing.
  windows_.layout = engine_.windowLayout();
  renderer_.SetOptions(windows_.layout.previewAspect, windows_.layout.previewGrid);
  ApplyPreviewHeight();
}

void MainWindow::ApplyPreviewHeight() {
  const int p = PreviewHeight(engine_.width(), engine_.height(), windows_.layout.previewAspect);
  if (p == appliedPreviewHeight_) return;
  appliedPreviewHeight_ = p;
  for (PreviewWidget* preview : previews_) preview->SetPreviewHeight(p);
  panel_->move(0, p);
  panel_->Refresh();
  sceneWindow_->SetPreviewHeight(p);
  chaseWindow_->SetPreviewHeight(p);
  centralWidget()->setFixedSize(kMainWindowWidth, p + kPanelHeight + 10);
  // The window is as high as the previews plus 360 with its menu bar.
  setFixedSize(kMainWindowWidth, std::max(p + 360, p + kPanelHeight + 10 + menuBar()->sizeHint().height()));
  PlaceDockedWindows();
}

// --- scene and chase windows -----------------------------------------------------

void MainWindow::ToggleListWindow(ListWindow* window) { window->setVisible(!window->isVisible()); }

void MainWindow::ListWindowShownOrHidden(ListWindow* window, bool visible) {
  if (restoringFromShowMode_ || closed_) return;
  if (visible) {
    PlaceDockedWindows();
  } else {
    if (window == chaseWindow_) PlaceDockedWindows();
    if (isVisible()) {
      raise();
      activateWindow();
    }
  }
  UpdateMenuChecks();
}

void MainWindow::PlaceDockedWindows() {
  const QRect main = frameGeometry();
  if (dockChase_ && chaseWindow_->isVisible()) chaseWindow_->PlaceAt(QPoint(main.right() + 1, main.top()));
  if (dockScene_) {
    const bool besideChase = dockChase_ && chaseWindow_->isVisible();
    const QRect anchor = besideChase ? chaseWindow_->frameGeometry() : main;
    sceneWindow_->PlaceAt(QPoint(anchor.right() + 1, anchor.top()));
  }
}

std::optional<ResumeWindows> MainWindow::OpenWindows() const {
  if (closed_) return std::nullopt;
  const bool showMode = !showMode_.isNull();
  return ResumeWindows{.scenes = showMode ? sceneWasVisible_ : sceneWindow_->isVisible(),
                       .chases = showMode ? chaseWasVisible_ : chaseWindow_->isVisible(),
                       .showMode = showMode};
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  PlaceDockedWindows();
}

// --- show mode ------------------------------------------------------------------

void MainWindow::OpenShowMode() {
  if (showMode_) return;
  if (closedShowMode_) delete closedShowMode_.data();  // only one waits at a time
  // A project loaded since the last turn (the start-up load before
  // --showmode) brings the rectangle to open at.
  FollowWindowLayout();
  auto* window = new ShowModeWindow(engine_, windows_, renderer_.buffer(kPreviewCentre),
                                    {[this] { CloseShowMode(); }, [this] { RunCommand(kCmdFileRecorder); }});
  showMode_ = window;
  window->show();
  window->RestoreRectangle(frameGeometry().size() - size());
  hide();
  sceneWasVisible_ = sceneWindow_->isVisible();
  chaseWasVisible_ = chaseWindow_->isVisible();
  sceneWindow_->hide();
  chaseWindow_->hide();
  window->raise();
  window->activateWindow();
}

void MainWindow::CloseShowMode() {
  // The window closes itself (and is deleted on close).
  closedShowMode_ = showMode_;
  showMode_ = nullptr;
  if (closed_) return;  // the program is ending: nothing comes back
  restoringFromShowMode_ = true;
  show();
  if (sceneWasVisible_) sceneWindow_->show();
  if (chaseWasVisible_) chaseWindow_->show();
  restoringFromShowMode_ = false;
  UpdateMenuChecks();
}

// --- outputs ----------------------------------------------------------------------

void MainWindow::ToggleOutput() {
  // A failure comes back through the change feed and is shown by Tick.
  if (engine_.flags().outputState.load() == kOutputStopped) {
    engine_.OpenOutputs();
  } else {
    engine_.CloseOutputs();
  }
  UpdateMenuChecks();
}

// --- files ------------------------------------------------------------------------

namespace {

// A file the user chose that could not be read at all is an error here,
// unlike a missing autosave at start-up.
std::vector<Failure> LoadErrors(const ProjectFileResult& result, const std::string& path) {
  std::vector<Failure> errors = result.errors;
  if (result.status == ProjectFileStatus::kNoFile) {
    errors.push_back({path, result.errorNumber, "Could not load " + path + ": " + result.reason});
  }
  return errors;
}

}  // namespace

void MainWindow::ShowErrors(const std::vector<Failure>& errors) {
  for (const Failure& error : errors) {
    QMessageBox::critical(this, QStringLiteral("Error"), QString::fromStdString(error.DialogText()));
  }
}

void MainWindow::OpenProject() {
  const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open ..."), QString(),
                                                    QString::fromLatin1(kProjectFilter));
  if (path.isEmpty()) return;
  ProjectLoadHooks hooks;
  if (const QScreen* desktop = screen()) {
    hooks.desktop = ScreenEdges{desktop->geometry().right() + 1, desktop->geometry().bottom() + 1};
  }
  const ProjectFileResult loaded = LoadProject(engine_, path.toStdString(), hooks);
  if (loaded.status == ProjectFileStatus::kDone && projectFileChanged) projectFileChanged(path.toStdString());
  ShowErrors(LoadErrors(loaded, path.toStdString()));
  panel_->Refresh();
}

void MainWindow::SaveProjectAs() {
  QFileDialog dialog(this, QStringLiteral("Save As ..."), QString(), QString::fromLatin1(kProjectFilter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("qrx"));
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const std::string path = dialog.selectedFiles().front().toStdString();
  const ProjectFileResult saved = SaveProject(engine_, path);
  if (saved.status == ProjectFileStatus::kDone && projectFileChanged) projectFileChanged(path);
  ShowErrors(saved.errors);
}

void MainWindow::ImportProjectFile() {
  const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Import ..."), QString(),
                                                    QString::fromLatin1(kProjectFilter));
  if (path.isEmpty()) return;
  ShowErrors(LoadErrors(ImportProject(engine_, path.toStdString()), path.toStdString()));
}

// --- keys and closing ---------------------------------------------------------------

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyRelease) return QMainWindow::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  const int k = key->key();
  if (key->isAutoRepeat() || (k != Qt::Key_F1 && k != Qt::Key_F2 && k != Qt::Key_F3 && k != Qt::Key_F4 && k != Qt::Key_F11)) {
    return QMainWindow::eventFilter(watched, event);
  }
  HandleFunctionKey(k);
  return true;
}

void MainWindow::HandleFunctionKey(int key) {
  // The key goes to the window in front, whichever widget had the focus.
  QWidget* front = QApplication::activeWindow();
  if (front == nullptr) front = this;
  if (!front->isEnabled()) return;  // locked by "About" or "Edit Chase"
  if (key == Qt::Key_F1) {
    const QVariant id = front->property("quorHelpId");
    if (id.isValid()) OpenHelp(id.toInt());
    return;
  }
  if (showMode_ && front == showMode_.data()) {
    if (key == Qt::Key_F4) RunCommand(kCmdFileRecorder);
    if (key == Qt::Key_F11) showMode_->close();
    return;
  }
  if (recorder_ && recorder_->isVisible() && front == recorder_.data()) {
    if (key == Qt::Key_F4) {
      recorder_->close();
      return;
    }
    // The recorder may be in front of show mode: F11 ends it there too.
    if (key == Qt::Key_F11 && showMode_) {
      showMode_->close();
      return;
    }
  }
  // While "About" or "Edit Chase" locks this window its commands wait,
  // whichever window the key came from.
  if (!isEnabled()) return;
  if (front != this && front != sceneWindow_ && front != chaseWindow_ && front != recorder_.data()) return;
  switch (key) {
    case Qt::Key_F2:
      RunCommand(kCmdScenesButton);
      break;
    case Qt::Key_F3:
      RunCommand(kCmdChasesButton);
      break;
    case Qt::Key_F4:
      RunCommand(kCmdFileRecorder);
      break;
    case Qt::Key_F11:
      RunCommand(kCmdShowModeButton);
      break;
    default:
      break;
  }
}

void MainWindow::ToggleRecorder() {
  if (recorder_ && recorder_->isVisible()) {
    recorder_->close();
    return;
  }
  recorder_ = new RecorderWindow(engine_, this);
  // Every way of closing hides the window and ends it with `finished`
  // while it is still whole; its deletion follows later. (Its `destroyed`
  // comes from inside the destructor, too late to read it.)
  connect(recorder_, &QDialog::finished, this, [this] { UpdateMenuChecks(); });
  recorder_->show();
}

void MainWindow::Wake() {
  if (wakePending_.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        wakePending_ = false;
        if (!closed_) Tick();
      },
      Qt::QueuedConnection);
}

bool MainWindow::ExitWithoutAutosave(const std::vector<Failure>& errors) {
  QString text;
  for (const Failure& error : errors) text += QString::fromStdString(error.DialogText()) + QStringLiteral("\n\n");
  text += QStringLiteral(
      "The show since the last save is not stored. Keep the window open and save it elsewhere with "
      "File > Save, or exit without saving.");
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::NoButton, this);
  QPushButton* keep = box.addButton(QStringLiteral("Keep Open"), QMessageBox::RejectRole);
  QPushButton* exit = box.addButton(QStringLiteral("Exit Without Saving"), QMessageBox::DestructiveRole);
  box.setDefaultButton(keep);
  box.setEscapeButton(keep);
  box.exec();
  return box.clickedButton() == exit;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (closed_) {
    event->accept();
    return;
  }
  // Show mode stores its rectangle and an open "Edit Chase" puts back the
  // fade and strobe settings its previews changed, so the exit autosave
  // keeps the user's own.
  if (showMode_) showMode_->close();
  if (ChaseEditorDialog* editor = chases_->editor()) editor->close();
  if (saveBeforeClose) {
    const ProjectFileResult saved = saveBeforeClose();
    if (saved.status != ProjectFileStatus::kDone) {
      if (!ExitWithoutAutosave(saved.errors)) {
        event->ignore();
        return;
      }
    } else {
      ShowErrors(saved.errors);  // saved, but the backup could not be kept
    }
  }
  closed_ = true;
  refresh_.stop();
  engine_.RequestShutdown();
  sceneWindow_->hide();
  chaseWindow_->hide();
  help_->hide();
  event->accept();
  if (onClosed) onClosed();
}

}  // namespace quor
