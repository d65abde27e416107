// One dialog class for the settings of every generator: it builds its
// controls from the generator's table (generators/settings_dialog.h), writes
// every change into the live generator at once through
// Engine::EditGenerator and re-reads all controls afterwards, so couplings
// (the auto colour boxes, "Start" moving "End", bands snapping back) show as
// the generator has them. It holds no pointer into the generator: each
// edit finds the slot's generator again, and when a rebinding pass gives the
// slot another type the dialog closes.
// GUI thread only.
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "generators/settings_dialog.h"
#include "ui/dialog_units.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace quor {

class Engine;
class ModalCommands;

// What the dialogs ask of the window around them; tests replace the parts
// that would otherwise wait for a person.
struct SettingsDialogServices {
  std::function<void(int topic)> openHelp;
  // An open-file chooser; an empty result means cancelled.
  std::function<QString(QWidget* parent, const QString& title, const QString& filter)> chooseFile;
  // A folder browser; an empty result means cancelled.
  std::function<QString(QWidget* parent, const QString& title)> chooseFolder;
  std::function<void(QWidget* parent, const QString& text)> showError;
  // Runs a dialog modally (the trigger setup); QDialog::exec when empty.
  std::function<void(QDialog& dialog)> runModal;
};
SettingsDialogServices DefaultSettingsDialogServices(std::function<void(int topic)> openHelp);

class GeneratorSettingsDialog : public QDialog {
 public:
  GeneratorSettingsDialog(Engine& engine, int slot, const SettingsDialogTable& dialogTable, SettingsDialogPosition& position,
                          SettingsDialogServices services, QWidget* parent);
  ~GeneratorSettingsDialog() override;

  int slot() const { return slot_; }
  const SettingsDialogTable& dialogTable() const { return table_; }
  // Re-reads every control from the live generator.
  void Refresh();

  // The widgets of a control, for tests and screenshots: `part` picks the
  // trackbar (0) of a slider, the list (0) of a drop-down, the "Red",
  // "Green", "Blue" trackbars and " Autocolor", " Autocolor Sync" boxes
  // (0..4) and its frame (5) of a colour group, the name (0) or "Load" (1)
  // of a file chooser.
  QWidget* Widget(int controlId, int part = 0) const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  struct View;
  void Build();
  void BuildControl(View& view);
  // Runs `edit` on the slot's generator, then refreshes; false (and the
  // dialog closes) when the slot no longer runs this dialog's type.
  bool Edit(const std::function<void(Generator&)>& edit);
  bool StillBound();
  void OpenTriggerSetup(const DialogControl& control);
  void LoadFile(const DialogControl& control);

  Engine& engine_;
  const int slot_;
  const SettingsDialogTable& table_;
  SettingsDialogPosition& position_;
  SettingsDialogServices services_;
  DialogUnits units_;
  std::vector<std::unique_ptr<View>> views_;
  QTimer watch_;
  bool placed_ = false;
  bool closing_ = false;
};

// Registers every built-in generator's dialog with the "Edit" buttons'
// modal helper. The dialogs share one remembered position, kept by the
// registered entries.
void RegisterGeneratorSettingsDialogs(ModalCommands& modal, Engine& engine, SettingsDialogServices services);

}  // namespace quor
