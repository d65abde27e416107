// The mixer panel below the previews: four slot groups (effect, "Edit",
// speed, invert), the two channel "Mix" groups and the "Main Mix" group
// (merge mode, glide buttons, crossfader), the "Scenes", "Chases" and
// "Show Mode" buttons and the "Master" group. Every control sits at its
// fixed rectangle; the panel's origin is the top of the preview area's
// bottom edge (y = PreviewHeight in the main window's client area).
// GUI thread only; every engine value goes through the panel's binding.
#pragma once

#include <QLabel>
#include <QWidget>
#include <array>
#include <functional>

#include "core/generator.h"
#include "ui/engine_binding.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QPushButton;
class QSlider;

namespace quor {

class Engine;
class ModalCommands;

// A label that reports double clicks.
class DoubleClickLabel : public QLabel {
 public:
  DoubleClickLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}
  std::function<void()> onDoubleClick;

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
};

inline constexpr int kPanelHeight = 310;

// The gamma label text for a gamma slider position.
QString GammaLabelText(int gammaSetting);

class MixerPanelWidget : public QWidget {
 public:
  struct Commands {
    std::function<void()> scenes;
    std::function<void()> chases;
    std::function<void()> showMode;
  };

  MixerPanelWidget(Engine& engine, ModalCommands& modal, Commands commands, QWidget* parent);

  // Brings every control in line with the engine.
  void Refresh() { binding_.Refresh(); }

  // The slot's "Edit" button rectangle in the panel (for hit tests).
  QPushButton* editButton(int slot) const { return edit_[static_cast<size_t>(slot)]; }
  QComboBox* effectList(int slot) const { return effect_[static_cast<size_t>(slot)]; }
  QSlider* speedSlider(int slot) const { return speed_[static_cast<size_t>(slot)]; }
  QCheckBox* invertBox(int slot) const { return invert_[static_cast<size_t>(slot)]; }
  QComboBox* mergeList(int mix) const { return merge_[static_cast<size_t>(mix)]; }
  QSlider* masterFade(int mix) const { return fade_[static_cast<size_t>(mix)]; }
  // Glide buttons "<", "|", ">" of a mix.
  QPushButton* glideButton(int mix, int which) const { return glide_[static_cast<size_t>(mix)][static_cast<size_t>(which)]; }
  QSlider* strobeTimeSlider() const { return strobeTime_; }
  QPushButton* strobeButton() const { return strobe_; }
  QSlider* gammaSlider() const { return gamma_; }
  DoubleClickLabel* gammaLabel() const { return gammaLabel_; }
  QSlider* masterOut() const { return masterOut_; }
  DoubleClickLabel* masterLabel() const { return masterLabel_; }
  QPushButton* scenesButton() const { return scenes_; }
  QPushButton* chasesButton() const { return chases_; }
  QPushButton* showModeButton() const { return showMode_; }
  QPushButton* tapButton() const { return tap_; }
  QPushButton* autoButton() const { return autoTempo_; }
  QComboBox* strobeBeatList() const { return strobeBeat_; }
  QLabel* bpmLabel() const { return bpm_; }
  QLabel* beatLight() const { return beatLight_; }

 private:
  void BuildSlot(int slot, int x, int y);
  void BuildMix(int mix, int x, int y);
  void BuildMaster();
  void BuildTempo();
  void ShowTempo();
  void ShowCopyPasteMenu(int slot, const QPoint& globalPos);

  Engine& engine_;
  ModalCommands& modal_;
  Commands commands_;
  EngineBinding binding_;
  std::array<QComboBox*, kSlotCount> effect_{};
  std::array<QPushButton*, kSlotCount> edit_{};
  std::array<QSlider*, kSlotCount> speed_{};
  std::array<QCheckBox*, kSlotCount> invert_{};
  std::array<QComboBox*, 3> merge_{};
  std::array<QSlider*, 3> fade_{};
  std::array<std::array<QPushButton*, 3>, 3> glide_{};
  QSlider* strobeTime_ = nullptr;
  QPushButton* strobe_ = nullptr;
  QSlider* gamma_ = nullptr;
  DoubleClickLabel* gammaLabel_ = nullptr;
  QSlider* masterOut_ = nullptr;
  DoubleClickLabel* masterLabel_ = nullptr;
  QPushButton* scenes_ = nullptr;
  QPushButton* chases_ = nullptr;
  QPushButton* showMode_ = nullptr;
  // The tempo row between "Main Mix" and the window buttons.
  QLabel* bpm_ = nullptr;
  QLabel* beatLight_ = nullptr;
  QPushButton* tap_ = nullptr;
  QPushButton* autoTempo_ = nullptr;
  QComboBox* strobeBeat_ = nullptr;
  uint32_t shownBeats_ = 0;
  int64_t litUntilMs_ = 0;
};

}  // namespace quor
