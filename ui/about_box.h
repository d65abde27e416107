// The modeless "About" box. While it is open the windows it was given are
// disabled (WindowLock); "Close", Escape or closing the box enables them
// again and destroys it.
// GUI thread only.
#pragma once

#include <QDialog>
#include <memory>
#include <vector>

namespace quor {

class WindowLock;

inline constexpr const char* kProductLine = "Quor! - LED Matrix Control";
// The project version (CMakeLists.txt), the one `quor --version` prints.
inline constexpr const char* kVersionText = QUOR_VERSION;

class AboutBox : public QDialog {
 public:
  // Creates, shows and returns the box centred over `owner`; it deletes
  // itself when closed.
  static AboutBox* Open(QWidget* owner, const std::vector<QWidget*>& disabledWhileOpen);
  ~AboutBox() override;

 protected:
  void done(int result) override;

 private:
  explicit AboutBox(QWidget* owner);
  std::unique_ptr<WindowLock> lock_;
};

}  // namespace quor
