// One preview area: paints the latest picture of its preview buffer at
// 320 x PreviewHeight, or scaled to a larger display size. The channel previews carry the source menu ("Mix",
// "Generator 1", "Generator 2", "Off") on a right click inside the picture.
// GUI thread only.
#pragma once

#include <QWidget>
#include <functional>

namespace quor {

class PreviewBuffer;

class PreviewWidget : public QWidget {
 public:
  // A channel preview reads and sets its source through `source` and
  // `setSource`; the output preview passes empty functions (no menu).
  PreviewWidget(PreviewBuffer& buffer, std::function<int()> source, std::function<void(int)> setSource,
                QWidget* parent);
  // 320 x previewHeight, the picture's own size.
  void SetPreviewHeight(int previewHeight);
  // Shows the picture scaled to `size` (a main window made larger).
  void SetDisplaySize(const QSize& size);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  PreviewBuffer& buffer_;
  std::function<int()> source_;
  std::function<void(int)> setSource_;
};

}  // namespace quor
