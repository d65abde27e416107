#include "ui/list_window.h"

#include <QHideEvent>
#include <QMenuBar>
#include <QMoveEvent>
#include <QShowEvent>

namespace quor {

ListWindow::ListWindow(const QString& title, int helpId, QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(title);
  setProperty("quorHelpId", helpId);
  SetPreviewHeight(200);
}

void ListWindow::SetPreviewHeight(int previewHeight) {
  setFixedSize(kListWindowWidth, previewHeight + 360);
  // M in the control rectangles: the height of a menu bar in this style.
  static const int menuBarHeight = [] {
    QMenuBar bar;
    bar.addMenu(QStringLiteral("&File"));
    return bar.sizeHint().height();
  }();
  LayoutControls(menuBarHeight, previewHeight);
}

void ListWindow::LayoutControls(int, int) {}

void ListWindow::PlaceAt(const QPoint& topLeft, const QMargins& margins) {
  placedAt_ = topLeft + QPoint(margins.left(), margins.top());
  placing_ = true;
  // The client position: it holds also while Qt does not know the frame.
  setGeometry(QRect(placedAt_, size()));
  placing_ = false;
}

void ListWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  // A window system confirms a placement later with a move to the same
  // spot, and a window manager framing the window leaves the client area
  // where it was; only a move somewhere else is the user's.
  if (placing_ || !isVisible() || geometry().topLeft() == placedAt_) return;
  placedAt_ = geometry().topLeft();
  if (onMovedByHand) onMovedByHand();
}

void ListWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous() && onVisibilityChanged) onVisibilityChanged(true);
}

void ListWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (!event->spontaneous() && onVisibilityChanged) onVisibilityChanged(false);
}

}  // namespace quor
