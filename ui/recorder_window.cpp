#include "ui/recorder_window.h"

#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "engine/engine.h"
#include "ui/display_field.h"
#include "ui/fixed_layout.h"

namespace quor {

QString AskRecordingFile(QWidget* parent) {
  QFileDialog dialog(parent, QStringLiteral("Record into File ..."), QString(), QString::fromLatin1(kRecordingFilter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("qrr"));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

RecorderWindow::RecorderWindow(Engine& engine, QWidget* owner) : QDialog(owner), engine_(engine) {
  setWindowTitle(QString::fromLatin1(kRecorderTitle));
  setObjectName(QStringLiteral("QuorRecorderWindow"));
  setModal(false);
  setAttribute(Qt::WA_DeleteOnClose);
  setProperty("quorHelpId", kHelpRecorder);
  setFixedSize(300, 100);
  chooseFile = AskRecordingFile;
  Place(new QGroupBox(QStringLiteral("Recorder"), this), 8, 4, 284, 88)->lower();
  Place(new QLabel(QStringLiteral("File"), this), 18, 26, 30, 20);
  file_ = Place(new QLineEdit(this), 50, 24, 232, 22);
  MakeDisplayOnly(file_);
  record_ = Place(new QPushButton(QStringLiteral("Record"), this), 50, 56, 100, 26);
  stop_ = Place(new QPushButton(QStringLiteral("Stop"), this), 182, 56, 100, 26);
  for (QPushButton* b : {record_, stop_}) {
    b->setCheckable(true);
    b->setAutoDefault(false);
  }
  // Escape hides the dialog without a close event; it goes away all the same.
  connect(this, &QDialog::finished, this, &QObject::deleteLater);
  connect(record_, &QPushButton::clicked, this, [this] { Record(); });
  connect(stop_, &QPushButton::clicked, this, [this] {
    engine_.recorder().Stop();
    Refresh();
  });
  if (owner != nullptr) move(owner->frameGeometry().center() - QPoint(width() / 2, height() / 2));
  Refresh();
}

void RecorderWindow::Record() {
  Recorder& recorder = engine_.recorder();
  if (!recorder.Recording()) {
    const QString path = chooseFile ? chooseFile(this) : QString();
    // A cancelled dialog or a file that cannot be created leaves the
    // recorder idle.
    if (!path.isEmpty()) recorder.Start(path.toStdString(), engine_.width(), engine_.height());
  }
  Refresh();
}

void RecorderWindow::Refresh() {
  const bool recording = engine_.recorder().Recording();
  record_->setChecked(recording);
  stop_->setChecked(!recording);
  file_->setText(recording ? QString::fromStdString(engine_.recorder().fileName()) : QString());
}

void RecorderWindow::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F4 && !event->isAutoRepeat()) {
    close();
    return;
  }
  QDialog::keyReleaseEvent(event);
}

}  // namespace quor
