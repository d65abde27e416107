#include "ui/about_box.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "ui/program_icon.h"
#include "ui/window_lock.h"

namespace quor {

AboutBox::AboutBox(QWidget* owner) : QDialog(owner) {
  setWindowTitle(QStringLiteral("About"));
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);
  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("icon"));
  icon->setPixmap(ProgramIcon().pixmap(64, 64));
  layout->addWidget(icon);
  layout->addWidget(new QLabel(QString::fromLatin1(kProductLine), this));
  layout->addWidget(new QLabel(QStringLiteral("Version %1").arg(QString::fromLatin1(kVersionText)), this));
  auto* notice = new QGroupBox(this);
  auto* noticeLayout = new QVBoxLayout(notice);
  auto* text = new QLabel(QStringLiteral("Free software for LED matrix shows.\n"
                                         "Renders, mixes and sends pictures to LED hardware\n"
                                         "over Art-Net, tpm2.net and serial lines."),
                          notice);
  noticeLayout->addWidget(text);
  layout->addWidget(notice);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  close->setDefault(true);
  layout->addWidget(close);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

AboutBox::~AboutBox() = default;

AboutBox* AboutBox::Open(QWidget* owner, const std::vector<QWidget*>& disabledWhileOpen) {
  auto* box = new AboutBox(owner);
  box->adjustSize();
  if (owner != nullptr) box->move(owner->frameGeometry().center() - box->rect().center());
  box->lock_ = std::make_unique<WindowLock>(box, disabledWhileOpen);
  box->show();
  return box;
}

void AboutBox::done(int result) {
  lock_.reset();
  QDialog::done(result);
}

}  // namespace quor
