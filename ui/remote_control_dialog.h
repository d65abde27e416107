// The "Remote Control" dialog: input type, first channel with the four
// channel fields it implies, Net/Subnet/Universe for Art-Net, serial port
// and baud for tpm2, " Remote Control Enabled" and the 32-scene limit.
// "OK" stores each value once it has passed its check; a refused number
// keeps the dialog open with that field focused and selected.
// RunRemoteControlCommand is what the menu entry does around the dialog.
// GUI thread only.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace quor {

class Engine;

class RemoteControlDialog : public QDialog {
 public:
  // `serialPorts` are the names the serial port list offers.
  RemoteControlDialog(Engine& engine, std::vector<std::string> serialPorts, QWidget* parent);

  QComboBox* typeList() const { return type_; }
  QLineEdit* channelEdit() const { return channel_; }
  QLineEdit* netEdit() const { return net_; }
  QLineEdit* subnetEdit() const { return subnet_; }
  QLineEdit* universeEdit() const { return universe_; }
  QLineEdit* portField() const { return port_; }
  QLineEdit* channelField(int channel) const { return channelFields_[channel]; }
  QComboBox* serialList() const { return serial_; }
  QComboBox* baudList() const { return baud_; }
  QCheckBox* enabledBox() const { return enabled_; }
  QCheckBox* limitBox() const { return limit_; }

  // "OK": stores the values in order; false (dialog stays open) when a
  // number is refused.
  bool Store();
  // "OK": Store, and close when it passed.
  void accept() override;

 private:
  void TypeChanged();
  void ChannelChanged();
  bool Refuse(QLineEdit* field);

  Engine& engine_;
  QComboBox* type_;
  QLineEdit* channel_;
  QLineEdit* port_;
  QLineEdit* net_;
  QLineEdit* subnet_;
  QLineEdit* universe_;
  QLineEdit* channelFields_[4];
  QComboBox* serial_;
  QComboBox* baud_;
  QCheckBox* enabled_;
  QCheckBox* limit_;
};

// The menu command: closes the input, runs the dialog, and opens the input
// again when " Remote Control Enabled" is on; a failed open switches the
// option off and shows the error box. Returns whether the input is open.
// `serialPorts` fill the dialog's port list.
bool RunRemoteControlCommand(Engine& engine, std::vector<std::string> serialPorts, QWidget* parent);

}  // namespace quor
