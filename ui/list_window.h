// The frame of the "Scenes" and "Chases" windows: a tool window owned by the
// main window, 236 pixels wide and as high as the main window, created
// hidden. Closing only hides it. The lists inside are filled by their own
// windows' code.
// GUI thread only.
#pragma once

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

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
};

}  // namespace quor
