#include "ui/preview_widget.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <array>

#include "engine/engine.h"
#include "ui/preview_renderer.h"

namespace quor {

PreviewWidget::PreviewWidget(PreviewBuffer& buffer, std::function<int()> source, std::function<void(int)> setSource,
                             QWidget* parent)
    : QWidget(parent), buffer_(buffer), source_(std::move(source)), setSource_(std::move(setSource)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  SetPreviewHeight(200);
}

void PreviewWidget::SetPreviewHeight(int previewHeight) { setFixedSize(kPreviewWidth, previewHeight); }

void PreviewWidget::SetDisplaySize(const QSize& size) { setFixedSize(size); }

void PreviewWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QImage& picture = buffer_.Latest();
  if (picture.isNull() || picture.height() != height()) {
    painter.fillRect(rect(), QColor(kPreviewBackground, kPreviewBackground, kPreviewBackground));
  }
  if (picture.isNull()) return;
  if (picture.width() == width()) {
    painter.drawImage(0, 0, picture);
  } else {
    // Scaled by the same factor both ways, as the main window sizes it.
    painter.drawImage(QRect(QPoint(0, 0), picture.size() * (static_cast<double>(width()) / picture.width())), picture);
  }
}

void PreviewWidget::contextMenuEvent(QContextMenuEvent* event) {
  if (!source_ || !setSource_) return;
  // Right of and below the corner pixel, within the picture.
  const QPoint p = event->pos();
  if (p.x() < 1 || p.x() > width() - 1 || p.y() < 1 || p.y() > height() - 1) return;
  struct Entry {
    const char* text;
    int value;
  };
  static constexpr std::array<Entry, 4> kEntries = {
      {{"Mix", kPreviewMix}, {"Generator 1", kPreviewGenerator1}, {"Generator 2", kPreviewGenerator2}, {"Off", kPreviewOff}}};
  QMenu menu(this);
  for (const Entry& entry : kEntries) {
    QAction* action = menu.addAction(QString::fromLatin1(entry.text));
    action->setCheckable(true);
    action->setChecked(source_() == entry.value);
    action->setData(entry.value);
  }
  if (QAction* chosen = menu.exec(event->globalPos())) setSource_(chosen->data().toInt());
}

}  // namespace quor
