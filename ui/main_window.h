// The main window: three previews across the top, the mixer panel below,
// the menu bar with every command, the function keys, the scene and chase
// windows it owns and docks, show mode, the file dialogs and the output
// switch. It runs the engine's post-message work and refreshes the controls
// and previews on a 40 ms GUI timer; the clock thread never touches it.
// GUI thread only.
#pragma once

#include <QMainWindow>
#include <QMargins>
#include <QPointer>
#include <QTimer>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <atomic>

#include "core/change_feed.h"
#include "engine/project_file.h"
#include "engine/resume_state.h"
#include "ui/preview_renderer.h"
#include "ui/recent_files.h"
#include "ui/controls_window.h"
#include "ui/recorder_window.h"
#include "ui/show_mode_window.h"
#include "ui/window_state.h"

namespace quor {

class Engine;
class HelpViewer;
class ListWindow;
class MixerPanelWidget;
class ModalCommands;
class PreviewWidget;
class ShowModeWindow;
class SceneWindow;
class ChaseWindow;

inline constexpr const char* kMainWindowTitle = "Quor! - LED Matrix Control";
inline constexpr int kMainWindowWidth = 1046;

struct MainWindowOptions {
  QString helpFolder;     // empty: DefaultHelpFolder()
  int refreshMs = 40;     // post-message work, control and preview refresh
};

class MainWindow : public QMainWindow {
 public:
  MainWindow(Engine& engine, PreviewRenderer& previews, MainWindowOptions options = {});
  ~MainWindow() override;

  // Runs a menu or button command by id (command_ids.h).
  void RunCommand(int commandId);
  // One turn of the loop's work: the engine's post-message work, then the
  // controls, menu checks and previews follow the engine.
  void Tick();
  // Shows the help page of `contextId`; nothing when there is none.
  bool OpenHelp(int contextId);
  // Copies the engine's window layout (a loaded project's) into the
  // windows' state and the preview options, then applies the preview height.
  void FollowWindowLayout();
  // Applies PreviewHeight to the window, previews, panel and list windows.
  // A window still at its default size takes the new default size.
  void ApplyPreviewHeight();
  // Places the docked scene and chase windows beside the main window where
  // they fit on its screen, else on top of it.
  void PlaceDockedWindows();
  // The size the window opens at: 1046 wide and as high as the previews
  // and the panel. The window can be made larger (the previews grow with
  // it) or smaller (the content then scrolls).
  QSize defaultSize() const { return defaultSize_; }
  // Opens at the place and size `memoryPath` (windows.json) remembers, or
  // where it is at its default size, kept wholly on its screen; closing
  // writes the place and size back there. Empty: nothing is remembered.
  void PlaceOnScreen(const std::string& memoryPath);
  // The scene window, chase window and show mode as open now (a list window
  // show mode hides counts as open); once this window has closed, as they
  // were when it closed.
  std::optional<ResumeWindows> OpenWindows() const;

  ModalCommands& modal() { return *modal_; }
  MixerPanelWidget* panel() const { return panel_; }
  ListWindow* sceneWindow() const { return sceneWindow_; }
  ListWindow* chaseWindow() const { return chaseWindow_; }
  SceneWindow* scenes() const { return scenes_; }
  ChaseWindow* chases() const { return chases_; }
  // The file recorder window, or null; closed, it is deleted soon.
  RecorderWindow* recorderWindow() const { return recorder_; }
  // The "Controls" window once Setup > Controls opened it.
  ControlsWindow* controlsWindow() const { return controls_; }
  ShowModeWindow* showModeWindow() const { return showMode_; }
  HelpViewer* helpViewer() const { return help_; }
  PreviewWidget* preview(int index) const { return previews_[static_cast<size_t>(index)]; }
  QAction* action(int commandId) const;

  // Any thread: runs Tick soon on the GUI thread, so a scene recall
  // requested from the clock thread or a remote command from the input
  // thread does not wait for the next refresh. Wake-ups before that Tick runs make one Tick.
  void Wake();

  // --- the project file --------------------------------------------------
  // The file the show belongs to; empty while it has none (the title then
  // shows no name until the show is modified). The start-up sets it for a
  // project named on the command line.
  const QString& currentFile() const { return currentFile_; }
  void SetCurrentFile(const QString& path);
  // The recent files list's JSON file (in the config folder).
  void SetRecentFilesPath(const QString& jsonPath);
  const RecentFiles& recentFiles() const { return recent_; }
  // Opens `path` as File > Open does, first asking about unsaved changes.
  // True when it was loaded.
  bool OpenProjectFile(const QString& path);
  // Asks what to do with unsaved changes (Save, Discard, Cancel) before
  // they would be lost; true when the caller may go on.
  bool ConfirmDiscard();
  // Replace the file dialog and the unsaved-changes question (tests).
  // chooseFile gets the dialog title ("Open ...", "Save As ...") and returns
  // the path, empty for Cancel; askDiscard returns QMessageBox::Save,
  // Discard or Cancel.
  std::function<QString(const QString& title)> chooseFile;
  std::function<int(const QString& text)> askDiscard;

  // Called once when the window was closed or "&Exit" was chosen; the host
  // then ends the loop and runs the orderly shutdown.
  std::function<void()> onClosed;
  // Setup > Web Remote: the host runs the dialog (it holds the settings).
  std::function<void(QWidget* parent)> openWebRemote;
  // Called when the user closes the window: writes the exit autosave. When
  // it fails the window asks, with the failure, whether to stay open (to
  // save elsewhere) or to exit anyway. Empty: the window closes at once.
  std::function<ProjectFileResult()> saveBeforeClose;
  // Called with the path of a project file that File > Open loaded or
  // File > Save wrote: the show now belongs to that file.
  std::function<void(const std::string&)> projectFileChanged;
  // Called after File > Open loaded a project or File > New made one (after
  // projectFileChanged): the control surfaces follow the show's settings.
  std::function<void()> projectOpened;
  // The side file the control surfaces' settings are kept in.
  std::function<std::string()> controlSettingsPath;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildMenus();
  // Previews as large as the client area allows at their aspect ratio, in
  // a centred row; the panel centred below them at its own size.
  void LayoutContent();
  // Places the windows again once the window manager's frames are known.
  void FollowFrames();
  // Puts the frame at startPlace_'s position around a client area of its
  // size, wholly on the screen.
  void ApplyStartPlace();
  QAction* AddCommand(QMenu* menu, const char* text, int commandId, bool checkable = false);
  void ToggleListWindow(ListWindow* window);
  void ListWindowShownOrHidden(ListWindow* window, bool visible);
  void OpenShowMode();
  void CloseShowMode();
  void ToggleOutput();
  void OpenProject();
  void NewProject();
  // Save to the current file (Save As while it has none); true when saved.
  bool SaveProjectToCurrent();
  bool SaveProjectAs();
  bool SaveProjectTo(const QString& path);
  QString ChooseFile(const QString& title, bool save);
  ProjectLoadHooks LoadHooks();
  void UpdateTitle();
  void UpdateEditMenu();
  void FillRecentMenu();
  void ImportProjectFile();
  void ShowErrors(const std::vector<Failure>& errors);
  void UpdateMenuChecks();
  void HandleFunctionKey(int key);
  void ToggleRecorder();
  void OpenControls();
  // After File > Open or New: the hook, then the Controls window follows.
  void ProjectOpened();
  // The exit autosave failed: true when the user still wants to exit.
  bool ExitWithoutAutosave(const std::vector<Failure>& errors);

  Engine& engine_;
  PreviewRenderer& renderer_;
  WindowState windows_;
  QWidget* content_ = nullptr;  // the previews and the panel, in a scroll area
  QSize defaultSize_;
  std::string memoryPath_;
  bool placed_ = false;  // PlaceOnScreen ran: keep the window on its screen
  std::array<QMargins, 3> knownFrames_{};
  // Where PlaceOnScreen puts the window (frame position, client size)
  // until its frame is known.
  std::optional<QRect> startPlace_;  // of this window, the chase and the scene window
  std::unique_ptr<ModalCommands> modal_;
  HelpViewer* help_ = nullptr;
  MixerPanelWidget* panel_ = nullptr;
  std::array<PreviewWidget*, kPreviewCount> previews_{};
  ListWindow* sceneWindow_ = nullptr;
  ListWindow* chaseWindow_ = nullptr;
  SceneWindow* scenes_ = nullptr;
  ChaseWindow* chases_ = nullptr;
  QPointer<RecorderWindow> recorder_;
  QPointer<ControlsWindow> controls_;
  QPointer<ShowModeWindow> showMode_;
  QPointer<ShowModeWindow> closedShowMode_;  // closed, its deletion still pending
  bool sceneWasVisible_ = false;
  bool chaseWasVisible_ = false;
  bool restoringFromShowMode_ = false;
  bool dockScene_ = true;
  bool dockChase_ = true;
  bool closed_ = false;
  std::optional<ResumeWindows> windowsAtClose_;
  bool discardConfirmed_ = false;  // "&Exit" asked already
  bool inTick_ = false;
  std::atomic<bool> wakePending_{false};
  int appliedPreviewHeight_ = 0;
  std::map<int, QAction*> actions_;
  QMenu* recentMenu_ = nullptr;
  QString currentFile_;
  RecentFiles recent_;
  QTimer refresh_;
  QString shownLimit_;  // the power limit line the status bar shows
};

}  // namespace quor
