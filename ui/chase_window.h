// The "Chases" window: the chase list, "Play" and "Stop" (push buttons that
// stay pressed and always show the chase player's real state, so a chase
// that ends by itself releases "Play"), and "Up", "Down", "Delete", "Edit"
// and "Add". "Add", "Edit" and a right click open the modeless "Edit Chase"
// dialog; a double click plays the chase.
// GUI thread only.
#pragma once

#include <QPointer>
#include <functional>
#include <optional>

#include "engine/edit_history.h"
#include "show/chase_list.h"
#include "ui/list_window.h"

class QGroupBox;
class QListWidget;
class QPushButton;

namespace quor {

class ChaseEditorDialog;
class Engine;
struct WindowState;

class ChaseWindow : public ListWindow {
 public:
  // The editor opens where `windows` says it was last.
  ChaseWindow(Engine& engine, WindowState& windows, QWidget* owner);
  ~ChaseWindow() override;

  // Rebuilds the list from the store and shows the player's state.
  void Refresh();

  QListWidget* list() const { return list_; }
  QPushButton* button(const QString& text) const;
  // The open "Edit Chase" dialog, or null.
  ChaseEditorDialog* editor() const { return editor_; }
  // The windows the editor disables while it is open (the main window and
  // the scene window; this window always).
  void SetEditorGuardedWindows(std::vector<QWidget*> windows) { guarded_ = std::move(windows); }

 protected:
  void LayoutControls(int menuBarHeight, int previewHeight) override;

 private:
  void Follow(const ChaseListResult& result);
  void OpenEditor(int chase);
  // Runs a command that may open the editor and records it as one undo
  // step `what`, ending when the editor closes.
  void FollowEdit(const char* what, const std::function<ChaseListResult()>& run);

  Engine& engine_;
  WindowState& windows_;
  QListWidget* list_;
  QGroupBox* control_;
  QPushButton* play_;
  QPushButton* stop_;
  QGroupBox* manage_;
  QPushButton* up_;
  QPushButton* down_;
  QPushButton* delete_;
  QPushButton* edit_;
  QPushButton* add_;
  QPointer<ChaseEditorDialog> editor_;
  std::vector<QWidget*> guarded_;
  std::optional<DocumentSnapshot> editStart_;  // the show before the editor opened
  const char* editWhat_ = "";
};

}  // namespace quor
