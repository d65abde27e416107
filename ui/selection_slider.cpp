#include "ui/selection_slider.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>

namespace quor {

SelectionSlider::SelectionSlider(QWidget* parent) : WheelNeedsFocus<QSlider>(Qt::Horizontal, parent) {}

void SelectionSlider::SetSelection(int first, int last) {
  if (first == first_ && last == last_) return;
  first_ = first;
  last_ = last;
  update();
}

QRect SelectionSlider::SelectionRect() const {
  const int first = std::max(first_, minimum());
  const int last = std::min(last_, maximum());
  if (first > last) return {};
  QStyleOptionSlider option;
  initStyleOption(&option);
  const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
  const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
  // The handle's centre travels from half a handle inside one end of the
  // groove to half a handle inside the other.
  const int span = groove.width() - handle.width();
  const int origin = groove.left() + handle.width() / 2;
  auto at = [&](int value) {
    return origin + QStyle::sliderPositionFromValue(minimum(), maximum(), value, span, option.upsideDown);
  };
  int left = at(first), right = at(last);
  if (left > right) std::swap(left, right);
  const int height = std::max(4, groove.height() / 2);
  return {left, groove.center().y() - height / 2, right - left + 1, height};
}

void SelectionSlider::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QStyleOptionSlider option;
  initStyleOption(&option);
  // The groove and ticks first, then the band, then the handle over it.
  // The groove is drawn as if at the minimum: styles that fill it up to the
  // handle would otherwise show a second band that is not the selection.
  QStyleOptionSlider groove = option;
  groove.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderTickmarks;
  groove.sliderPosition = groove.sliderValue = groove.upsideDown ? maximum() : minimum();
  style()->drawComplexControl(QStyle::CC_Slider, &groove, &painter, this);
  const QRect band = SelectionRect();
  if (!band.isEmpty()) painter.fillRect(band, palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                                              QPalette::Highlight));
  option.subControls = QStyle::SC_SliderHandle;
  option.activeSubControls = isSliderDown() ? QStyle::SC_SliderHandle : QStyle::SC_None;
  style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
}

}  // namespace quor
