#include "ui/window_lock.h"

#include <QApplication>
#include <QEvent>
#include <algorithm>

namespace quor {

namespace {

// Windows that stand on their own (not menus or other pop-ups).
bool IsOwnWindow(const QWidget* widget) {
  return widget->isWindow() && widget->windowType() != Qt::Popup && widget->windowType() != Qt::ToolTip;
}

}  // namespace

WindowLock::WindowLock(QWidget* box, const std::vector<QWidget*>& windows) : box_(box) {
  // Disabling a window disables the windows it owns as well; those that
  // are not locked themselves are enabled again right after.
  std::vector<QPointer<QWidget>> usable;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (IsOwnWindow(window) && window->isEnabled()) usable.emplace_back(window);
  }
  for (QWidget* window : windows) {
    if (window == nullptr) continue;
    locked_.emplace_back(window);
    window->setEnabled(false);
    // A window's `destroyed` comes before it deletes its children (such as
    // the box): a window on its way out is not enabled again.
    connect(window, &QObject::destroyed, this, [this](QObject* gone) {
      std::erase_if(locked_, [gone](const QPointer<QWidget>& w) { return w.data() == gone; });
    });
  }
  for (const QPointer<QWidget>& window : usable) {
    if (window && !IsLocked(window) && !window->isEnabled()) window->setEnabled(true);
  }
  qApp->installEventFilter(this);
}

WindowLock::~WindowLock() {
  qApp->removeEventFilter(this);
  for (const QPointer<QWidget>& window : locked_) {
    if (window) window->setEnabled(true);
  }
}

bool WindowLock::IsLocked(const QObject* object) const {
  return std::any_of(locked_.begin(), locked_.end(), [object](const QPointer<QWidget>& w) { return w == object; });
}

bool WindowLock::eventFilter(QObject* watched, QEvent* event) {
  if (!watched->isWidgetType()) return false;
  auto* widget = static_cast<QWidget*>(watched);
  if (event->type() == QEvent::WindowActivate && IsLocked(widget) && box_ && box_->isVisible()) {
    box_->raise();
    box_->activateWindow();
  } else if (event->type() == QEvent::Show && IsOwnWindow(widget) && !widget->isEnabled() &&
             !widget->testAttribute(Qt::WA_ForceDisabled) && !IsLocked(widget)) {
    // A window opened meanwhile by a locked owner (an error box) would be
    // disabled with it and could never be answered.
    widget->setEnabled(true);
  }
  return false;
}

}  // namespace quor
