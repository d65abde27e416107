#include "ui/show_mode_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QWindow>
#include <algorithm>

#include "engine/engine.h"
#include "ui/fixed_layout.h"
#include "show/show.h"
#include "ui/help_viewer.h"
#include "ui/preview_renderer.h"
#include "ui/preview_widget.h"
#include "ui/window_placement.h"
#include "ui/window_state.h"

namespace quor {
namespace {

constexpr int kButtonGap = 10;
constexpr int kReservedRight = 329;     // preview and "Control" group width
constexpr int kReservedBelowPreview = 139;
constexpr int kMinButtonWidth = 50, kMaxButtonWidth = 320;
constexpr int kMinButtonHeight = 20, kMaxButtonHeight = 160;
constexpr int kSizeStep = 5;

}  // namespace

std::vector<QPoint> ShowModeButtonPositions(int windowWidth, int buttonWidth, int buttonHeight, int previewHeight,
                                            int count) {
  const int stepX = buttonWidth + kButtonGap;
  const int stepY = buttonHeight + kButtonGap;
  const int columns = windowWidth / stepX - 1;
  std::vector<QPoint> positions;
  positions.reserve(static_cast<size_t>(std::max(count, 0)));
  int ox = 0;
  int oy = 0;
  while (static_cast<int>(positions.size()) < count) {
    const int x = ox;
    const int y = oy;
    ox += stepX;
    if (ox > stepX * columns) {
      ox = 0;
      oy += stepY;
    }
    if (x <= kReservedRight && y <= previewHeight + kReservedBelowPreview) continue;
    positions.emplace_back(x + kButtonGap, y + kButtonGap);
  }
  return positions;
}

ShowModeWindow::ShowModeWindow(Engine& engine, WindowState& windows, PreviewBuffer& output, Hooks hooks)
    : QMainWindow(nullptr), engine_(engine), windows_(windows), hooks_(std::move(hooks)), binding_(this) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QString::fromLatin1(kShowModeTitle));
  setProperty("quorHelpId", kHelpShowMode);
  auto* client = new QWidget(this);
  setCentralWidget(client);
  preview_ = new PreviewWidget(output, {}, {}, client);
  preview_->move(10, 10);
  preview_->SetPreviewHeight(previewHeight());
  BuildControls();

  QMenuBar* bar = menuBar();
  connect(bar->addAction(QStringLiteral("-")), &QAction::triggered, this, [this] { ResizeButtons(-kSizeStep, 0); });
  connect(bar->addAction(QStringLiteral("+")), &QAction::triggered, this, [this] { ResizeButtons(kSizeStep, 0); });
  bar->addSeparator();
  connect(bar->addAction(QStringLiteral("-")), &QAction::triggered, this, [this] { ResizeButtons(0, -kSizeStep); });
  connect(bar->addAction(QStringLiteral("+")), &QAction::triggered, this, [this] { ResizeButtons(0, kSizeStep); });

  // The clock draws the output picture here from now on.
  engine_.SetControl({ControlId::kShowMode}, 1);
  BuildButtons();
  const ShowWindowPlacement& s = windows_.layout.showWindow;
  move(s.left, s.top);
  resize(std::max(s.width, 100), std::max(s.height, 100));
  highlighted_ = -1;
  lastEngineHighlight_ = EngineHighlight();
  Highlight(lastEngineHighlight_);
  Refresh();
}

ShowModeWindow::~ShowModeWindow() { engine_.SetControl({ControlId::kShowMode}, 0); }

int ShowModeWindow::previewHeight() const {
  return PreviewHeight(engine_.width(), engine_.height(), windows_.layout.previewAspect);
}

void ShowModeWindow::BuildControls() {
  QWidget* client = centralWidget();
  const int p = previewHeight();
  Place(new QGroupBox(QStringLiteral("Control"), client), 10, p + 20, 320, 120);
  FitLabel(Place(new QLabel(QStringLiteral("Fade Time"), client), 20, p + 44, 60, 16), QStringLiteral("Fade Time"));
  fadeTime_ = Place(new QSlider(Qt::Horizontal, client), 85, p + 40, 160, 25);
  fadeTime_->setRange(0, 26);
  fadeOut_ = Place(new QCheckBox(QStringLiteral("Fade Out"), client), 252, p + 44, 70, 16);
  FitLabel(Place(new QLabel(QStringLiteral("Strobe Time"), client), 20, p + 77, 60, 16), QStringLiteral("Strobe Time"));
  strobeTime_ = Place(new QSlider(Qt::Horizontal, client), 85, p + 73, 160, 25);
  strobeTime_->setRange(1, 25);
  strobe_ = Place(new QPushButton(QStringLiteral("Strobe"), client), 251, p + 74, 70, 23);
  strobe_->setCheckable(true);
  Place(new QLabel(QStringLiteral("Master"), client), 20, p + 110, 60, 16);
  master_ = Place(new QSlider(Qt::Horizontal, client), 85, p + 106, 235, 25);
  master_->setRange(0, 255);

  SceneList& scenes = engine_.show().sceneList();
  // Unlike the scene window's, these only set the fade: a running chase
  // goes on.
  binding_.Bind(fadeTime_, [&scenes] { return scenes.FadeTimePosition(); },
                [&scenes](int position) { scenes.SetFadeTimeKeepingChase(position); });
  binding_.Bind(fadeOut_, [&scenes] { return scenes.FadeOutChecked() ? 1 : 0; },
                [&scenes](int on) { scenes.SetFadeOutKeepingChase(on != 0); });
  binding_.Bind(strobeTime_, engine_, {ControlId::kStrobeTime});
  binding_.Bind(strobe_, engine_, {ControlId::kStrobe});
  binding_.Bind(master_, engine_, {ControlId::kMasterLevel});
}

void ShowModeWindow::BuildButtons() {
  QWidget* client = centralWidget();
  chaseNames_ = engine_.show().chases().Names();
  sceneNames_ = engine_.show().scenes().Names();
  const std::vector<std::string>& chases = chaseNames_;
  const std::vector<std::string>& scenes = sceneNames_;
  chaseCount_ = static_cast<int>(chases.size());
  auto add = [&](const QString& text) {
    auto* button = new QPushButton(text, client);
    button->setCheckable(true);
    buttons_.push_back(button);
    return button;
  };
  for (int i = 0; i < chaseCount_; ++i) {
    QPushButton* button = add(QStringLiteral(">> Chase <<\n%1").arg(QString::fromStdString(chases[static_cast<size_t>(i)])));
    connect(button, &QPushButton::clicked, this, [this, i] { ChaseClicked(i); });
  }
  for (int j = 0; j < static_cast<int>(scenes.size()); ++j) {
    QPushButton* button = add(QString::fromStdString(scenes[static_cast<size_t>(j)]));
    connect(button, &QPushButton::clicked, this, [this, j] { SceneClicked(j); });
  }
}

void ShowModeWindow::RebuildButtons() {
  // Refresh runs from the main window's turn, never from a button's own
  // click, so the old buttons can go at once.
  for (QPushButton* button : buttons_) delete button;
  buttons_.clear();
  highlighted_ = -1;
  BuildButtons();
  for (QPushButton* button : buttons_) button->show();
  LayoutButtons();
  lastEngineHighlight_ = EngineHighlight();
  Highlight(lastEngineHighlight_);
}

int ShowModeWindow::EngineHighlight() const {
  const int running = engine_.show().player().RunningChase();
  if (running > 0 && running <= chaseCount_) return running - 1;
  const int scene = engine_.show().sceneList().selection();
  if (scene >= 0 && chaseCount_ + scene < buttonCount()) return chaseCount_ + scene;
  return -1;
}

void ShowModeWindow::Highlight(int index) {
  if (highlighted_ >= 0 && highlighted_ < buttonCount()) {
    QPushButton* old = buttons_[static_cast<size_t>(highlighted_)];
    QFont font = old->font();
    font.setBold(false);
    old->setFont(font);
    old->setChecked(false);
  }
  highlighted_ = index;
  if (index >= 0 && index < buttonCount()) {
    QPushButton* button = buttons_[static_cast<size_t>(index)];
    QFont font = button->font();
    font.setBold(true);
    button->setFont(font);
    button->setChecked(true);
  }
}

void ShowModeWindow::ChaseClicked(int chase) {
  Highlight(chase);
  engine_.console().Print("chaser: %d\n", chase);
  engine_.SetControl({ControlId::kChasePlay, chase}, 1);
  LayoutButtons();
}

void ShowModeWindow::SceneClicked(int scene) {
  engine_.console().Print("scene: %d\n", scene);
  engine_.SetControl({ControlId::kSceneRecall, scene}, 1);
  Highlight(chaseCount_ + scene);
  LayoutButtons();
}

void ShowModeWindow::Refresh() {
  binding_.Refresh();
  if (engine_.show().chases().Names() != chaseNames_ || engine_.show().scenes().Names() != sceneNames_) {
    RebuildButtons();
  }
  // The chase player or the remote input changed what runs.
  const int now = EngineHighlight();
  if (now != lastEngineHighlight_) {
    lastEngineHighlight_ = now;
    if (now != highlighted_) Highlight(now);
  }
  // A highlighted button that was clicked again stays pressed.
  if (highlighted_ >= 0) buttons_[static_cast<size_t>(highlighted_)]->setChecked(true);
}

void ShowModeWindow::ResizeButtons(int dw, int dh) {
  ShowWindowPlacement& s = windows_.layout.showWindow;
  s.buttonWidth = std::clamp(s.buttonWidth + dw, kMinButtonWidth, kMaxButtonWidth);
  s.buttonHeight = std::clamp(s.buttonHeight + dh, kMinButtonHeight, kMaxButtonHeight);
  engine_.SetWindowLayout(windows_.layout);
  LayoutButtons();
}

int ShowModeWindow::HeightForButtons(int frameWidth, QMargins frame) const {
  const ShowWindowPlacement& s = windows_.layout.showWindow;
  const int h = std::clamp(s.buttonHeight, kMinButtonHeight, kMaxButtonHeight);
  const int p = previewHeight();
  int bottom = p + kReservedBelowPreview + 1;  // the "Control" group
  for (const QPoint& at : ShowModeButtonPositions(frameWidth, std::clamp(s.buttonWidth, kMinButtonWidth, kMaxButtonWidth),
                                                  h, p, buttonCount())) {
    bottom = std::max(bottom, at.y() + h);
  }
  return menuBar()->sizeHint().height() + bottom + kButtonGap + frame.top() + frame.bottom();
}

void ShowModeWindow::RestoreRectangle(QMargins frameHint) {
  const ShowWindowPlacement& s = windows_.layout.showWindow;
  // The frame is known to the window system once the window is shown.
  const QMargins margins = FrameMargins(this, frameHint);
  QRect frame(s.left, s.top, std::max(s.width, 100), std::max(s.height, 100));
  const QRect available = AvailableArea(this);
  // Higher to show every button; where the screen is too low for that,
  // wider (more buttons to a row) as far as the screen allows.
  const int stepX = std::clamp(s.buttonWidth, kMinButtonWidth, kMaxButtonWidth) + kButtonGap;
  for (int width = frame.width();; width += stepX) {
    const int needed = HeightForButtons(width, margins);
    if (needed <= available.height() || width >= available.width() || !available.isValid()) {
      frame.setWidth(std::max(frame.width(), width));
      frame.setHeight(std::max(frame.height(), needed));
      break;
    }
  }
  SetFrameGeometry(this, FitInside(frame, available), margins);
  restored_ = true;
  LayoutButtons();
}

void ShowModeWindow::ToggleFullScreen() {
  if (isFullScreen()) {
    showNormal();
  } else {
    showFullScreen();
  }
}

void ShowModeWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && isFullScreen()) {
    showNormal();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

void ShowModeWindow::StoreRectangle() {
  // Until the stored rectangle is applied, sizes are not the user's; full
  // screen is not the window's own rectangle either.
  if (!restored_ || isFullScreen()) return;
  const QRect frame = frameGeometry();
  ShowWindowPlacement& s = windows_.layout.showWindow;
  s.left = frame.x();
  s.top = frame.y();
  s.width = frame.width();
  s.height = frame.height();
  engine_.SetWindowLayout(windows_.layout);
}

void ShowModeWindow::LayoutButtons() {
  if (closing_) return;
  StoreRectangle();
  const ShowWindowPlacement& s = windows_.layout.showWindow;
  const int w = std::clamp(s.buttonWidth, kMinButtonWidth, kMaxButtonWidth);
  const int h = std::clamp(s.buttonHeight, kMinButtonHeight, kMaxButtonHeight);
  const std::vector<QPoint> positions =
      ShowModeButtonPositions(frameGeometry().width(), w, h, previewHeight(), buttonCount());
  for (int i = 0; i < buttonCount(); ++i) {
    buttons_[static_cast<size_t>(i)]->setGeometry(QRect(positions[static_cast<size_t>(i)], QSize(w, h)));
  }
}

void ShowModeWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  LayoutButtons();
}

void ShowModeWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  if (!closing_ && isVisible()) StoreRectangle();
}

void ShowModeWindow::closeEvent(QCloseEvent* event) {
  if (!closing_) {
    StoreRectangle();
    closing_ = true;
    engine_.SetControl({ControlId::kShowMode}, 0);
    if (hooks_.closed) hooks_.closed();
  }
  event->accept();
}

}  // namespace quor
