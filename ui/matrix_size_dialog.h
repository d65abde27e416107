// The "Matrix Size" dialog: width and height of the matrix, the pixel step
// and the preview options. A side typed within 4..320 shrinks the other side
// while typing so the matrix keeps within 16384 pixels; a side outside that
// range is refused by "OK" with a message before anything changes (a resize
// clears all four slots, so nothing is applied on a guess). "OK" applies
// the size through Engine::ResizeMatrix and the preview options to the
// windows' state, handing that to the engine. GUI thread only.
#pragma once

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace quor {

class Engine;
class HelpViewer;
struct WindowState;

class MatrixSizeDialog : public QDialog {
 public:
  MatrixSizeDialog(Engine& engine, WindowState& windows, QWidget* parent);

  QLineEdit* widthEdit() const { return width_; }
  QLineEdit* heightEdit() const { return height_; }
  QLabel* pixelCount() const { return count_; }
  // Error box; tests replace it to read the message.
  std::function<void(const QString& text)> showError;
  // Applies the choices (what "OK" does before closing).
  // False, with the message shown and nothing changed, when a side is out
  // of range.
  bool Apply();

 protected:
  void accept() override;

 private:
  // One box changed to a side within range: keeps the other within 16384
  // pixels.
  void Correct(QLineEdit* changed, QLineEdit* other);
  // The side in `edit`, or 0 after refusing it.
  int ReadSide(QLineEdit* edit, const char* name);

  Engine& engine_;
  WindowState& windows_;
  QLineEdit* width_;
  QLineEdit* height_;
  QLabel* count_;
  QComboBox* pixelStep_;
  QCheckBox* aspect_;
  QCheckBox* grid_;
};

}  // namespace quor
