#include "ui/help_viewer.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/window_placement.h"

namespace quor {

QString DefaultHelpFolder() {
  const QDir program(QCoreApplication::applicationDirPath());
  for (const char* candidate : {"share/help", "../share/help", "../share/quor/help"}) {
    const QString path = program.absoluteFilePath(QString::fromLatin1(candidate));
    if (QFileInfo(path).isDir()) return QDir::cleanPath(path);
  }
  return program.absoluteFilePath(QStringLiteral("share/help"));
}

HelpViewer::HelpViewer(QString folder, QWidget* parent)
    : QWidget(parent, Qt::Window), owner_(parent), folder_(std::move(folder)), browser_(new QTextBrowser(this)) {
  setWindowTitle(QStringLiteral("Quor! Help"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser_);
  browser_->setSearchPaths({folder_});
  browser_->setOpenExternalLinks(false);
  resize(640, 560);
}

bool HelpViewer::Open(int contextId) {
  const QString page = QDir(folder_).absoluteFilePath(QStringLiteral("%1.html").arg(contextId));
  if (!QFileInfo(page).isFile()) return false;
  browser_->setSource(QUrl::fromLocalFile(page));
  current_ = contextId;
  // A modal dialog blocks every window but its own: the help window
  // becomes one of the dialog's while it runs.
  QWidget* modal = QApplication::activeModalWidget();
  if (modal != nullptr && modal != this && modal != lentTo_) {
    if (lentTo_ != nullptr) lentTo_->removeEventFilter(this);
    lentTo_ = modal;
    modal->installEventFilter(this);
    MoveTo(modal);
  }
  const QWidget* from = QApplication::activeWindow();
  if (!isVisible() && from != nullptr && from != this) {
    // Over the window the user asked from, wholly on its screen.
    const QMargins margins = FrameMargins(from);
    const QSize outer = size().grownBy(margins);
    const QRect frame(OuterFrame(from, margins).center() - QPoint(outer.width() / 2, outer.height() / 2), outer);
    SetFrameGeometry(this, FitInside(frame, AvailableArea(from)), margins);
  }
  show();
  KeepOnScreen(this, owner_ != nullptr ? FrameMargins(owner_) : QMargins());
  raise();
  activateWindow();
  return true;
}

void HelpViewer::MoveTo(QWidget* owner) {
  const bool shown = isVisible();
  const QPoint at = pos();
  setParent(owner, Qt::Window);  // hides the window
  move(at);
  if (shown) show();
}

bool HelpViewer::eventFilter(QObject* watched, QEvent* event) {
  // The dialog closes (a dialog also hides before it is destroyed): the
  // window goes back to its owner before the dialog could take it along.
  if (watched == lentTo_ && event->type() == QEvent::Hide && !event->spontaneous()) {
    lentTo_->removeEventFilter(this);
    lentTo_ = nullptr;
    MoveTo(owner_);
  }
  return QWidget::eventFilter(watched, event);
}

void HelpViewer::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace quor
