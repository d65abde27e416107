#include "ui/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace quor {

QRect FitInside(const QRect& frame, const QRect& available) {
  if (!available.isValid()) return frame;
  const int width = std::min(frame.width(), available.width());
  const int height = std::min(frame.height(), available.height());
  const int left = std::clamp(frame.left(), available.left(), available.right() + 1 - width);
  const int top = std::clamp(frame.top(), available.top(), available.bottom() + 1 - height);
  return {left, top, width, height};
}

std::vector<QRect> DockedFrames(const QRect& main, const std::vector<QSize>& frames, const QRect& available) {
  std::vector<QRect> placed;
  placed.reserve(frames.size());
  int besideLeft = main.right() + 1;  // where the next window beside goes
  int overRight = std::min(main.right(), available.right());  // the right edge of the next one on top
  for (const QSize& size : frames) {
    const QRect beside(QPoint(besideLeft, main.top()), size);
    if (available.contains(beside)) {
      placed.push_back(beside);
      besideLeft = beside.right() + 1;
      continue;
    }
    // Once one window has no room beside, the ones after it have none either.
    besideLeft = available.right() + 1;
    const QRect over = FitInside(QRect(QPoint(overRight + 1 - size.width(), main.top()), size), available);
    placed.push_back(over);
    overRight = over.left() - 1;
  }
  return placed;
}

QMargins FrameMargins(const QWidget* window, const QMargins& hint) {
  const QWindow* handle = window->windowHandle();
  const QMargins frame = handle != nullptr && window->isVisible() ? handle->frameMargins() : QMargins();
  return frame.isNull() ? hint : frame;
}

QRect AvailableArea(const QWidget* window) {
  const QScreen* screen = QGuiApplication::screenAt(window->geometry().center());
  if (screen == nullptr) screen = window->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->availableGeometry() : QRect();
}

QRect OuterFrame(const QWidget* window, const QMargins& margins) { return window->geometry().marginsAdded(margins); }

void SetFrameGeometry(QWidget* window, const QRect& frame, const QMargins& margins) {
  const QRect client = frame.marginsRemoved(margins);
  // The client position, not the frame's: Qt converts a frame position
  // with the frame it knows, none before the window manager reported it.
  window->setGeometry(QRect(client.topLeft(), client.size().expandedTo(window->minimumSize()).boundedTo(window->maximumSize())));
}

void KeepOnScreen(QWidget* window, const QMargins& frameHint) {
  if (!window->isVisible() || window->isFullScreen() || window->isMaximized()) return;
  const QMargins margins = FrameMargins(window, frameHint);
  const QRect frame = OuterFrame(window, margins);
  const QRect fitted = FitInside(frame, AvailableArea(window));
  if (fitted != frame) SetFrameGeometry(window, fitted, margins);
}

}  // namespace quor
