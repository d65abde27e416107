#include "ui/remote_control_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

#include "engine/engine.h"
#include "engine/project_file.h"
#include "input/remote_control.h"
#include "input/remote_input_parser.h"
#include "output/device_editor.h"
#include "output/serial_port.h"
#include "show/show.h"
#include "ui/display_field.h"

namespace quor {
namespace {

constexpr int kHelpRemoteControl = 31;
constexpr int kMaxNet = 127;
constexpr int kMaxShownNet = 128;  // larger values are shown as 0
constexpr int kMaxSubnetOrUniverse = 15;

// The number in `field`, or -1 when it is not a whole number >= 0.
int NumberIn(const QLineEdit* field) {
  bool ok = false;
  const int value = field->text().trimmed().toInt(&ok);
  return ok && value >= 0 ? value : -1;
}

}  // namespace

RemoteControlDialog::RemoteControlDialog(Engine& engine, std::vector<std::string> serialPorts, QWidget* parent)
    : QDialog(parent),
      engine_(engine),
      type_(new QComboBox(this)),
      channel_(new QLineEdit(this)),
      port_(new QLineEdit(this)),
      net_(new QLineEdit(this)),
      subnet_(new QLineEdit(this)),
      universe_(new QLineEdit(this)),
      channelFields_{new QLineEdit(this), new QLineEdit(this), new QLineEdit(this), new QLineEdit(this)},
      serial_(new QComboBox(this)),
      baud_(new QComboBox(this)),
      enabled_(new QCheckBox(QStringLiteral(" Remote Control Enabled"), this)),
      limit_(new QCheckBox(QStringLiteral(" Limit to 32 Scenes/Chases"), this)) {
  setWindowTitle(QStringLiteral("Remote Control"));
  setProperty("quorHelpId", kHelpRemoteControl);
  const RemoteInputSettings& s = engine_.remoteInputSettings();

  type_->addItems({QStringLiteral("tpm2"), QStringLiteral("tpm2.net"), QStringLiteral("Art-Net")});
  type_->setCurrentIndex(s.inputType >= kRemoteTpm2 && s.inputType <= kRemoteArtNet ? s.inputType : kRemoteTpm2Net);
  // "Port" only shows the port the input type listens on.
  MakeDisplayOnly(port_);
  net_->setMaxLength(3);
  subnet_->setMaxLength(2);
  universe_->setMaxLength(2);
  channel_->setText(QString::number(s.firstChannel));
  // The field holds the Net. For tpm2 the stored value is a baud rate,
  // which is no Net: it shows as 0 (whole, never cut to the field's three
  // characters).
  net_->setText(QString::number(s.baudOrNet >= 0 && s.baudOrNet <= kMaxShownNet ? s.baudOrNet : 0));
  subnet_->setText(QString::number(s.subnet));
  universe_->setText(QString::number(s.universe));
  for (const std::string& name : serialPorts) serial_->addItem(QString::fromStdString(name));
  const int serialIndex = serial_->findText(QString::fromStdString(s.PortName()));
  if (serialIndex >= 0) serial_->setCurrentIndex(serialIndex);
  for (int baud : kBaudRates) baud_->addItem(QString::number(baud));
  const int baudIndex = baud_->findText(QString::number(s.baudOrNet));
  if (baudIndex >= 0) baud_->setCurrentIndex(baudIndex);
  enabled_->setChecked(engine_.settings().remoteControlEnabled.load() == 1);
  limit_->setChecked(s.limitTo32 == 1);

  auto* channels = new QGroupBox(QStringLiteral("Remote Channels"), this);
  auto* channelForm = new QFormLayout(channels);
  const char* names[] = {"Scene", "Chase", "Master", "Strobe"};
  for (int i = 0; i < 4; ++i) {
    MakeDisplayOnly(channelFields_[i]);
    channelForm->addRow(QString::fromLatin1(names[i]), channelFields_[i]);
  }
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Device Type"), type_);
  form->addRow(QStringLiteral("Channel"), channel_);
  form->addRow(QStringLiteral("Port"), port_);
  form->addRow(QStringLiteral("Net"), net_);
  form->addRow(QStringLiteral("Subnet"), subnet_);
  form->addRow(QStringLiteral("Universe"), universe_);
  form->addRow(QStringLiteral("Serial Port"), serial_);
  form->addRow(QStringLiteral("Baud"), baud_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* columns = new QHBoxLayout;
  columns->addLayout(form);
  columns->addWidget(channels);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(enabled_);
  layout->addWidget(limit_);
  layout->addLayout(columns);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(type_, &QComboBox::currentIndexChanged, this, [this] { TypeChanged(); });
  connect(channel_, &QLineEdit::textChanged, this, [this] { ChannelChanged(); });
  TypeChanged();
  ChannelChanged();
}

void RemoteControlDialog::TypeChanged() {
  const int type = type_->currentIndex();
  const bool artNet = type == kRemoteArtNet;
  const bool serial = type == kRemoteTpm2;
  for (QLineEdit* field : {net_, subnet_, universe_}) field->setEnabled(artNet);
  serial_->setEnabled(serial);
  baud_->setEnabled(serial);
  port_->setEnabled(false);
  if (artNet && NumberIn(net_) > kMaxShownNet) net_->setText(QStringLiteral("0"));
  if (type == kRemoteTpm2Net) port_->setText(QString::number(kTpm2NetPort));
  if (artNet) port_->setText(QString::number(kArtNetPort));
  if (serial) port_->clear();
}

void RemoteControlDialog::ChannelChanged() {
  const int first = NumberIn(channel_);
  for (int i = 0; i < 4; ++i) {
    channelFields_[i]->setText(first >= 0 ? QString::number(first + i) : QString());
  }
}

bool RemoteControlDialog::Refuse(QLineEdit* field) {
  field->setFocus();
  field->selectAll();
  return false;
}

bool RemoteControlDialog::Store() {
  RemoteInputSettings& s = engine_.remoteInputSettings();
  s.inputType = type_->currentIndex();
  const int channel = NumberIn(channel_);
  if (channel < 0 || channel > kMaxRemoteFirstChannel) return Refuse(channel_);
  s.firstChannel = channel;
  if (s.inputType == kRemoteTpm2Net) s.listenPort = kTpm2NetPort;
  if (s.inputType == kRemoteArtNet) {
    const int net = NumberIn(net_);
    if (net < 0 || net > kMaxNet) return Refuse(net_);
    s.baudOrNet = net;
    const int subnet = NumberIn(subnet_);
    if (subnet < 0 || subnet > kMaxSubnetOrUniverse) return Refuse(subnet_);
    s.subnet = subnet;
    const int universe = NumberIn(universe_);
    if (universe < 0 || universe > kMaxSubnetOrUniverse) return Refuse(universe_);
    s.universe = universe;
    s.listenPort = kArtNetPort;
  }
  if (s.inputType == kRemoteTpm2) {
    s.baudOrNet = baud_->currentText().toInt();
    s.SetPortName(serial_->currentText().toStdString());
  }
  engine_.SetRemoteControlEnabled(enabled_->isChecked());
  s.limitTo32 = limit_->isChecked() ? 1 : 0;
  return true;
}

void RemoteControlDialog::accept() {
  if (Store()) QDialog::accept();
}

bool RunRemoteControlCommand(Engine& engine, std::vector<std::string> serialPorts, QWidget* parent) {
  RemoteControl& remote = engine.remote();
  remote.CloseRemoteInput();  // the dialog always works on a closed input
  {
    RemoteControlDialog dialog(engine, std::move(serialPorts), parent);
    dialog.exec();
  }
  if (engine.settings().remoteControlEnabled.load() != 1) return false;
  if (remote.OpenRemoteInput()) return true;
  engine.SetRemoteControlEnabled(false);
  QMessageBox::critical(parent, QStringLiteral("Error"), QString::fromLatin1(kOpenRemoteInputFailedMessage));
  return false;
}

}  // namespace quor
