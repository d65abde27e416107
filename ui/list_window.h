// The frame of the "Scenes" and "Chases" windows: a tool window owned by the
// main window, 236 pixels wide and as high as the main window, created
// hidden. Closing only hides it. The controls inside belong to the derived
// windows, which place them in LayoutControls.
// GUI thread only.
#pragma once

#include <QMargins>
#include <QPoint>
#include <QWidget>
#include <functional>

namespace quor {

inline constexpr int kListWindowWidth = 236;
inline constexpr int kHelpSceneWindow = 16;
inline constexpr int kHelpChaseWindow = 19;

class ListWindow : public QWidget {
 public:
  ListWindow(const QString& title, int helpId, QWidget* owner);
  // Follows PreviewHeight: 236 x (previewHeight + 360).
  void SetPreviewHeight(int previewHeight);
  // Called after the window was shown or hidden.
  std::function<void(bool visible)> onVisibilityChanged;
  // Called when the window was moved by hand, not by PlaceAt.
  std::function<void()> onMovedByHand;
  // Moves the window's frame, taken to be `margins`, to `topLeft`
  // (docking) without counting as a move by hand.
  void PlaceAt(const QPoint& topLeft, const QMargins& margins);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  // Places the controls for the menu-bar height M and the preview height P.
  virtual void LayoutControls(int menuBarHeight, int previewHeight);

 private:
  QPoint placedAt_;  // the client area's position PlaceAt chose
  bool placing_ = false;
};

}  // namespace quor
