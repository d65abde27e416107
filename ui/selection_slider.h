// A horizontal slider that also shows a selection range on its groove, as
// the "Low" and "Hi" band sliders of the audio trigger setup do: the band
// between the selection's first and last position is painted in the
// highlight colour under the handle. Like the mixer's sliders it follows
// the wheel only while it has the focus. GUI thread only.
#pragma once

#include <QSlider>

#include "ui/wheel_needs_focus.h"

namespace quor {

class SelectionSlider : public WheelNeedsFocus<QSlider> {
 public:
  explicit SelectionSlider(QWidget* parent = nullptr);
  // The range to show, in slider positions; first > last shows none.
  void SetSelection(int first, int last);
  int selectionFirst() const { return first_; }
  int selectionLast() const { return last_; }
  // The pixel columns (inclusive) the band covers, empty when none shows.
  QRect SelectionRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int first_ = 0;
  int last_ = -1;
};

}  // namespace quor
