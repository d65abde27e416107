#include "ui/device_power_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>
#include <cmath>

#include "engine/engine.h"
#include "engine/installation.h"
#include "output/device_list.h"

namespace quor {

DevicePowerDialog::DevicePowerDialog(Engine& engine, int device, std::string sidePath, QWidget* parent)
    : QDialog(parent),
      engine_(engine),
      device_(device),
      sidePath_(std::move(sidePath)),
      gain_{new QLineEdit(this), new QLineEdit(this), new QLineEdit(this)},
      cap_(new QLineEdit(this)),
      budget_(new QLineEdit(this)),
      milliamps_(new QLineEdit(this)),
      draw_(new QLabel(this)) {
  setWindowTitle(QString::fromLatin1(kDevicePowerTitle));
  showError = [this](const QString& text) { QMessageBox::critical(this, QStringLiteral("Error"), text); };
  const std::vector<DeviceCorrection> corrections = engine_.outputs().corrections();
  const DeviceCorrection c =
      device_ >= 0 && static_cast<size_t>(device_) < corrections.size() ? corrections[static_cast<size_t>(device_)]
                                                                         : DeviceCorrection{};
  for (int k = 0; k < 3; ++k) gain_[k]->setText(QString::number(c.gain[static_cast<size_t>(k)]));
  cap_->setText(QString::number(c.cap));
  budget_->setText(QString::number(c.budgetMilliamps / 1000.0, 'f', 3));
  milliamps_->setText(QString::number(c.milliampsPerChannel));
  const OutputDeviceList& devices = engine_.outputs().devices();
  const QString name = device_ >= 0 && device_ < devices.count()
                           ? QString::fromStdString(InstallationDeviceName(devices[device_]))
                           : QString();
  auto* form = new QFormLayout;
  form->addRow(new QLabel(QStringLiteral("Output %1: %2").arg(device_ + 1).arg(name), this));
  form->addRow(QStringLiteral("Red gain (%)"), gain_[0]);
  form->addRow(QStringLiteral("Green gain (%)"), gain_[1]);
  form->addRow(QStringLiteral("Blue gain (%)"), gain_[2]);
  form->addRow(QStringLiteral("Brightness cap (%)"), cap_);
  form->addRow(QStringLiteral("Budget (A, 0 = none)"), budget_);
  form->addRow(QStringLiteral("mA per channel at full"), milliamps_);
  form->addRow(draw_);
  for (QLineEdit* edit : {milliamps_, budget_}) connect(edit, &QLineEdit::textChanged, this, [this] { ShowDraw(); });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel | QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  ShowDraw();
}

bool DevicePowerDialog::Read(DeviceCorrection& c, QLineEdit** refused, QString* why) const {
  auto whole = [&](QLineEdit* edit, int lo, int hi, int& out, const QString& what) {
    bool ok = false;
    const int value = edit->text().trimmed().toInt(&ok);
    if (ok && value >= lo && value <= hi) return out = value, true;
    *refused = edit;
    *why = QStringLiteral("%1 \"%2\" was not stored: enter a whole number from %3 to %4.")
               .arg(what, edit->text())
               .arg(lo)
               .arg(hi);
    return false;
  };
  const char* colours[3] = {"Red gain", "Green gain", "Blue gain"};
  for (size_t k = 0; k < 3; ++k) {
    if (!whole(gain_[k], 0, 100, c.gain[k], QString::fromLatin1(colours[k]))) return false;
  }
  if (!whole(cap_, 0, 100, c.cap, QStringLiteral("Brightness cap"))) return false;
  bool ok = false;
  const double amperes = budget_->text().trimmed().toDouble(&ok);
  if (!ok || !(amperes >= 0) || amperes > 100000) {
    *refused = budget_;
    *why = QStringLiteral("Budget \"%1\" was not stored: enter the supply's current in amperes (for example 4 or 2.5), "
                          "or 0 for no budget.")
               .arg(budget_->text());
    return false;
  }
  c.budgetMilliamps = static_cast<int>(std::lround(amperes * 1000));
  return whole(milliamps_, 1, 1000, c.milliampsPerChannel, QStringLiteral("mA per channel"));
}

void DevicePowerDialog::ShowDraw() {
  // What full white on every channel of the device would draw.
  const OutputDeviceList& devices = engine_.outputs().devices();
  if (device_ < 0 || device_ >= devices.count()) return;
  bool ok = false;
  const int milliamps = milliamps_->text().trimmed().toInt(&ok);
  if (!ok || milliamps < 1) return draw_->clear();
  const double full = static_cast<double>(devices[device_].channels) * milliamps / 1000.0;
  draw_->setText(QStringLiteral("Full white on all %1 channels: %2 A").arg(devices[device_].channels).arg(full, 0, 'f', 2));
}

void DevicePowerDialog::accept() {
  DeviceCorrection c;
  QLineEdit* refused = nullptr;
  QString why;
  if (!Read(c, &refused, &why)) {
    showError(why);
    refused->setFocus();
    refused->selectAll();
    return;
  }
  Outputs& outputs = engine_.outputs();
  std::vector<DeviceCorrection> corrections = outputs.corrections();
  if (device_ < 0 || static_cast<size_t>(device_) >= corrections.size()) return QDialog::reject();
  corrections[static_cast<size_t>(device_)] = c;
  outputs.SetCorrections(std::move(corrections));
  if (!sidePath_.empty()) {
    if (const std::optional<Failure> failed = SaveInstallation(engine_, sidePath_)) {
      showError(QStringLiteral("The power settings are used until Quor ends but could not be kept in %1: %2. Check "
                               "that the folder can be written.")
                    .arg(QString::fromStdString(sidePath_), QString::fromStdString(failed->message)));
    }
  }
  QDialog::accept();
}

}  // namespace quor
