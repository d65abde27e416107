// The "Web Remote" dialog of the Setup menu: the web remote on or off, the
// address it listens on (this computer only, every interface or one given
// address), its port and a new PIN. "OK" checks the values, keeps them in
// web.json of the config folder (never in the project file) and restarts
// the server with them. RunWebRemoteCommand is what the menu entry does.
// GUI thread only.
#pragma once

#include <QDialog>

#include "engine/web_protocol.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace quor {

class Engine;
class Lifecycle;

inline constexpr int kHelpWebRemote = 66;

class WebRemoteDialog : public QDialog {
 public:
  // `pinFromEnvironment`: QUOR_WEB_PIN is set and is the PIN in use.
  WebRemoteDialog(const WebSettings& settings, bool pinFromEnvironment, const QString& state, QWidget* parent);

  QCheckBox* enabledBox() const { return enabled_; }
  QComboBox* addressList() const { return address_; }
  QLineEdit* addressEdit() const { return given_; }
  QLineEdit* portEdit() const { return port_; }
  QLineEdit* pinEdit() const { return pin_; }
  // The settings the fields give (after a passed Store).
  const WebSettings& settings() const { return settings_; }

  // Checks the fields into settings(); false (with a message, the field
  // focused) when one is refused.
  bool Store();
  void accept() override;

 private:
  bool Refuse(QWidget* field, const QString& text);

  WebSettings settings_;
  bool pinFromEnvironment_;
  QCheckBox* enabled_;
  QComboBox* address_;
  QLineEdit* given_;
  QLineEdit* port_;
  QLineEdit* pin_;
};

// Runs the dialog; on "OK" writes web.json and applies the settings.
void RunWebRemoteCommand(Engine& engine, Lifecycle& lifecycle, QWidget* parent);

}  // namespace quor
