#include "ui/matrix_size_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/engine.h"
#include "ui/help_viewer.h"

namespace quor {
namespace {

constexpr int kMaxSide = 320;
constexpr int kMinSide = 4;
constexpr int kMaxPixels = 16384;

}  // namespace

MatrixSizeDialog::MatrixSizeDialog(Engine& engine, QWidget* parent)
    : QDialog(parent),
      engine_(engine),
      width_(new QLineEdit(this)),
      height_(new QLineEdit(this)),
      count_(new QLabel(this)),
      pixelStep_(new QComboBox(this)),
      aspect_(new QCheckBox(QStringLiteral(" Resize Preview Height to hit Aspect Ratio"), this)),
      grid_(new QCheckBox(QStringLiteral(" Display Grid in Preview"), this)) {
  setWindowTitle(QStringLiteral("Matrix Size"));
  setProperty("quorHelpId", kHelpMatrixSize);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Width (4-320px)"), width_);
  form->addRow(QStringLiteral("Height (4-320px)"), height_);
  form->addRow(QStringLiteral("Pixel Count (max 16384 allowed)"), count_);
  form->addRow(QStringLiteral("PixelStep (increase on a big matrix) "), pixelStep_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(aspect_);
  layout->addWidget(grid_);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  for (QLineEdit* edit : {width_, height_}) edit->setMaxLength(3);
  width_->setText(QString::number(engine_.width()));
  height_->setText(QString::number(engine_.height()));
  count_->setText(QString::number(engine_.width() * engine_.height()));
  for (int step = 1; step <= 4; ++step) pixelStep_->addItem(QString::number(step));
  pixelStep_->setCurrentIndex(std::clamp(engine_.settings().pixelStep.load(), 1, 4) - 1);
  aspect_->setChecked(engine_.settings().previewAspect.load() != 0);
  grid_->setChecked(engine_.settings().previewGrid.load() != 0);
  connect(height_, &QLineEdit::textChanged, this, [this] { Correct(height_, width_); });
  connect(width_, &QLineEdit::textChanged, this, [this] { Correct(width_, height_); });
}

void MatrixSizeDialog::Correct(QLineEdit* changed, QLineEdit* other) {
  const int value = changed->text().toInt();
  int otherValue = other->text().toInt();
  const int capped = std::min(value, kMaxSide);
  if (capped > 0 && capped * otherValue > kMaxPixels) otherValue = kMaxPixels / capped;
  if (capped != value) changed->setText(QString::number(capped));
  if (otherValue != other->text().toInt()) other->setText(QString::number(otherValue));
  count_->setText(QString::number(capped * otherValue));
}

void MatrixSizeDialog::Apply() {
  const int width = std::max(width_->text().toInt(), kMinSide);
  const int height = std::max(height_->text().toInt(), kMinSide);
  const int aspect = aspect_->isChecked() ? 1 : 0;
  engine_.settings().pixelStep.store(pixelStep_->currentIndex() + 1);
  engine_.settings().previewGrid.store(grid_->isChecked() ? 1 : 0);
  if (width != engine_.width() || height != engine_.height() || aspect != engine_.settings().previewAspect.load()) {
    engine_.console().Print("new matrix size: %d x %d\n", width, height);
    engine_.settings().previewAspect.store(aspect);
    engine_.ResizeMatrix(width, height, aspect);
  }
}

void MatrixSizeDialog::accept() {
  Apply();
  QDialog::accept();
}

}  // namespace quor
