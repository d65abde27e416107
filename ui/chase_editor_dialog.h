// The modeless "Edit Chase" dialog on the chase editor model: the step list
// ("Step" and "Time" columns), the name and loop boxes, the step type, the
// duration box, the scene list, the "Scenefade", "Strobe" and "Crossfade"
// sliders with their live previews, the step buttons and "Close". While it
// is open the windows given at construction are disabled (WindowLock);
// closing puts back the saved fade and strobe settings and enables them
// again. The
// control rectangles are in dialog units of the dialog's font.
// GUI thread only.
#pragma once

#include <QDialog>
#include <QPoint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTreeWidget;

namespace quor {

class Engine;
class WindowLock;

inline constexpr int kHelpChaseEditor = 20;

class ChaseEditorDialog : public QDialog {
 public:
  // The chase editor model must already be open on `chase`. The dialog
  // opens at `position` and keeps it up to date; an empty one becomes the
  // position centred over the owner.
  ChaseEditorDialog(Engine& engine, int chase, std::optional<QPoint>& position, QWidget* owner,
                    std::vector<QWidget*> guarded);
  ~ChaseEditorDialog() override;

  // Called once after the dialog closed, with the edited chase.
  std::function<void(int chase)> onClosed;

  // Shows the model's steps and controls.
  void Refresh();

  QTreeWidget* steps() const { return steps_; }
  QLineEdit* nameEdit() const { return name_; }
  QCheckBox* loopBox() const { return loop_; }
  QComboBox* typeList() const { return type_; }
  QLineEdit* durationEdit() const { return duration_; }
  QComboBox* sceneList() const { return scene_; }
  QSlider* sceneFade() const { return sceneFade_; }
  QSlider* strobe() const { return strobe_; }
  QSlider* crossfade() const { return crossfade_; }
  QCheckBox* autofade() const { return autofade_; }
  QPushButton* button(const QString& text) const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void reject() override;

 private:
  void Build();
  void Place();
  void Run(const std::function<void()>& change);
  void Finish(bool destroying = false);

  Engine& engine_;
  std::optional<QPoint>& position_;
  std::unique_ptr<WindowLock> lock_;
  bool finished_ = false;
  bool placed_ = false;
  QTreeWidget* steps_ = nullptr;
  QLineEdit* name_ = nullptr;
  QCheckBox* loop_ = nullptr;
  QComboBox* type_ = nullptr;
  QLabel* durationLabel_ = nullptr;
  QLineEdit* duration_ = nullptr;
  QLabel* sceneLabel_ = nullptr;
  QComboBox* scene_ = nullptr;
  QLabel* sceneFadeLabel_ = nullptr;
  QSlider* sceneFade_ = nullptr;
  QLabel* strobeLabel_ = nullptr;
  QSlider* strobe_ = nullptr;
  QLabel* crossfadeLabel_ = nullptr;
  QSlider* crossfade_ = nullptr;
  QCheckBox* autofade_ = nullptr;
  std::vector<QPushButton*> buttons_;
};

}  // namespace quor
