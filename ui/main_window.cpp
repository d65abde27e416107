#include "ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QStatusBar>
#include <QFileInfo>
#include <QMimeData>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <cstdio>

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
#include "ui/matrix_output_dialog.h"
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
#include "ui/window_memory.h"
#include "ui/window_placement.h"

namespace quor {
namespace {

constexpr const char* kProjectFilter = "Quor (*.qrx);;All Files (*.*)";
constexpr const char* kUnsavedChangesTitle = "Unsaved Changes";

// The one local project file a drag carries, or empty.
QString DroppedProject(const QMimeData* mime) {
  if (mime == nullptr || !mime->hasUrls() || mime->urls().size() != 1) return {};
  const QUrl url = mime->urls().front();
  if (!url.isLocalFile()) return {};
  const QString path = url.toLocalFile();
  return path.endsWith(QStringLiteral(".qrx"), Qt::CaseInsensitive) ? path : QString();
}

constexpr int kPreviewTop = 10;
constexpr int kPreviewRowLeft = 10;  // the row's left margin at the default width
constexpr int kPreviewGap = 30;   // between two previews
constexpr int kPreviewRowMargins = kMainWindowWidth - kPreviewCount * kPreviewWidth - (kPreviewCount - 1) * kPreviewGap;
constexpr QSize kMainWindowMinimum(400, 300);

}  // namespace

MainWindow::MainWindow(Engine& engine, PreviewRenderer& previews, MainWindowOptions options)
    : QMainWindow(nullptr), engine_(engine), renderer_(previews) {
  setWindowTitle(QString::fromLatin1(kMainWindowTitle));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
  setMinimumSize(kMainWindowMinimum);
  setProperty("quorHelpId", kHelpMainWindow);
  modal_ = std::make_unique<ModalCommands>(engine_, this);
  help_ = new HelpViewer(options.helpFolder.isEmpty() ? DefaultHelpFolder() : options.helpFolder, this);

  // A window smaller than the panel (a small screen) scrolls its content;
  // at the default size and above no scroll bar shows.
  auto* scroller = new QScrollArea(this);
  scroller->setFrameShape(QFrame::NoFrame);
  scroller->setWidgetResizable(true);
  auto* client = content_ = new QWidget(scroller);
  scroller->setWidget(client);
  setCentralWidget(scroller);  // its resizes reach eventFilter (installed on the application)
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
  RegisterOutputDialogs(*modal_, engine_,
                        [this] { return controlSettingsPath ? controlSettingsPath() : std::string(); });
  RegisterMatrixOutputDialog(*modal_, engine_);

  BuildMenus();
  // Undo and Redo answer their keys in the scene and chase windows too.
  for (QWidget* w : {static_cast<QWidget*>(sceneWindow_), static_cast<QWidget*>(chaseWindow_)}) {
    w->addAction(action(kCmdUndo));
    w->addAction(action(kCmdRedo));
  }
  setAcceptDrops(true);
  UpdateTitle();
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
  QAction* action = menu->addAction(QString::fromUtf8(text));
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
  // These keys act at once (not on release like the function keys).
  auto key = [](QAction* action, QKeySequence sequence) {
    action->setShortcut(sequence);
    action->setShortcutContext(Qt::WindowShortcut);
  };
  key(AddCommand(file, "&New", kCmdNew), QKeySequence(Qt::CTRL | Qt::Key_N));
  key(AddCommand(file, "&Open", kCmdOpen), QKeySequence(Qt::CTRL | Qt::Key_O));
  key(AddCommand(file, "&Save", kCmdSave), QKeySequence(Qt::CTRL | Qt::Key_S));
  key(AddCommand(file, "Save &As", kCmdSaveAs), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  file->addSeparator();
  AddCommand(file, "&Import", kCmdImport);
  file->addSeparator();
  recentMenu_ = file->addMenu(QStringLiteral("Recent &Files"));
  connect(recentMenu_, &QMenu::aboutToShow, this, [this] { FillRecentMenu(); });
  FillRecentMenu();
  file->addSeparator();
  key(AddCommand(file, "&Exit", kCmdExit), QKeySequence(Qt::CTRL | Qt::Key_Q));
  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  key(AddCommand(edit, "&Undo", kCmdUndo), QKeySequence(Qt::CTRL | Qt::Key_Z));
  key(AddCommand(edit, "&Redo", kCmdRedo), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
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
  AddCommand(setup, "&New Matrix Output...", kCmdNewMatrixOutput);
  setup->addSeparator();
  AddCommand(setup, "&Remote Control", kCmdRemoteControl, true);
  AddCommand(setup, "&Controls", kCmdControls);
  AddCommand(setup, "&Web Remote\u2026", kCmdWebRemote);
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
      // Changes to an untitled show are kept by the exit autosave.
      if (currentFile_.isEmpty() || ConfirmDiscard()) {
        discardConfirmed_ = true;
        close();
        discardConfirmed_ = false;
      }
      break;
    case kCmdNew:
      NewProject();
      break;
    case kCmdOpen:
      OpenProject();
      break;
    case kCmdSave:
      SaveProjectToCurrent();
      break;
    case kCmdSaveAs:
      SaveProjectAs();
      break;
    case kCmdUndo:
      engine_.Undo();
      break;
    case kCmdRedo:
      engine_.Redo();
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
    case kCmdNewMatrixOutput:
      modal_->RunCommand(kCmdNewMatrixOutput, QString::fromLatin1(kMatrixOutputTitle));
      break;
    case kCmdRemoteControl:
      modal_->RunCommand(kCmdRemoteControl, QStringLiteral("Remote Control"));
      break;
    case kCmdControls:
      OpenControls();
      break;
    case kCmdWebRemote:
      if (openWebRemote) openWebRemote(this);
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
  // Which outputs their power budget holds back; the status bar appears
  // the first time one is.
  if (const QString limit = QString::fromStdString(engine_.outputs().limitStatus()); limit != shownLimit_) {
    shownLimit_ = limit;
    statusBar()->showMessage(limit);
  }
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
  FollowFrames();
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
  for (int id : {kCmdOutputPatch, kCmdOutputDevices, kCmdNewMatrixOutput, kCmdMatrixSize}) {
    if (QAction* a = action(id)) a->setEnabled(!running);
  }
  UpdateTitle();
  UpdateEditMenu();
}

void MainWindow::UpdateTitle() {
  const bool modified = engine_.DocumentModified();
  QString name = currentFile_.isEmpty() ? QString() : QFileInfo(currentFile_).fileName();
  if (name.isEmpty() && modified) name = QStringLiteral("Untitled");
  const QString title = name.isEmpty() ? QString::fromLatin1(kMainWindowTitle)
                                       : name + (modified ? QStringLiteral("*") : QString()) + QStringLiteral(" - ") +
                                             QString::fromLatin1(kMainWindowTitle);
  if (windowTitle() != title) setWindowTitle(title);
}

void MainWindow::UpdateEditMenu() {
  const EditHistory& history = engine_.history();
  // Nothing may change the show under "Edit Chase".
  const bool editorOpen = engine_.show().editor().IsOpen();
  auto update = [this, editorOpen](int id, const char* verb, bool can, const std::string& what) {
    QAction* a = action(id);
    if (a == nullptr) return;
    const QString text = can ? QString::fromLatin1(verb) + QLatin1Char(' ') + QString::fromStdString(what)
                             : QString::fromLatin1(verb);
    if (a->text() != text) a->setText(text);
    if (a->isEnabled() != (can && !editorOpen)) a->setEnabled(can && !editorOpen);
  };
  update(kCmdUndo, "&Undo", history.CanUndo(), history.UndoText());
  update(kCmdRedo, "&Redo", history.CanRedo(), history.RedoText());
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
  panel_->Refresh();
  sceneWindow_->SetPreviewHeight(p);
  chaseWindow_->SetPreviewHeight(p);
  const QSize content(kMainWindowWidth, p + kPanelHeight + 10);
  content_->setMinimumSize(content);
  // The window opens as high as the previews plus 360 with its menu bar.
  const QSize newDefault(kMainWindowWidth, std::max(p + 360, content.height() + menuBar()->sizeHint().height()));
  if (defaultSize_.isEmpty() || size() == defaultSize_) resize(newDefault);
  defaultSize_ = newDefault;
  LayoutContent();
  if (placed_) KeepOnScreen(this);
  PlaceDockedWindows();
}

void MainWindow::LayoutContent() {
  const int p = appliedPreviewHeight_;
  if (p <= 0) return;
  const QSize area = content_->size();
  // The previews scale alike, as far as both the width and the height
  // beside the panel allow; never below their own size.
  const int gaps = kPreviewRowMargins + (kPreviewCount - 1) * kPreviewGap;
  const double scale = std::max(1.0, std::min(static_cast<double>(area.width() - gaps) / (kPreviewCount * kPreviewWidth),
                                              static_cast<double>(area.height() - kPanelHeight - 10) / p));
  const QSize preview(static_cast<int>(kPreviewWidth * scale), static_cast<int>(p * scale));
  const int row = kPreviewCount * preview.width() + gaps;
  const int left = std::max(0, (area.width() - row) / 2) + kPreviewRowLeft;
  for (int i = 0; i < kPreviewCount; ++i) {
    PreviewWidget* widget = previews_[static_cast<size_t>(i)];
    widget->SetDisplaySize(preview);
    widget->move(left + i * (preview.width() + kPreviewGap), kPreviewTop);
  }
  panel_->move(std::max(0, (area.width() - kMainWindowWidth) / 2), preview.height());
}

void MainWindow::PlaceOnScreen(const std::string& memoryPath) {
  memoryPath_ = memoryPath;
  placed_ = true;
  std::optional<QRect> remembered;
  if (!memoryPath_.empty()) remembered = LoadWindowMemory(memoryPath_);
  startPlace_ = remembered.value_or(QRect(frameGeometry().topLeft(), size()));
  ApplyStartPlace();
}

void MainWindow::ApplyStartPlace() {
  if (!startPlace_) return;
  const QMargins margins = FrameMargins(this);
  const QRect frame(startPlace_->topLeft(), startPlace_->size().expandedTo(minimumSize()).grownBy(margins));
  SetFrameGeometry(this, FitInside(frame, AvailableArea(this)), margins);
  // Once the frame is known the place is final; until then it is made
  // again when the window manager tells the frame.
  if (!margins.isNull()) startPlace_.reset();
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
  if (sceneWindow_ == nullptr || chaseWindow_ == nullptr) return;  // a resize while the window is being built
  // The chase window docks first, the scene window beside it; a docked
  // window that is hidden takes no room. Frames not yet known (a window
  // about to be shown) are taken to be like the main window's.
  const QMargins mainFrame = FrameMargins(this);
  std::vector<ListWindow*> docked;
  if (dockChase_ && chaseWindow_->isVisible()) docked.push_back(chaseWindow_);
  if (dockScene_) docked.push_back(sceneWindow_);
  std::vector<QSize> frames;
  std::vector<QMargins> margins;
  for (ListWindow* window : docked) {
    margins.push_back(FrameMargins(window, mainFrame));
    frames.push_back(window->size().grownBy(margins.back()));
  }
  const std::vector<QRect> placed = DockedFrames(OuterFrame(this, mainFrame), frames, AvailableArea(this));
  for (size_t i = 0; i < docked.size(); ++i) docked[i]->PlaceAt(placed[i].topLeft(), margins[i]);
}

void MainWindow::FollowFrames() {
  // A window manager tells the frames it puts around the windows only
  // after they are shown: placements made before are made again.
  const std::array<QMargins, 3> frames = {FrameMargins(this), FrameMargins(chaseWindow_), FrameMargins(sceneWindow_)};
  if (frames == knownFrames_) return;
  knownFrames_ = frames;
  if (startPlace_) {
    ApplyStartPlace();
    return;
  }
  if (placed_) KeepOnScreen(this);
  PlaceDockedWindows();
}

std::optional<ResumeWindows> MainWindow::OpenWindows() const {
  if (closed_) return windowsAtClose_;
  const bool showMode = !showMode_.isNull();
  return ResumeWindows{.scenes = showMode ? sceneWasVisible_ : sceneWindow_->isVisible(),
                       .chases = showMode ? chaseWasVisible_ : chaseWindow_->isVisible(),
                       .showMode = showMode};
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  PlaceDockedWindows();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
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
  window->RestoreRectangle(FrameMargins(this));
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

ProjectLoadHooks MainWindow::LoadHooks() {
  ProjectLoadHooks hooks;
  if (const QScreen* desktop = screen()) {
    hooks.desktop = ScreenEdges{desktop->geometry().right() + 1, desktop->geometry().bottom() + 1};
  }
  return hooks;
}

QString MainWindow::ChooseFile(const QString& title, bool save) {
  if (chooseFile) return chooseFile(title);
  if (!save) return QFileDialog::getOpenFileName(this, title, QString(), QString::fromLatin1(kProjectFilter));
  QFileDialog dialog(this, title, QString(), QString::fromLatin1(kProjectFilter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("qrx"));
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front();
}

void MainWindow::SetCurrentFile(const QString& path) {
  const QString previous = currentFile_;
  currentFile_ = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
  if (!currentFile_.isEmpty()) recent_.Add(currentFile_);
  FillRecentMenu();
  UpdateTitle();
  if (currentFile_ != previous && projectFileChanged) projectFileChanged(currentFile_.toStdString());
}

void MainWindow::SetRecentFilesPath(const QString& jsonPath) {
  recent_.SetPath(jsonPath);
  FillRecentMenu();
}

bool MainWindow::ConfirmDiscard() {
  if (!engine_.DocumentModified()) return true;
  const QString name = currentFile_.isEmpty() ? QStringLiteral("the untitled show") : QFileInfo(currentFile_).fileName();
  const QString text = QStringLiteral("The changes to %1 are not saved.\nSave them first?").arg(name);
  int answer = QMessageBox::Cancel;
  if (askDiscard) {
    answer = askDiscard(text);
  } else {
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kUnsavedChangesTitle), text, QMessageBox::NoButton,
                    this);
    QPushButton* save = box.addButton(QStringLiteral("&Save"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QStringLiteral("&Discard"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    answer = box.clickedButton() == save ? QMessageBox::Save
             : box.clickedButton() == discard ? QMessageBox::Discard
                                              : QMessageBox::Cancel;
  }
  if (answer == QMessageBox::Discard) return true;
  if (answer == QMessageBox::Save) return SaveProjectToCurrent();
  return false;
}

void MainWindow::OpenProject() {
  if (!ConfirmDiscard()) return;
  const QString path = ChooseFile(QStringLiteral("Open ..."), false);
  if (path.isEmpty()) return;
  const ProjectFileResult loaded = LoadProject(engine_, path.toStdString(), LoadHooks());
  ShowErrors(LoadErrors(loaded, path.toStdString()));
  if (loaded.status == ProjectFileStatus::kDone) {
    SetCurrentFile(path);
    ProjectOpened();
  }
  panel_->Refresh();
}

bool MainWindow::OpenProjectFile(const QString& path) {
  if (!ConfirmDiscard()) return false;
  const ProjectFileResult loaded = LoadProject(engine_, path.toStdString(), LoadHooks());
  ShowErrors(LoadErrors(loaded, path.toStdString()));
  panel_->Refresh();
  if (loaded.status == ProjectFileStatus::kNoFile) {
    recent_.Remove(path);  // gone or unreadable
    FillRecentMenu();
  }
  if (loaded.status != ProjectFileStatus::kDone) return false;
  SetCurrentFile(path);
  ProjectOpened();
  return true;
}

void MainWindow::NewProject() {
  if (!ConfirmDiscard()) return;
  // An empty show at the default size; what belongs to this desk rather
  // than to a show (the windows, the remote input, the sound input's gain
  // control) stays as it is.
  ProjectData project;
  project.windows = engine_.windowLayout();
  project.remoteInput = engine_.remoteInputSettings();
  project.remoteControlEnabled = engine_.settings().remoteControlEnabled.load();
  project.audioAgcEnabled = engine_.audio().agcEnabled.load();
  engine_.outputs().fastPatch() = FastPatchSettings{};
  ShowErrors(ApplyProject(engine_, std::move(project), LoadHooks()).errors);
  SetCurrentFile(QString());
  ProjectOpened();
  panel_->Refresh();
}

bool MainWindow::SaveProjectTo(const QString& path) {
  const ProjectFileResult saved = SaveProject(engine_, path.toStdString());
  ShowErrors(saved.errors);
  if (saved.status != ProjectFileStatus::kDone) return false;
  engine_.MarkDocumentSaved();
  SetCurrentFile(path);
  return true;
}

bool MainWindow::SaveProjectToCurrent() {
  if (currentFile_.isEmpty()) return SaveProjectAs();
  return SaveProjectTo(currentFile_);
}

bool MainWindow::SaveProjectAs() {
  const QString path = ChooseFile(QStringLiteral("Save As ..."), true);
  return !path.isEmpty() && SaveProjectTo(path);
}

void MainWindow::ImportProjectFile() {
  const QString path = ChooseFile(QStringLiteral("Import ..."), false);
  if (path.isEmpty()) return;
  ProjectFileResult imported;
  engine_.EditDocument("Import", [&] { imported = ImportProject(engine_, path.toStdString()); });
  ShowErrors(LoadErrors(imported, path.toStdString()));
}

void MainWindow::FillRecentMenu() {
  recentMenu_->clear();
  const QStringList& files = recent_.files();
  for (int i = 0; i < files.size(); ++i) {
    const QString path = files[i];
    QAction* entry = recentMenu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(path));
    connect(entry, &QAction::triggered, this, [this, path] { OpenProjectFile(path); });
  }
  recentMenu_->setEnabled(!files.isEmpty());
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedProject(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QString path = DroppedProject(event->mimeData());
  if (path.isEmpty()) return;
  event->acceptProposedAction();
  // The question and the load run after the drop has ended, not inside
  // the drag's own event handling.
  QTimer::singleShot(0, this, [this, path] {
    if (!closed_ && isEnabled()) OpenProjectFile(path);
  });
}

// --- keys and closing ---------------------------------------------------------------

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == content_ && event->type() == QEvent::Resize) LayoutContent();
  if (event->type() == QEvent::KeyPress) {
    // T taps the tempo as soon as it goes down, wherever the focus is in
    // this window (not in the other windows and dialogs, where it types).
    auto* press = static_cast<QKeyEvent*>(event);
    if (press->key() == Qt::Key_T && !press->isAutoRepeat() && press->modifiers() == Qt::NoModifier &&
        QApplication::activeWindow() == this && isEnabled()) {
      engine_.SetControl({ControlId::kTempoTap}, 1);
      return true;
    }
  }
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
    if (key == Qt::Key_F11) showMode_->ToggleFullScreen();  // its close box ends show mode
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

void MainWindow::ProjectOpened() {
  if (projectOpened) projectOpened();
  if (controls_) controls_->Refresh();
}

void MainWindow::OpenControls() {
  if (!controls_) {
    ControlsWindowServices services;
    services.settingsPath = [this] { return controlSettingsPath ? controlSettingsPath() : std::string(); };
    services.openHelp = [this](int topic) { OpenHelp(topic); };
    controls_ = new ControlsWindow(engine_, engine_.midi(), engine_.controlActivity(), std::move(services), this);
  }
  controls_->show();
  controls_->raise();
  controls_->activateWindow();
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
  // The window's close box asks about unsaved changes to a named project
  // (the autosave keeps an untitled show); a close the program makes
  // itself (a signal, the --seconds limit, a remote shutdown) does not ask.
  if (event->spontaneous() && !discardConfirmed_ && !currentFile_.isEmpty() && !ConfirmDiscard()) {
    event->ignore();
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
  // What the exit keeps for the next start: the windows as they are now,
  // not as a keep up to a second ago saw them.
  windowsAtClose_ = OpenWindows();
  closed_ = true;
  refresh_.stop();
  if (placed_ && !memoryPath_.empty()) {
    // The normal place and size, also when the window is maximized.
    const QPoint frameOffset = geometry().topLeft() - frameGeometry().topLeft();
    const QRect normal = isMaximized() ? normalGeometry() : geometry();
    if (std::optional<Failure> failed = SaveWindowMemory(memoryPath_, QRect(normal.topLeft() - frameOffset, normal.size()))) {
      // Only the window's place is lost, not the show: standard error is enough.
      std::fprintf(stderr, "quor: cannot remember the window size: %s\n", failed->DialogText().c_str());
    }
  }
  engine_.RequestShutdown();
  sceneWindow_->hide();
  chaseWindow_->hide();
  help_->hide();
  event->accept();
  if (onClosed) onClosed();
}

}  // namespace quor
