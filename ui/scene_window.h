// The "Scenes" window: the scene list (a click recalls the scene with the
// scene fade), the "Control" group with the "Fadetime" slider and "Fade
// Out", and the "Manage Scenes" group with "Up", "Down", "Delete", the name
// box, "Replace" and "Add". Every control calls the scene list model; the
// window redraws from the store after each command and when the engine
// announces scene or fade changes.
// GUI thread only.
#pragma once

#include <memory>

#include "ui/list_window.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSlider;

namespace quor {

class Engine;
class EngineBinding;

class SceneWindow : public ListWindow {
 public:
  SceneWindow(Engine& engine, QWidget* owner);
  ~SceneWindow() override;

  // Rebuilds the list from the store and follows the fade settings.
  void Refresh();

  QListWidget* list() const { return list_; }
  QLineEdit* nameEdit() const { return name_; }
  QSlider* fadeTime() const { return fadeTime_; }
  QCheckBox* fadeOut() const { return fadeOut_; }
  QPushButton* button(const QString& text) const;

 protected:
  void LayoutControls(int menuBarHeight, int previewHeight) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void AddScene();
  void ReplaceScene();
  void DeleteScene();

  Engine& engine_;
  std::unique_ptr<EngineBinding> binding_;
  QListWidget* list_;
  QGroupBox* control_;
  QSlider* fadeTime_;
  QCheckBox* fadeOut_;
  QGroupBox* manage_;
  QPushButton* up_;
  QPushButton* down_;
  QPushButton* delete_;
  QLineEdit* name_;
  QPushButton* replace_;
  QPushButton* add_;
};

}  // namespace quor
