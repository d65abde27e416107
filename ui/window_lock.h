// Disables whole windows while a modeless box (the "About" box, "Edit
// Chase") is the only place to act: their controls, menus and frames take
// no input, the main window's function keys wait (it checks isEnabled),
// and a click that activates a locked window passes the activation on to
// the box. Windows the locked ones own but that are not locked themselves
// (the box, the recorder, the help viewer, an error box shown meanwhile)
// stay usable. Ending the lock enables the windows again.
// GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <vector>

namespace quor {

class WindowLock : public QObject {
 public:
  // Locks `windows` (null entries are skipped) for as long as this lives;
  // `box` is the window that gets the activation instead.
  WindowLock(QWidget* box, const std::vector<QWidget*>& windows);
  ~WindowLock() override;
  WindowLock(const WindowLock&) = delete;
  WindowLock& operator=(const WindowLock&) = delete;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool IsLocked(const QObject* object) const;

  QPointer<QWidget> box_;
  std::vector<QPointer<QWidget>> locked_;
};

}  // namespace quor
