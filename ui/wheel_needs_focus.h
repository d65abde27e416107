// Value widgets that the mouse wheel moves only once they have the keyboard
// focus. GUI thread only.
#pragma once

#include <QWheelEvent>
#include <utility>

namespace quor {

// `Base` (a slider, a list box) with a click or Tab to take the focus, never
// the wheel: while the pointer merely passes over it the wheel event is
// ignored, so it goes on to the window or area underneath and no value
// changes by accident.
template <typename Base>
class WheelNeedsFocus : public Base {
 public:
  template <typename... Args>
  explicit WheelNeedsFocus(Args&&... args) : Base(std::forward<Args>(args)...) {
    this->setFocusPolicy(Qt::StrongFocus);
  }

 protected:
  void wheelEvent(QWheelEvent* event) override {
    if (!this->hasFocus()) {
      event->ignore();
      return;
    }
    Base::wheelEvent(event);
  }
};

}  // namespace quor
