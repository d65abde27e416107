#include "ui/web_remote_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

#include "engine/engine.h"
#include "engine/lifecycle.h"
#include "engine/web_remote.h"

namespace quor {
namespace {

enum AddressChoice { kThisComputer = 0, kEveryInterface = 1, kGivenAddress = 2 };

}  // namespace

WebRemoteDialog::WebRemoteDialog(const WebSettings& settings, bool pinFromEnvironment, const QString& state,
                                 QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      pinFromEnvironment_(pinFromEnvironment),
      enabled_(new QCheckBox(QStringLiteral(" Web Remote Enabled"), this)),
      address_(new QComboBox(this)),
      given_(new QLineEdit(this)),
      port_(new QLineEdit(this)),
      pin_(new QLineEdit(this)) {
  setWindowTitle(QStringLiteral("Web Remote"));
  setProperty("quorHelpId", kHelpWebRemote);
  enabled_->setChecked(settings.enabled);
  address_->addItems({QStringLiteral("127.0.0.1 (this computer only)"), QStringLiteral("all (every interface)"),
                      QStringLiteral("this address:")});
  const int choice = settings.address == "127.0.0.1" ? kThisComputer
                     : settings.address == "all"     ? kEveryInterface
                                                     : kGivenAddress;
  address_->setCurrentIndex(choice);
  given_->setText(choice == kGivenAddress ? QString::fromStdString(settings.address) : QString());
  given_->setEnabled(choice == kGivenAddress);
  connect(address_, &QComboBox::currentIndexChanged, this,
          [this](int index) { given_->setEnabled(index == kGivenAddress); });
  port_->setText(QString::number(settings.port));
  pin_->setEchoMode(QLineEdit::Password);
  pin_->setPlaceholderText(settings.pinHash.empty() ? QStringLiteral("no PIN set") : QStringLiteral("unchanged"));

  auto* form = new QFormLayout;
  form->addRow(enabled_);
  form->addRow(QStringLiteral("Address:"), address_);
  form->addRow(QString(), given_);
  form->addRow(QStringLiteral("Port:"), port_);
  form->addRow(QStringLiteral("New PIN:"), pin_);
  auto* note = new QLabel(pinFromEnvironment
                              ? QStringLiteral("The PIN in use comes from QUOR_WEB_PIN in the environment.")
                              : QStringLiteral("Phones open http://<this computer's address>:<port>/"),
                          this);
  note->setWordWrap(true);
  auto* status = new QLabel(state, this);
  status->setObjectName(QStringLiteral("webRemoteState"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &WebRemoteDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &WebRemoteDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(note);
  layout->addWidget(status);
  layout->addWidget(buttons);
}

bool WebRemoteDialog::Refuse(QWidget* field, const QString& text) {
  QMessageBox::warning(this, windowTitle(), text);
  field->setFocus();
  return false;
}

bool WebRemoteDialog::Store() {
  WebSettings next = settings_;
  next.enabled = enabled_->isChecked();
  const int choice = address_->currentIndex();
  next.address = choice == kThisComputer ? "127.0.0.1" : choice == kEveryInterface ? "all" : given_->text().trimmed().toStdString();
  bool ok = false;
  const int port = port_->text().trimmed().toInt(&ok);
  WebSettings probe;
  if (!ParseWebListen(next.address + ":1", probe) || next.address.empty()) {
    return Refuse(given_, QStringLiteral("Enter an IPv4 address of this computer, for example 192.168.1.5."));
  }
  if (!ok || port < 1 || port > 65535) return Refuse(port_, QStringLiteral("Enter a port from 1 to 65535, for example 8080."));
  next.port = port;
  const QString pin = pin_->text();
  if (!pin.isEmpty()) {
    if (pin.size() < 4) return Refuse(pin_, QStringLiteral("Use a PIN of at least 4 characters."));
    SetWebPin(next, pin);
  }
  if (next.enabled && !IsLoopbackOnly(next.address) && next.pinHash.empty() && !pinFromEnvironment_) {
    return Refuse(pin_, QStringLiteral("Set a PIN before the web remote listens beyond this computer."));
  }
  settings_ = next;
  return true;
}

void WebRemoteDialog::accept() {
  if (Store()) QDialog::accept();
}

void RunWebRemoteCommand(Engine& engine, Lifecycle& lifecycle, QWidget* parent) {
  const bool fromEnvironment = !qEnvironmentVariableIsEmpty(kWebPinVariable);
  const QString state = engine.web().IsOpen()
                            ? QStringLiteral("Running on port %1.").arg(engine.web().LocalPort())
                            : QStringLiteral("Not running.");
  WebRemoteDialog dialog(lifecycle.webSettings(), fromEnvironment, state, parent);
  if (dialog.exec() != QDialog::Accepted) return;
  const WebSettings& settings = dialog.settings();
  if (const std::optional<Failure> failed = WriteWebSettings(lifecycle.paths().configFolder, settings)) {
    QMessageBox::warning(parent, QStringLiteral("Web Remote"),
                         QStringLiteral("The web remote settings could not be saved: %1")
                             .arg(QString::fromStdString(failed->DialogText())));
  }
  if (!lifecycle.ApplyWebSettings(settings) && settings.enabled) {
    QMessageBox::warning(parent, QStringLiteral("Web Remote"), QString::fromStdString(engine.web().lastError()));
  }
}

}  // namespace quor
