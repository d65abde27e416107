// The built-in help browser: one HTML page per help context id
// (<folder>/<id>.html), shown in a small window that works offline. A
// context without a page does nothing. A window or dialog gets F1 help by
// setting its topic as the "quorHelpId" property (setProperty); the main
// window opens that page when F1 is released while it is in front.
// Opened while a modal dialog runs, the help window belongs to that dialog
// for the time being, so the dialog does not block it: it scrolls, comes to
// the front and closes (close box or Escape) like any window, and goes back
// to its owner when the dialog closes. It opens wholly on the screen.
// GUI thread only.
#pragma once

#include <QString>
#include <QWidget>

class QTextBrowser;

namespace quor {

inline constexpr int kHelpMainWindow = 1;
inline constexpr int kHelpShowMode = 24;
inline constexpr int kHelpMatrixSize = 25;

// share/help next to the program or one folder up (the build tree).
QString DefaultHelpFolder();

class HelpViewer : public QWidget {
 public:
  explicit HelpViewer(QString folder, QWidget* parent = nullptr);
  // Shows the page of `contextId`; returns false (and shows nothing) when
  // there is no such page.
  bool Open(int contextId);
  int currentContext() const { return current_; }
  QTextBrowser* browser() const { return browser_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Parents the window to `owner` as a top-level, keeping it shown.
  void MoveTo(QWidget* owner);

  QWidget* owner_;   // the main window (or none)
  QWidget* lentTo_ = nullptr;  // the modal dialog it belongs to meanwhile
  QString folder_;
  QTextBrowser* browser_;
  int current_ = 0;
};

}  // namespace quor
