#include "ui/list_window.h"

#include <QHideEvent>
#include <QShowEvent>

namespace quor {

ListWindow::ListWindow(const QString& title, int helpId, QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(title);
  setProperty("quorHelpId", helpId);
  SetPreviewHeight(200);
}

void ListWindow::SetPreviewHeight(int previewHeight) { setFixedSize(kListWindowWidth, previewHeight + 360); }

void ListWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous() && onVisibilityChanged) onVisibilityChanged(true);
}

void ListWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (!event->spontaneous() && onVisibilityChanged) onVisibilityChanged(false);
}

}  // namespace quor
