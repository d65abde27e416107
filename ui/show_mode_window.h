// The show mode window: the output preview at its top left, the "Control"
// group (scene fade, strobe, master level) and one large button per chase
// and per scene, laid out in rows around the preview. Its rectangle and the
// button size live in the windows' state (ui/window_state.h), which hands
// them to the engine to save in the project. GUI thread only.
#pragma once

#include <QPoint>
#include <QMainWindow>
#include <functional>
#include <string>
#include <vector>

#include "ui/engine_binding.h"

class QPushButton;
class QSlider;
class QCheckBox;

namespace quor {

class Engine;
class PreviewBuffer;
class PreviewWidget;
struct WindowState;

inline constexpr const char* kShowModeTitle = "Quor! - LED Matrix Control - ShowMode";

// Top-left corners of `count` buttons of buttonWidth x buttonHeight in a
// window `windowWidth` wide, skipping the area of the preview and the
// "Control" group (x up to 329, y up to previewHeight + 139).
std::vector<QPoint> ShowModeButtonPositions(int windowWidth, int buttonWidth, int buttonHeight, int previewHeight,
                                            int count);

class ShowModeWindow : public QMainWindow {
 public:
  struct Hooks {
    std::function<void()> closed;        // after the window stored its rectangle
    std::function<void()> fileRecorder;  // F4
  };

  ShowModeWindow(Engine& engine, WindowState& windows, PreviewBuffer& output, Hooks hooks);
  ~ShowModeWindow() override;

  // Controls, buttons and the button highlight follow the engine. A chase
  // or scene added, deleted or moved meanwhile rebuilds the buttons, so each
  // button still starts what it shows.
  void Refresh();
  // Puts the window's outer rectangle where the layout says (after show,
  // when the frame is known), made large enough to show every button where
  // the screen has room (first higher, then wider) and kept wholly on the
  // screen. A window system that tells the frame only later gets
  // `frameHint`, the frame of another window of the program.
  void RestoreRectangle(QMargins frameHint = {});
  // F11: full screen on and off; Escape also leaves it. The rectangle the
  // layout keeps stays the windowed one.
  void ToggleFullScreen();
  // The outer height that shows every button and the "Control" group when
  // the window is `frameWidth` wide in the frame `frame`.
  int HeightForButtons(int frameWidth, QMargins frame) const;
  // Places the buttons for the current window and button size.
  void LayoutButtons();
  // Changes the button size by (dw, dh), kept within 50..320 x 20..160.
  void ResizeButtons(int dw, int dh);

  PreviewWidget* preview() const { return preview_; }
  int buttonCount() const { return static_cast<int>(buttons_.size()); }
  QPushButton* button(int index) const { return buttons_[static_cast<size_t>(index)]; }
  // Index of the highlighted button, -1 for none.
  int highlighted() const { return highlighted_; }
  QSlider* fadeTimeSlider() const { return fadeTime_; }
  QSlider* masterSlider() const { return master_; }
  QPushButton* strobeButton() const { return strobe_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void BuildButtons();
  void RebuildButtons();
  void StoreRectangle();
  int previewHeight() const;
  void Highlight(int index);
  void ChaseClicked(int chase);
  void SceneClicked(int scene);
  int EngineHighlight() const;

  Engine& engine_;
  WindowState& windows_;
  Hooks hooks_;
  EngineBinding binding_;
  PreviewWidget* preview_ = nullptr;
  QSlider* fadeTime_ = nullptr;
  QCheckBox* fadeOut_ = nullptr;
  QSlider* strobeTime_ = nullptr;
  QPushButton* strobe_ = nullptr;
  QSlider* master_ = nullptr;
  std::vector<QPushButton*> buttons_;
  int chaseCount_ = 0;
  // The names the buttons were built from.
  std::vector<std::string> chaseNames_;
  std::vector<std::string> sceneNames_;
  int highlighted_ = -1;
  int lastEngineHighlight_ = -1;
  bool closing_ = false;
  bool restored_ = false;
};

}  // namespace quor
