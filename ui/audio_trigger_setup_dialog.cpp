#include "ui/audio_trigger_setup_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include "engine/engine.h"
#include "ui/fixed_layout.h"
#include "ui/selection_slider.h"

namespace quor {
namespace {

QString Text(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QColor ToQColor(Rgb c) { return QColor(c.r, c.g, c.b); }

// The meter: painted by the dialog's PaintMeter over the frame of its group
// box, on a widget of its own so the group box's frame cannot tint it.
class MeterView : public QWidget {
 public:
  MeterView(QWidget* parent, std::function<void(QPainter&)> paint) : QWidget(parent), paint_(std::move(paint)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    paint_(painter);
  }

 private:
  std::function<void(QPainter&)> paint_;
};

}  // namespace

AudioTriggerSetupDialog::AudioTriggerSetupDialog(Engine& engine, int slot, int typeId, TriggerOf trigger,
                                                 std::function<void(int topic)> openHelp, QWidget* parent)
    : QDialog(parent),
      engine_(engine),
      slot_(slot),
      typeId_(typeId),
      trigger_(trigger),
      openHelp_(std::move(openHelp)),
      units_(*this) {
  setWindowTitle(Text(kTriggerSetupTitle));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(units_.X(kTriggerSetupWidth), units_.Y(kTriggerSetupHeight));
  const PositionRange ranges[] = {{kGainSliderSum - kAudioTriggerMaxGain, kGainSliderSum - kAudioTriggerMinGain},
                                  {0, kAudioTriggerMaxPercent},
                                  {0, kAudioTriggerMaxLowBand},
                                  {kAudioTriggerMinHighBand, kAudioTriggerMaxHighBand}};
  int slider = 0;
  for (const TriggerSetupControl& c : kTriggerSetupLayout) {
    const QRect rect = units_.Rect(c.x, c.y, c.width, c.height);
    switch (c.kind) {
      case TriggerSetupControl::Kind::kGroupBox: {
        auto* box = new QGroupBox(Text(c.text), this);
        box->setGeometry(rect);
        box->lower();
        break;
      }
      case TriggerSetupControl::Kind::kSlider: {
        // "Low" and "Hi" show the band the other slider leaves them.
        QSlider* s = nullptr;
        if (slider >= 2) {
          s = bands_[slider - 2] = new SelectionSlider(this);
        } else {
          s = new QSlider(Qt::Horizontal, this);
        }
        s->setGeometry(rect);
        s->setRange(ranges[slider].first, ranges[slider].last);
        connect(s, &QSlider::valueChanged, this, [this, slider](int position) { Moved(slider, position); });
        sliders_[slider++] = s;
        break;
      }
      case TriggerSetupControl::Kind::kText: {
        auto* label = new QLabel(Text(c.text), this);
        label->setGeometry(rect);
        if (&c == &kTriggerSetupLayout[kBandText]) {
          bandText_ = label;
        } else {
          FitLabel(label, label->text());
        }
        break;
      }
      case TriggerSetupControl::Kind::kButton: {
        auto* button = new QPushButton(Text(c.text), this);
        button->setGeometry(rect);
        button->setDefault(true);
        connect(button, &QPushButton::clicked, this, &QDialog::accept);
        break;
      }
    }
  }
  // The free corner left of "Close": the trigger on the beat of the tempo
  // instead of the band's level (the slot's setting, not the record's).
  beat_ = new QCheckBox(QStringLiteral("On the beat"), this);
  beat_->setGeometry(units_.Rect(7, 133, 58, 12));
  beat_->setToolTip(QStringLiteral("Fire once on every beat of the tempo in use (detected or tapped) "
                                   "instead of on the level of the band"));
  beat_->setChecked(engine_.BeatTrigger(slot_));
  connect(beat_, &QCheckBox::toggled, this, [this](bool on) { engine_.SetBeatTrigger(slot_, on); });
  const TriggerSetupControl& frame = kTriggerSetupLayout[kMeterGroup];
  meterView_ = new MeterView(this, [this](QPainter& painter) { PaintMeter(painter); });
  meterView_->setGeometry(units_.Rect(frame.x, frame.y, frame.width, frame.height));
  meterView_->raise();
  AudioTrigger record;
  if (Read(record)) Show(record);
  connect(&meterTimer_, &QTimer::timeout, this, [this] { TickMeter(); });
  meterTimer_.start(kTriggerMeterIntervalMs);
}

bool AudioTriggerSetupDialog::Read(AudioTrigger& out) {
  if (engine_.BoundType(slot_) != typeId_) return false;
  bool found = false;
  engine_.EditGenerator(slot_, [&](Generator& g) {
    if (const AudioTrigger* t = trigger_(g)) {
      out = *t;
      found = true;
    }
  });
  return found;
}

bool AudioTriggerSetupDialog::Write(const std::function<void(AudioTrigger&)>& change) {
  if (engine_.BoundType(slot_) != typeId_) {
    QTimer::singleShot(0, this, [this] { reject(); });
    return false;
  }
  engine_.EditGenerator(slot_, [&](Generator& g) {
    if (AudioTrigger* t = trigger_(g)) change(*t);
  });
  return true;
}

void AudioTriggerSetupDialog::Show(const AudioTrigger& t) {
  showing_ = true;
  const int positions[] = {GainSliderPosition(t), t.thresholdPercent, t.lowBand, t.highBand};
  for (int i = 0; i < 4; ++i) {
    const QSignalBlocker blocker(sliders_[i]);
    sliders_[i]->setValue(positions[i]);
  }
  // The band sliders' selections: what the other band leaves free.
  const SliderRange low = LowSliderSelection(t), hi = HiSliderSelection(t);
  lowSlider()->setToolTip(QStringLiteral("%1 - %2").arg(low.first).arg(low.last));
  hiSlider()->setToolTip(QStringLiteral("%1 - %2").arg(hi.first).arg(hi.last));
  lowSlider()->SetSelection(low.first, low.last);
  hiSlider()->SetSelection(hi.first, hi.last);
  bandText_->setText(QString::fromStdString(BandText(t)));
  showing_ = false;
}

void AudioTriggerSetupDialog::Moved(int slider, int position) {
  if (showing_) return;
  AudioTrigger after;
  const bool written = Write([&](AudioTrigger& t) {
    switch (slider) {
      case 0:
        MoveGainSlider(t, position);
        break;
      case 1:
        MoveThreshSlider(t, position);
        break;
      case 2:
        MoveLowSlider(t, position);
        break;
      default:
        MoveHiSlider(t, position);
        break;
    }
    after = t;
  });
  // A band slider that was refused snaps back to the record's value.
  if (written) Show(after);
}

void AudioTriggerSetupDialog::TickMeter() {
  AudioTrigger record;
  if (!Read(record)) {
    QTimer::singleShot(0, this, [this] { reject(); });
    meterTimer_.stop();
    return;
  }
  meter_ = ReadTriggerMeter(engine_.audio(), record);
  meterView_->update();
}

void AudioTriggerSetupDialog::PaintMeter(QPainter& painter) {
  // Rectangles are inclusive (left, top)-(right, bottom) in dialog units,
  // drawn relative to the meter's frame.
  const TriggerSetupControl& frame = kTriggerSetupLayout[kMeterGroup];
  const QPoint origin(units_.X(frame.x), units_.Y(frame.y));
  auto fill = [&](const DialogRect& r, Rgb color) {
    const QPoint topLeft(units_.X(r.left), units_.Y(r.top));
    const QPoint bottomRight(units_.X(r.right), units_.Y(r.bottom));
    painter.fillRect(QRect(topLeft - origin, bottomRight - origin), ToQColor(color));
  };
  fill(kLevelMeterBackground, kMeterBackgroundColor);
  if (meter_.levelHeight > 0) fill(LevelBarRect(meter_), kMeterQuietColor);
  fill(kThresholdMeterBackground, kMeterBackgroundColor);
  if (meter_.thresholdHeight > 0) fill(ThresholdBarRect(meter_), meter_.thresholdColor);
}

void AudioTriggerSetupDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1 && openHelp_) {
    openHelp_(kTriggerSetupHelpTopic);
    return;
  }
  QDialog::keyPressEvent(event);
}

void AudioTriggerSetupDialog::done(int result) {
  meterTimer_.stop();
  QDialog::done(result);
}

}  // namespace quor
