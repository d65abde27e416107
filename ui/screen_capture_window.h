// The settings window of Screen Capture: a resizable frame titled "Screen
// Capture" with one button "Close", placed by the user over the part of the
// desktop to capture. It opens on the generator's capture rectangle and
// stores its screen rectangle, frame included, as the capture rectangle on
// every move and size change, through Engine::EditGenerator. While an edge
// is dragged the frame keeps the matrix's aspect ratio. It holds no pointer
// into the generator and closes when the slot is given another type.
// GUI thread only.
#pragma once

#include <QDialog>
#include <QMargins>
#include <QTimer>
#include <functional>
#include <optional>

#include "generators/screen_capture.h"

class QPushButton;

namespace quor {

class Engine;
class ModalCommands;

class ScreenCaptureWindow : public QDialog {
 public:
  ScreenCaptureWindow(Engine& engine, int slot, std::function<void(int topic)> openHelp, QWidget* parent);

  QPushButton* closeButton() const { return close_; }
  // The window's screen rectangle, frame included.
  CaptureRectangle FrameRectangle() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // Reacts to a new window geometry: keeps the aspect when an edge was
  // dragged and stores the rectangle.
  void GeometryChanged();
  // Gives the window the frame rectangle `frame`.
  void Place(const CaptureRectangle& frame);
  QMargins FrameMargins() const;
  bool StillBound();
  std::optional<CaptureRectangle> ReadRectangle();
  void Store(const CaptureRectangle& rectangle);
  void Watch();

  Engine& engine_;
  const int slot_;
  std::function<void(int)> openHelp_;
  QPushButton* close_ = nullptr;
  QTimer watch_;
  CaptureRectangle known_;   // the frame rectangle seen last
  CaptureRectangle stored_;  // what the generator holds as far as this window knows
  std::optional<CaptureRectangle> placing_;  // asked of the window system, not yet seen
  QMargins margins_;
  bool shown_ = false;
  bool closing_ = false;
};

// Registers the window as the "Edit" dialog of Screen Capture slots.
void RegisterScreenCaptureWindow(ModalCommands& modal, Engine& engine, std::function<void(int topic)> openHelp);

}  // namespace quor
