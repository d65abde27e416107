#include "ui/screen_capture_window.h"

#include <QKeyEvent>
#include <QPushButton>
#include <algorithm>
#include <cstdint>

#include "engine/engine.h"
#include "generators/capture_frame.h"
#include "generators/generator_catalogue.h"
#include "ui/modal_commands.h"

namespace quor {
namespace {

constexpr int kScreenCaptureType = 12;
constexpr int kWatchMs = 100;  // how often the slot and its rectangle are checked

// Words from a scene file can be anything; the window itself stays on a
// sane part of the coordinate space.
int Coordinate(int value) { return std::clamp(value, -kMaxCaptureSide, kMaxCaptureSide); }
int Side(int from, int to) { return static_cast<int>(std::clamp<int64_t>(int64_t{to} - from, 1, kMaxCaptureSide)); }

}  // namespace

ScreenCaptureWindow::ScreenCaptureWindow(Engine& engine, int slot, std::function<void(int topic)> openHelp,
                                         QWidget* parent)
    : QDialog(parent), engine_(engine), slot_(slot), openHelp_(std::move(openHelp)) {
  setWindowTitle(QStringLiteral("Screen Capture"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setSizeGripEnabled(false);
  close_ = new QPushButton(QStringLiteral("Close"), this);
  close_->adjustSize();
  connect(close_, &QPushButton::clicked, this, &QDialog::accept);
  if (const std::optional<CaptureRectangle> rectangle = ReadRectangle()) {
    known_ = stored_ = *rectangle;
  }
  // Frame margins are known once the window is shown; until then the
  // client area stands for the frame.
  Place(known_);
  connect(&watch_, &QTimer::timeout, this, [this] { Watch(); });
  watch_.start(kWatchMs);
}

CaptureRectangle ScreenCaptureWindow::FrameRectangle() const {
  const QRect frame = frameGeometry();
  return {frame.x(), frame.y(), frame.x() + frame.width(), frame.y() + frame.height()};
}

QMargins ScreenCaptureWindow::FrameMargins() const {
  const QRect frame = frameGeometry();
  const QRect client = geometry();
  return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
          frame.bottom() - client.bottom()};
}

void ScreenCaptureWindow::Place(const CaptureRectangle& frame) {
  margins_ = FrameMargins();
  placing_ = frame;
  const int width = std::max(1, Side(frame.left, frame.right) - margins_.left() - margins_.right());
  const int height = std::max(1, Side(frame.top, frame.bottom) - margins_.top() - margins_.bottom());
  setGeometry(Coordinate(frame.left) + margins_.left(), Coordinate(frame.top) + margins_.top(), width, height);
}

void ScreenCaptureWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (shown_) return;
  shown_ = true;
  Place(known_);  // now with the frame around the client area
}

void ScreenCaptureWindow::moveEvent(QMoveEvent* event) {
  QDialog::moveEvent(event);
  GeometryChanged();
}

void ScreenCaptureWindow::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  close_->move((width() - close_->width()) / 2, (height() - close_->height()) / 2);
  GeometryChanged();
}

// The window system does not say which edge the user grabbed (Qt reports
// only the new geometry, and on X11 the window manager runs the drag), so
// the edge is recognised from which sides of the frame moved since the last
// geometry seen. A correction asked for here comes back as a geometry of
// its own; it is recognised as the one asked for and only stored.
void ScreenCaptureWindow::GeometryChanged() {
  if (!shown_ || closing_ || !isVisible()) return;
  if (FrameMargins() != margins_) {
    // The window manager framed the window or changed its frame: the same
    // rectangle again, with the client area inside the new frame.
    Place(known_);
    return;
  }
  const CaptureRectangle now = FrameRectangle();
  const bool asked = placing_ && now == *placing_;
  placing_.reset();
  if (asked || now == known_) {
    known_ = now;
    if (now != stored_) Store(now);
    return;
  }
  const FrameEdge edge = DraggedEdge(known_, now);
  known_ = now;
  Store(now);
  const CaptureRectangle kept = KeepAspect(now, edge, engine_.width(), engine_.height());
  if (kept != now) Place(kept);
}

bool ScreenCaptureWindow::StillBound() {
  if (engine_.BoundType(slot_) == kScreenCaptureType) return true;
  if (!closing_) {
    closing_ = true;
    watch_.stop();
    QTimer::singleShot(0, this, [this] { reject(); });
  }
  return false;
}

std::optional<CaptureRectangle> ScreenCaptureWindow::ReadRectangle() {
  if (!StillBound()) return std::nullopt;
  std::optional<CaptureRectangle> rectangle;
  engine_.EditGenerator(slot_, [&](Generator& g) {
    if (auto* capture = dynamic_cast<ScreenCaptureGenerator*>(&g)) rectangle = capture->rectangle();
  });
  return rectangle;
}

void ScreenCaptureWindow::Store(const CaptureRectangle& rectangle) {
  if (!StillBound()) return;
  engine_.EditGenerator(slot_, [&](Generator& g) {
    if (auto* capture = dynamic_cast<ScreenCaptureGenerator*>(&g)) capture->SetRectangle(rectangle);
  });
  stored_ = rectangle;
}

// A scene recall may give the slot another type (the window closes) or the
// generator another rectangle (the window follows it).
void ScreenCaptureWindow::Watch() {
  const std::optional<CaptureRectangle> rectangle = ReadRectangle();
  if (!rectangle || *rectangle == stored_) return;
  stored_ = known_ = *rectangle;
  Place(*rectangle);
}

void ScreenCaptureWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1 && openHelp_) {
    openHelp_(CatalogueEntry(kScreenCaptureType).helpTopic);
    return;
  }
  QDialog::keyPressEvent(event);  // Escape ends the window
}

void RegisterScreenCaptureWindow(ModalCommands& modal, Engine& engine, std::function<void(int topic)> openHelp) {
  modal.RegisterGeneratorDialog(kScreenCaptureType, [&engine, openHelp](QWidget* parent, int slot) {
    ScreenCaptureWindow window(engine, slot, openHelp, parent);
    window.exec();
  });
}

}  // namespace quor
