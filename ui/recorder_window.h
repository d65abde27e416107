// The "Quor! File Recorder" window: "Record" asks for a file with the save
// dialog "Record into File ..." and starts recording the output frames,
// "Stop" ends the recording, and the "File" field shows what is being
// recorded. Both buttons stay pressed and follow the recorder's real state.
// Closing the window (close box, Escape, F4 or the menu entry) destroys it
// without stopping a running recording.
// GUI thread only.
#pragma once

#include <QDialog>
#include <functional>

class QLineEdit;
class QPushButton;

namespace quor {

class Engine;

inline constexpr const char* kRecorderTitle = "Quor! File Recorder";
inline constexpr const char* kRecordingFilter = "Quor Recordings (*.qrr)";
inline constexpr int kHelpRecorder = 23;

class RecorderWindow : public QDialog {
 public:
  RecorderWindow(Engine& engine, QWidget* owner);

  // Asks for the file to record into; empty when cancelled. Tests replace
  // it; by default the save dialog "Record into File ...".
  std::function<QString(QWidget* parent)> chooseFile;

  // Follows the recorder's state.
  void Refresh();

  QPushButton* recordButton() const { return record_; }
  QPushButton* stopButton() const { return stop_; }
  QLineEdit* fileField() const { return file_; }

 protected:
  void keyReleaseEvent(QKeyEvent* event) override;

 private:
  void Record();

  Engine& engine_;
  QPushButton* record_;
  QPushButton* stop_;
  QLineEdit* file_;
};

// The save dialog of "Record": .qrr added when no extension is typed, an
// overwrite prompt.
QString AskRecordingFile(QWidget* parent);

}  // namespace quor
