// The "Controls" window: every control instance in one table with its OSC
// address, its MIDI mapping and a light that shows when a surface moved it;
// MIDI learn and clear for the selected row, the mapping's details (button
// mode, range, inversion, soft takeover), and the OSC and MIDI inputs'
// settings above. Every change is used at once (the OSC input reopens, the
// MIDI input takes the new settings) and kept in the show's side file at
// once; a failure to keep them is said in the window.
// Non-modal; it polls the activity counts and the learn every 100 ms while
// it is visible. Nothing here waits on a port beyond opening it.
// GUI thread only.
#pragma once

#include <QDialog>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/controls.h"
#include "input/midi_mapping.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace quor {

class ControlActivity;
class Engine;
class MidiInput;

inline constexpr const char* kControlsTitle = "Controls";
inline constexpr int kHelpControls = 65;
// How long a row's light stays on after a surface moved its control.
inline constexpr std::chrono::milliseconds kActivityLightTime{300};
inline constexpr int kControlsPollMs = 100;

struct ControlsWindowServices {
  // The side file the settings are kept in; empty: they are not kept.
  std::function<std::string()> settingsPath;
  std::function<void(int topic)> openHelp;
};

class ControlsWindow : public QDialog {
 public:
  enum Column { kLightColumn, kNameColumn, kOscColumn, kMidiColumn, kColumnCount };

  ControlsWindow(Engine& engine, MidiInput& midi, const ControlActivity& activity, ControlsWindowServices services,
                 QWidget* owner);
  ~ControlsWindow() override;

  // Follows the inputs' settings and the show's scenes and chases (after a
  // project was opened, say).
  void Refresh();
  // One turn of the poll: activity lights, a learn that completed, rows for
  // scenes and chases added or removed.
  void Poll();

  // The row of `address`; -1 when the table has none.
  int RowOf(const ControlAddress& address) const;
  // What the window says about a failure (empty when all is well).
  QString message() const;

  QTableWidget* table() const { return table_; }
  QPushButton* learnButton() const { return learn_; }
  QPushButton* clearButton() const { return clear_; }
  QComboBox* buttonModeList() const { return buttonMode_; }
  QSpinBox* lowBox() const { return low_; }
  QSpinBox* highBox() const { return high_; }
  QCheckBox* invertedBox() const { return inverted_; }
  QCheckBox* softTakeoverBox() const { return softTakeover_; }
  QCheckBox* midiOnBox() const { return midiOn_; }
  QComboBox* inputPortList() const { return inputPort_; }
  QComboBox* outputPortList() const { return outputPort_; }
  QPushButton* rescanButton() const { return rescan_; }
  QCheckBox* oscOnBox() const { return oscOn_; }
  QLineEdit* listenEdit() const { return listen_; }
  QSpinBox* portBox() const { return port_; }
  QLineEdit* feedbackHostEdit() const { return feedbackHost_; }
  QSpinBox* feedbackPortBox() const { return feedbackPort_; }
  QPushButton* helpButton() const { return help_; }
  // Whether row `row`'s activity light is on.
  bool LightOn(int row) const;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct Row {
    ControlAddress address;
    uint64_t count = 0;
    std::chrono::steady_clock::time_point litUntil{};
    bool lit = false;
  };
  void BuildRows();
  void FillMidiColumn();
  void FillPorts();
  void FillSettings();
  void ShowSelected();
  std::optional<ControlAddress> Selected() const;
  // Changes the selected row's mapping through the MIDI input.
  void EditMapping(const std::function<void(MidiMapping&)>& edit);
  void ApplyMidi();
  void ApplyOsc();
  void ToggleLearn();
  // Writes the settings in use to the side file; a failure is said once.
  void Keep();
  void Say(const QString& text);

  Engine& engine_;
  MidiInput& midi_;
  const ControlActivity& activity_;
  ControlsWindowServices services_;
  std::vector<Row> rows_;
  std::vector<int> instanceCounts_;  // per control id when the rows were built
  uint64_t mappingsVersion_ = 0;
  std::optional<ControlAddress> learning_;
  bool filling_ = false;  // fields set by the window, not by the user
  QString problem_;
  QTimer poll_;

  QTableWidget* table_;
  QLabel* message_;
  QPushButton* learn_;
  QPushButton* clear_;
  QComboBox* buttonMode_;
  QSpinBox* low_;
  QSpinBox* high_;
  QCheckBox* inverted_;
  QCheckBox* softTakeover_;
  QCheckBox* midiOn_;
  QComboBox* inputPort_;
  QComboBox* outputPort_;
  QPushButton* rescan_;
  QCheckBox* oscOn_;
  QLineEdit* listen_;
  QSpinBox* port_;
  QLineEdit* feedbackHost_;
  QSpinBox* feedbackPort_;
  QPushButton* help_;
};

}  // namespace quor
