#include "ui/matrix_size_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>

#include "engine/engine.h"
#include "ui/help_viewer.h"
#include "ui/window_state.h"

namespace quor {
namespace {

constexpr int kMaxSide = 320;
constexpr int kMinSide = 4;
constexpr int kMaxPixels = 16384;
// Room for more digits than a side can have, so that a mistyped 100000 is
// seen and refused rather than cut to 100.
constexpr int kSideMaxLength = 6;

// The number typed into `edit`, or -1 when it is not a whole number.
int SideIn(const QLineEdit* edit) {
  bool ok = false;
  const int value = edit->text().trimmed().toInt(&ok);
  return ok && value >= 0 ? value : -1;
}

bool InRange(int side) { return side >= kMinSide && side <= kMaxSide; }

}  // namespace

MatrixSizeDialog::MatrixSizeDialog(Engine& engine, WindowState& windows, QWidget* parent)
    : QDialog(parent),
      engine_(engine),
      windows_(windows),
      width_(new QLineEdit(this)),
      height_(new QLineEdit(this)),
      count_(new QLabel(this)),
      pixelStep_(new QComboBox(this)),
      aspect_(new QCheckBox(QStringLiteral(" Resize Preview Height to hit Aspect Ratio"), this)),
      grid_(new QCheckBox(QStringLiteral(" Display Grid in Preview"), this)) {
  setWindowTitle(QStringLiteral("Matrix Size"));
  setProperty("quorHelpId", kHelpMatrixSize);
  showError = [this](const QString& text) { QMessageBox::critical(this, QStringLiteral("Error"), text); };
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

  for (QLineEdit* edit : {width_, height_}) edit->setMaxLength(kSideMaxLength);
  width_->setText(QString::number(engine_.width()));
  height_->setText(QString::number(engine_.height()));
  count_->setText(QString::number(engine_.width() * engine_.height()));
  for (int step = 1; step <= 4; ++step) pixelStep_->addItem(QString::number(step));
  pixelStep_->setCurrentIndex(std::clamp(engine_.settings().pixelStep.load(), 1, 4) - 1);
  aspect_->setChecked(windows_.layout.previewAspect != 0);
  grid_->setChecked(windows_.layout.previewGrid != 0);
  connect(height_, &QLineEdit::textChanged, this, [this] { Correct(height_, width_); });
  connect(width_, &QLineEdit::textChanged, this, [this] { Correct(width_, height_); });
}

void MatrixSizeDialog::Correct(QLineEdit* changed, QLineEdit* other) {
  const int value = SideIn(changed);
  int otherValue = SideIn(other);
  // Only a side within range moves the other one; anything else is left as
  // typed for "OK" to refuse.
  if (InRange(value) && InRange(otherValue) && value * otherValue > kMaxPixels) {
    otherValue = kMaxPixels / value;
    other->setText(QString::number(otherValue));
  }
  count_->setText(value >= 0 && otherValue >= 0 ? QString::number(int64_t{value} * otherValue) : QString());
}

int MatrixSizeDialog::ReadSide(QLineEdit* edit, const char* name) {
  const int side = SideIn(edit);
  if (InRange(side)) return side;
  showError(QStringLiteral("The matrix %1 \"%2\" was not applied: enter %3 to %4 pixels.")
                .arg(QString::fromLatin1(name), edit->text())
                .arg(kMinSide)
                .arg(kMaxSide));
  edit->setFocus();
  edit->selectAll();
  return 0;
}

bool MatrixSizeDialog::Apply() {
  const int width = ReadSide(width_, "width");
  if (width == 0) return false;
  const int height = ReadSide(height_, "height");
  if (height == 0) return false;
  if (width * height > kMaxPixels) {
    showError(QStringLiteral("The matrix %1 x %2 has %3 pixels and was not applied: at most %4 are allowed.")
                  .arg(width)
                  .arg(height)
                  .arg(width * height)
                  .arg(kMaxPixels));
    width_->setFocus();
    width_->selectAll();
    return false;
  }
  const int aspect = aspect_->isChecked() ? 1 : 0;
  engine_.SetPixelStep(pixelStep_->currentIndex() + 1);
  WindowLayout& layout = windows_.layout;
  layout.previewGrid = grid_->isChecked() ? 1 : 0;
  const bool resize = width != engine_.width() || height != engine_.height() || aspect != layout.previewAspect;
  layout.previewAspect = aspect;
  engine_.SetWindowLayout(layout);
  if (resize) {
    engine_.console().Print("new matrix size: %d x %d\n", width, height);
    engine_.EditDocument("Matrix Size", [&] { engine_.ResizeMatrix(width, height); });
  }
  return true;
}

void MatrixSizeDialog::accept() {
  if (Apply()) QDialog::accept();
}

}  // namespace quor
