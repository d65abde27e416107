// The "Web Remote" dialog's checks: what it refuses (with the field to fix
// focused) and what it stores, the PIN only as a hash.
#include "ui/web_remote_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "ui_support.h"

namespace quor {
namespace {

TEST(WebRemoteDialog, RefusesWhatCannotWorkAndStoresThePinHashed) {
  struct Case {
    int address;  // 0 this computer, 1 all, 2 given
    const char* given;
    const char* port;
    const char* pin;
    bool ok;
  };
  const Case cases[] = {
      {0, "", "8080", "", true},            // loopback without a PIN
      {1, "", "8080", "", false},           // every interface needs a PIN
      {2, "192.168.1.5", "80", "", false},  // so does a given address
      {1, "", "8080", "2468", true},
      {2, "192.168.1.5", "9000", "2468", true},
      {2, "my-host", "9000", "2468", false},
      {0, "", "0", "", false},
      {0, "", "65536", "", false},
      {0, "", "80x", "", false},
      {1, "", "8080", "12", false},  // too short a PIN
  };
  for (const Case& c : cases) {
    WebSettings settings;
    WebRemoteDialog dialog(settings, false, QStringLiteral("Not running."), nullptr);
    dialog.enabledBox()->setChecked(true);
    dialog.addressList()->setCurrentIndex(c.address);
    dialog.addressEdit()->setText(QString::fromLatin1(c.given));
    dialog.portEdit()->setText(QString::fromLatin1(c.port));
    dialog.pinEdit()->setText(QString::fromLatin1(c.pin));
    test::BoxCatcher box;
    EXPECT_EQ(dialog.Store(), c.ok) << c.address << " " << c.port << " " << c.pin;
    EXPECT_EQ(box.opened, !c.ok) << c.address << " " << c.port;
    if (!c.ok) continue;
    EXPECT_TRUE(dialog.settings().enabled);
    EXPECT_EQ(dialog.settings().port, QString::fromLatin1(c.port).toInt());
    EXPECT_EQ(dialog.settings().pinHash.empty(), *c.pin == 0);
    if (*c.pin) {
      EXPECT_TRUE(WebPinMatches(dialog.settings(), QString::fromLatin1(c.pin)));
    }
  }
  // A PIN from the environment is enough for every interface.
  WebRemoteDialog fromEnvironment(WebSettings{}, true, QString(), nullptr);
  fromEnvironment.enabledBox()->setChecked(true);
  fromEnvironment.addressList()->setCurrentIndex(1);
  EXPECT_TRUE(fromEnvironment.Store());
  EXPECT_EQ(fromEnvironment.settings().address, "all");
}

}  // namespace
}  // namespace quor
