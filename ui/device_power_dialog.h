// "Power": the colour correction and power budget of one output device
// (output/power_limit.h): a gain per colour, a brightness cap, a current
// budget in amperes and the draw of one channel at full. OK keeps them in
// the outputs and writes them into the show's side file ("power"
// section); they take effect when output next starts. GUI thread only.
#pragma once
#include <QDialog>
#include <QString>
#include <functional>
#include <string>

#include "output/power_limit.h"

class QLabel;
class QLineEdit;

namespace quor {

class Engine;

inline constexpr const char* kDevicePowerTitle = "Power";

class DevicePowerDialog : public QDialog {
 public:
  // `device`: index into the device list. `sidePath`: where the settings
  // are kept (empty: only for this run).
  DevicePowerDialog(Engine& engine, int device, std::string sidePath, QWidget* parent);
  // Error box; tests replace it to read the message.
  std::function<void(const QString& text)> showError;
  QLineEdit* gainEdit(int colour) const { return gain_[colour]; }
  QLineEdit* capEdit() const { return cap_; }
  QLineEdit* budgetEdit() const { return budget_; }
  QLineEdit* milliampsEdit() const { return milliamps_; }
  QLabel* drawLabel() const { return draw_; }
  void accept() override;

 private:
  void ShowDraw();
  // The correction as typed; nullptr and the field to correct otherwise.
  bool Read(DeviceCorrection& correction, QLineEdit** refused, QString* why) const;

  Engine& engine_;
  int device_;
  std::string sidePath_;
  QLineEdit* gain_[3];
  QLineEdit* cap_;
  QLineEdit* budget_;
  QLineEdit* milliamps_;
  QLabel* draw_;
};

}  // namespace quor
