// The modal "Audio Trigger Setup" dialog: sensitivity and band sliders on
// a generator's AudioTrigger record, the band text and a level meter redrawn
// every 40 ms from the engine's serialised spectrum. Slider moves edit the
// record in place through Engine::EditGenerator, so the generator keeps
// running with the new values at once; the dialog keeps no pointer to the
// record between edits and closes when the slot is given another type.
// GUI thread only.
#pragma once

#include <QDialog>
#include <QTimer>
#include <functional>

#include "audio/audio_trigger_setup.h"
#include "core/generator.h"
#include "ui/generator_settings_dialog.h"

class QCheckBox;
class QLabel;
class QPainter;
class QSlider;

namespace quor {

class Engine;
class SelectionSlider;

class AudioTriggerSetupDialog : public QDialog {
 public:
  using TriggerOf = AudioTrigger* (*)(Generator&);
  AudioTriggerSetupDialog(Engine& engine, int slot, int typeId, TriggerOf trigger,
                          std::function<void(int topic)> openHelp, QWidget* parent);

  QSlider* gainSlider() const { return sliders_[0]; }
  QSlider* threshSlider() const { return sliders_[1]; }
  SelectionSlider* lowSlider() const { return bands_[0]; }
  SelectionSlider* hiSlider() const { return bands_[1]; }
  QLabel* bandText() const { return bandText_; }
  QCheckBox* beatBox() const { return beat_; }
  const TriggerMeter& meter() const { return meter_; }
  // One meter tick: a fresh band level from the spectrum, then a repaint.
  void TickMeter();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void done(int result) override;

 private:
  // Copies the record out of the generator; false when the slot changed.
  bool Read(AudioTrigger& out);
  bool Write(const std::function<void(AudioTrigger&)>& change);
  void Show(const AudioTrigger& trigger);
  void Moved(int slider, int position);
  void PaintMeter(QPainter& painter);

  Engine& engine_;
  const int slot_;
  const int typeId_;
  const TriggerOf trigger_;
  std::function<void(int)> openHelp_;
  DialogUnits units_;
  QSlider* sliders_[4] = {};
  QCheckBox* beat_ = nullptr;
  SelectionSlider* bands_[2] = {};  // "Low" and "Hi", also in sliders_
  QLabel* bandText_ = nullptr;
  QWidget* meterView_ = nullptr;
  QTimer meterTimer_;
  TriggerMeter meter_;
  bool showing_ = false;
};

}  // namespace quor
