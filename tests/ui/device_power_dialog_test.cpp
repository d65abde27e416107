// "Power..." in Output Devices: the selected device's correction and
// budget, refused in place when out of range, kept in the outputs and in
// the side file.
#include "ui/device_power_dialog.h"

#include "engine/installation.h"
#include "files/side_file.h"
#include "output/drivers.h"
#include "ui/output_dialogs.h"
#include "ui_support.h"

namespace quor {
namespace {

TEST(DevicePowerDialog, RefusesOutOfRangeValuesAndKeepsTheRestInTheSideFile) {
  Engine engine{BuiltinGenerators(), test::kManualClock};
  for (const char* address : {"10.0.0.1", "10.0.0.2"}) {
    OutputDevice d;
    d.driver = kDriverArtNet, d.channels = 510, d.headerLength = 18, d.port = kArtNetPort;
    d.SetAddress(address);
    engine.outputs().devices().Add(d);
  }
  const std::string side = test::FreshTestDir("device_power") + "/show.qrx.json";
  OutputDevicesDialog devices(engine, nullptr);
  devices.settingsPath = [&side] { return side; };
  devices.list()->setCurrentItem(devices.list()->topLevelItem(1));
  QStringList errors;
  bool ran = false;
  devices.runPower = [&](DevicePowerDialog& d) {
    ran = true;
    d.showError = [&errors](const QString& text) { errors << text; };
    EXPECT_EQ(d.drawLabel()->text(), "Full white on all 510 channels: 10.20 A");
    struct Step {
      QLineEdit* edit;
      const char* text;
      const char* error;  // "" = accepted
    } steps[] = {
        {d.gainEdit(1), "101", "Green gain \"101\" was not stored: enter a whole number from 0 to 100."},
        {d.gainEdit(1), "90", ""},
        {d.budgetEdit(), "-1", "Budget \"-1\" was not stored: enter the supply's current in amperes (for example 4 or "
                               "2.5), or 0 for no budget."},
        {d.budgetEdit(), "2.5", ""},
        {d.milliampsEdit(), "0", "mA per channel \"0\" was not stored: enter a whole number from 1 to 1000."},
        {d.milliampsEdit(), "30", ""},
    };
    for (const Step& step : steps) {
      errors.clear();
      test::Retype(step.edit, step.text);
      d.setResult(QDialog::Rejected);
      d.accept();
      EXPECT_EQ(errors.value(0), QString::fromLatin1(step.error)) << step.text;
      EXPECT_EQ(d.result(), *step.error ? QDialog::Rejected : QDialog::Accepted) << step.text;
    }
    return d.result();
  };
  devices.Power();
  ASSERT_TRUE(ran);
  const DeviceCorrection expected{{100, 90, 100}, 100, 2500, 30};
  EXPECT_EQ(engine.outputs().corrections(), (std::vector<DeviceCorrection>{{}, expected}));
  std::vector<std::string> problems;
  const std::vector<OutputDevice> list(engine.outputs().devices().devices().begin(),
                                       engine.outputs().devices().devices().end());
  EXPECT_EQ(PowerFromJson(SideSection(ReadSideFile(side), kPowerSection), list, problems),
            (std::vector<DeviceCorrection>{{}, expected}));
  EXPECT_TRUE(problems.empty());
}

}  // namespace
}  // namespace quor
