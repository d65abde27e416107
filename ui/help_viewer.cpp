#include "ui/help_viewer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

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
    : QWidget(parent, Qt::Window), folder_(std::move(folder)), browser_(new QTextBrowser(this)) {
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
  show();
  raise();
  activateWindow();
  return true;
}

}  // namespace quor
