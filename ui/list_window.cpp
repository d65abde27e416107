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

void ListWindow::PlaceAt(const QPoint& topLeft) {
  placedAt_ = topLeft;
  placing_ = true;
  move(topLeft);
  placing_ = false;
}

void ListWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  // A window system confirms a placement later with a move to the same
  // spot; only a move somewhere else is the user's.
  if (placing_ || !isVisible() || pos() == placedAt_) return;
  placedAt_ = pos();
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
