// Runs the modal commands of the main window and the slots' "Edit" buttons
// the one way they all run: the running chase is asked to stop, the scene
// and chase windows are disabled, the dialog runs, the windows are enabled
// again. Dialogs register here by command id or generator type; an entry
// without a dialog yet says so in a box instead of doing nothing silently.
// GUI thread only.
#pragma once

#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <vector>

class QWidget;

namespace quor {

class Engine;

class ModalCommands {
 public:
  // Opens a dialog modally over `parent` and returns when it is closed.
  using Dialog = std::function<void(QWidget* parent)>;
  // The settings dialog of one slot's generator.
  using SlotDialog = std::function<void(QWidget* parent, int slot)>;

  ModalCommands(Engine& engine, QWidget* parent) : engine_(engine), parent_(parent) {}

  // The windows that are disabled while a modal command runs.
  void SetGuardedWindows(std::vector<QWidget*> windows);

  void Register(int commandId, Dialog dialog) { dialogs_[commandId] = std::move(dialog); }
  void RegisterGeneratorDialog(int typeId, SlotDialog dialog) { slotDialogs_[typeId] = std::move(dialog); }
  bool HasDialog(int commandId) const { return dialogs_.count(commandId) != 0; }

  // Runs `body` inside the chase stop and window guard.
  void Run(const std::function<void()>& body);
  // Runs the dialog registered for `commandId`; `name` is what the box
  // says when none is registered yet.
  void RunCommand(int commandId, const QString& name);
  // The "Edit" button of `slot`: the bound type's settings dialog. None /
  // Blackout has no dialog and opens nothing.
  void EditSlot(int slot);

  // Shown for a command whose dialog is not part of this build.
  static void ShowNotAvailable(QWidget* parent, const QString& name);

 private:
  Engine& engine_;
  QWidget* parent_;
  std::vector<QPointer<QWidget>> guarded_;
  std::map<int, Dialog> dialogs_;
  std::map<int, SlotDialog> slotDialogs_;
};

}  // namespace quor
