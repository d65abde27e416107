// One preview area: paints the latest picture of its preview buffer at
// 320 x PreviewHeight. The channel previews carry the source menu ("Mix",
// "Generator 1", "Generator 2", "Off") on a right click inside the picture.
// GUI thread only.
#pragma once

#include <QWidget>
#include <atomic>

namespace quor {

class PreviewBuffer;

class PreviewWidget : public QWidget {
 public:
  // `source` is the engine's preview source of a channel preview, or
  // nullptr for the output preview (no menu).
  PreviewWidget(PreviewBuffer& buffer, std::atomic<int>* source, QWidget* parent);
  void SetPreviewHeight(int previewHeight);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  PreviewBuffer& buffer_;
  std::atomic<int>* source_;
};

}  // namespace quor
