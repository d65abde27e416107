#include "ui/mixer_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QDateTime>

#include "engine/engine.h"
#include "generators/generator_catalogue.h"
#include "ui/fixed_layout.h"
#include "ui/modal_commands.h"
#include "ui/wheel_needs_focus.h"

namespace quor {
namespace {

constexpr std::array<const char*, 10> kChannelModes = {
    "Progressive",     "Linear",          "Upper Shape",   "Lower Shape",
    "Upper Intensity", "Lower Intensity", "Upper Overlay", "Lower Overlay",
    "Upper Overlay (Border)", "Lower Overlay (Border)"};
constexpr std::array<const char*, 10> kMainModes = {
    "Progressive",    "Linear",          "Left Shape",   "Right Shape",
    "Left Intensity", "Right Intensity", "Left Overlay", "Right Overlay",
    "Left Overlay (Border)", "Right Overlay (Border)"};
constexpr std::array<const char*, 3> kGlideTexts = {"<", "|", ">"};
constexpr std::array<int, 3> kChannelGlideTargets = {0, 128, 255};
// The panel's rows in the main window: groups start 20 pixels below the
// preview area, which ends at PreviewHeight + 10.
constexpr int kListHeight = 23;

QSlider* MakeSlider(QWidget* parent, int x, int y, int w, int h, int low, int high) {
  auto* slider = new WheelNeedsFocus<QSlider>(Qt::Horizontal, parent);
  slider->setGeometry(x, y, w, h);
  slider->setRange(low, high);
  return slider;
}

QGroupBox* MakeGroup(QWidget* parent, const QString& title, int x, int y, int w, int h) {
  auto* group = new QGroupBox(title, parent);
  group->setGeometry(x, y, w, h);
  return group;
}

}  // namespace

void DoubleClickLabel::mouseDoubleClickEvent(QMouseEvent* event) {
  if (onDoubleClick) onDoubleClick();
  event->accept();
}

QString GammaLabelText(int gammaSetting) {
  return QStringLiteral("Gamma (%1)").arg(gammaSetting / 100.0, 0, 'f', 2);
}

MixerPanelWidget::MixerPanelWidget(Engine& engine, ModalCommands& modal, Commands commands, QWidget* parent)
    : QWidget(parent), engine_(engine), modal_(modal), commands_(std::move(commands)), binding_(this) {
  setFixedSize(1046, kPanelHeight);
  // Slot groups: channel 1 on the left, channel 2 700 pixels right; effect 2
  // 190 pixels below effect 1.
  MakeGroup(this, QStringLiteral("Channel 1 / Effect 1"), 10, 20, 320, 90);
  MakeGroup(this, QStringLiteral("Channel 2 / Effect 1"), 710, 20, 320, 90);
  MakeGroup(this, QStringLiteral("Channel 1 / Effect 2"), 10, 210, 320, 90);
  MakeGroup(this, QStringLiteral("Channel 2 / Effect 2"), 710, 210, 320, 90);
  MakeGroup(this, QStringLiteral("Mix"), 10, 115, 320, 90);
  MakeGroup(this, QStringLiteral("Mix"), 710, 115, 320, 90);
  MakeGroup(this, QStringLiteral("Main Mix"), 360, 20, 320, 90);
  MakeGroup(this, QStringLiteral("Master"), 360, 175, 320, 125);
  BuildSlot(0, 0, 0);
  BuildSlot(1, 700, 0);
  BuildSlot(2, 0, 190);
  BuildSlot(3, 700, 190);
  BuildMix(kMixChannel1, 0, 0);
  BuildMix(kMixChannel2, 700, 0);
  BuildMix(kMixMain, 0, 0);
  BuildMaster();

  scenes_ = Place(new QPushButton(QStringLiteral("Scenes"), this), 360, 134, 100, 23);
  chases_ = Place(new QPushButton(QStringLiteral("Chases"), this), 470, 134, 100, 23);
  showMode_ = Place(new QPushButton(QStringLiteral("Show Mode"), this), 581, 134, 100, 23);
  connect(scenes_, &QPushButton::clicked, this, [this] { if (commands_.scenes) commands_.scenes(); });
  connect(chases_, &QPushButton::clicked, this, [this] { if (commands_.chases) commands_.chases(); });
  connect(showMode_, &QPushButton::clicked, this, [this] { if (commands_.showMode) commands_.showMode(); });
  BuildTempo();
  Refresh();
}

void MixerPanelWidget::BuildSlot(int slot, int dx, int dy) {
  const size_t i = static_cast<size_t>(slot);
  auto* effect = Place(new WheelNeedsFocus<QComboBox>(this), 20 + dx, 40 + dy, 220, kListHeight);
  for (std::string_view text : kEffectListTexts) {
    effect->addItem(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
  }
  effect->setMaxVisibleItems(kEffectListSize);
  auto* edit = Place(new QPushButton(QStringLiteral("Edit"), this), 251 + dx, 39 + dy, 70, 23);
  Place(new QLabel(QStringLiteral("Speed"), this), 20 + dx, 79 + dy, 40, 16);
  auto* invert = Place(new QCheckBox(QStringLiteral("Invert"), this), 252 + dx, 79 + dy, 70, 16);
  auto* speed = MakeSlider(this, 65 + dx, 75 + dy, 175, 25, kMinSlotSpeed, kMaxSlotSpeed);
  effect_[i] = effect;
  edit_[i] = edit;
  invert_[i] = invert;
  speed_[i] = speed;

  binding_.Bind(effect, engine_, {ControlId::kSlotEffect, slot});
  binding_.Bind(speed, engine_, {ControlId::kSlotSpeed, slot});
  binding_.Bind(invert, engine_, {ControlId::kSlotInvert, slot});
  connect(edit, &QPushButton::clicked, this, [this, slot] { modal_.EditSlot(slot); });
  edit->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(edit, &QWidget::customContextMenuRequested, this, [this, slot, edit](const QPoint& pos) {
    // Only strictly inside the button's rectangle.
    if (pos.x() <= 0 || pos.y() <= 0 || pos.x() >= edit->width() - 1 || pos.y() >= edit->height() - 1) return;
    ShowCopyPasteMenu(slot, edit->mapToGlobal(pos));
  });
}

void MixerPanelWidget::ShowCopyPasteMenu(int slot, const QPoint& globalPos) {
  QMenu menu(this);
  QAction* copy = menu.addAction(QStringLiteral("Copy"));
  QAction* paste = menu.addAction(QStringLiteral("Paste"));
  paste->setEnabled(engine_.CanPaste());
  QAction* chosen = menu.exec(globalPos);
  if (chosen == copy) {
    engine_.CopySlot(slot);
  } else if (chosen == paste) {
    engine_.PasteSlot(slot);
  }
}

void MixerPanelWidget::BuildMix(int mix, int dx, int dy) {
  const size_t m = static_cast<size_t>(mix);
  const bool main = mix == kMixMain;
  // The main mix sits at x 360 in the upper row, the channel mixes in the
  // middle row of their side.
  const int x = main ? 360 : 10 + dx;
  const int y = main ? 20 : 115 + dy;
  auto* list = Place(new WheelNeedsFocus<QComboBox>(this), x + 10, y + 20, 220, kListHeight);
  for (const char* text : main ? kMainModes : kChannelModes) list->addItem(QString::fromLatin1(text));
  const std::array<int, 3> glideX = {x + 241, x + 265, x + 291};
  for (size_t b = 0; b < 3; ++b) {
    auto* button = Place(new QPushButton(QString::fromLatin1(kGlideTexts[b]), this), glideX[b], y + 19, 20, 23);
    glide_[m][b] = button;
    connect(button, &QPushButton::clicked, this, [this, mix, main, b] {
      if (main) {
        constexpr ControlId kGlides[] = {ControlId::kMainGlideStart, ControlId::kMainGlideCentre, ControlId::kMainGlideEnd};
        engine_.SetControl({kGlides[b]}, 1);
      } else {
        engine_.SetControl({ControlId::kChannelFade, mix}, kChannelGlideTargets[b]);
      }
      Refresh();
    });
  }
  auto* fade = MakeSlider(this, x + 10, main ? y + 55 : y + 55, 300, 25, 0, 255);
  merge_[m] = list;
  fade_[m] = fade;
  binding_.Bind(list, engine_, main ? ControlAddress{ControlId::kMainMode} : ControlAddress{ControlId::kChannelMode, mix});
  binding_.Bind(fade, engine_, main ? ControlAddress{ControlId::kMainFade} : ControlAddress{ControlId::kChannelFade, mix});
}

void MixerPanelWidget::BuildMaster() {
  const EngineSettings& settings = engine_.settings();
  FitLabel(Place(new QLabel(QStringLiteral("Strobe Time"), this), 370, 197, 60, 16), QStringLiteral("Strobe Time"));
  strobeTime_ = MakeSlider(this, 445, 193, 150, 25, 1, 25);
  strobe_ = Place(new QPushButton(QStringLiteral("Strobe"), this), 601, 194, 70, 23);
  strobe_->setCheckable(true);
  gammaLabel_ = Place(new DoubleClickLabel(GammaLabelText(100), this), 370, 234, 70, 16);
  FitLabel(gammaLabel_, GammaLabelText(500));
  gamma_ = MakeSlider(this, 445, 230, 225, 25, 1, 500);
  masterLabel_ = Place(new DoubleClickLabel(QStringLiteral("Master"), this), 370, 269, 50, 16);
  masterOut_ = MakeSlider(this, 445, 265, 225, 25, 0, 255);

  binding_.Bind(strobeTime_, engine_, {ControlId::kStrobeTime});
  binding_.Bind(strobe_, engine_, {ControlId::kStrobe});
  binding_.Bind(gamma_, engine_, {ControlId::kGamma});
  binding_.Bind(masterOut_, engine_, {ControlId::kMasterLevel});
  binding_.OnChange([this, &settings] { gammaLabel_->setText(GammaLabelText(settings.gammaSetting.load())); });
  gammaLabel_->onDoubleClick = [this] {
    engine_.SetControl({ControlId::kGamma}, 100);
    Refresh();
  };
  masterLabel_->onDoubleClick = [this] {
    engine_.SetControl({ControlId::kBlackout}, 1);
    Refresh();
  };
}

// One row in the free space below "Main Mix": the tempo in use, a light
// that flashes on every beat, "Tap", "Auto" (pressed while the detected
// tempo is in use) and the strobe's beat sync.
void MixerPanelWidget::BuildTempo() {
  bpm_ = Place(new QLabel(QStringLiteral("--- BPM"), this), 362, 113, 78, 20);
  bpm_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  FitLabel(bpm_, QStringLiteral("000.0 BPM"));
  beatLight_ = Place(new QLabel(this), 446, 116, 14, 14);
  beatLight_->setAccessibleName(QStringLiteral("Beat"));
  tap_ = Place(new QPushButton(QStringLiteral("Tap"), this), 466, 112, 56, 21);
  tap_->setToolTip(QStringLiteral("Tap the tempo (key T); taps override the detected tempo until Auto"));
  autoTempo_ = Place(new QPushButton(QStringLiteral("Auto"), this), 526, 112, 56, 21);
  autoTempo_->setCheckable(true);
  autoTempo_->setToolTip(QStringLiteral("Follow the tempo detected in the sound input"));
  // A tap counts when the button goes down, not when it is let go.
  connect(tap_, &QPushButton::pressed, this, [this] { engine_.SetControl({ControlId::kTempoTap}, 1); });
  connect(autoTempo_, &QPushButton::clicked, this, [this] { engine_.SetControl({ControlId::kTempoAuto}, 1); });
  strobeBeat_ = Place(new WheelNeedsFocus<QComboBox>(this), 587, 112, 94, 21);
  strobeBeat_->addItems({QStringLiteral("Strobe: time"), QStringLiteral("Strobe: 1"), QStringLiteral("Strobe: 1/2"),
                         QStringLiteral("Strobe: 1/4")});
  strobeBeat_->setAccessibleName(QStringLiteral("Strobe on the beat"));
  strobeBeat_->setToolTip(QStringLiteral("The strobe flashes once per beat, half beat or quarter beat of the tempo; "
                                         "\"time\" keeps the Strobe Time rhythm"));
  binding_.Bind(strobeBeat_, engine_, {ControlId::kStrobeBeat});
  auto* timer = new QTimer(this);
  connect(timer, &QTimer::timeout, this, [this] { ShowTempo(); });
  timer->start(20);
  ShowTempo();
}

void MixerPanelWidget::ShowTempo() {
  const TempoSource& tempo = engine_.tempo();
  const double bpm = tempo.Bpm();
  const QString text = bpm > 0 ? QStringLiteral("%1 BPM").arg(bpm, 0, 'f', 1) : QStringLiteral("--- BPM");
  if (bpm_->text() != text) bpm_->setText(text);
  const bool detected = !tempo.Tapped();
  if (autoTempo_->isChecked() != detected) autoTempo_->setChecked(detected);
  // The light stays on for 100 ms after each beat.
  const int64_t now = QDateTime::currentMSecsSinceEpoch();
  const uint32_t beats = tempo.BeatCount();
  if (beats != shownBeats_) {
    shownBeats_ = beats;
    litUntilMs_ = now + 100;
  }
  const QString style = now < litUntilMs_ ? QStringLiteral("background: #ff3030; border: 1px solid #600000; border-radius: 7px;")
                                         : QStringLiteral("background: #401010; border: 1px solid #600000; border-radius: 7px;");
  if (beatLight_->styleSheet() != style) beatLight_->setStyleSheet(style);
}

}  // namespace quor
