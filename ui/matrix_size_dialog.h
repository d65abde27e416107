// The "Matrix Size" dialog: width and height of the matrix with live
// correction to at most 320 per side and 16384 pixels, the pixel step and
// the preview options. "OK" applies them through Engine::ResizeMatrix.
// GUI thread only.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace quor {

class Engine;
class HelpViewer;

class MatrixSizeDialog : public QDialog {
 public:
  MatrixSizeDialog(Engine& engine, QWidget* parent);

  QLineEdit* widthEdit() const { return width_; }
  QLineEdit* heightEdit() const { return height_; }
  QLabel* pixelCount() const { return count_; }
  // Writes the choices into the engine (what "OK" does before closing).
  void Apply();

 protected:
  void accept() override;

 private:
  // One box changed: keeps it at 320 and the other within 16384 pixels.
  void Correct(QLineEdit* changed, QLineEdit* other);

  Engine& engine_;
  QLineEdit* width_;
  QLineEdit* height_;
  QLabel* count_;
  QComboBox* pixelStep_;
  QCheckBox* aspect_;
  QCheckBox* grid_;
};

}  // namespace quor
