// The program icon and the "About" box that shows it.
#include "ui/about_box.h"

#include "ui/program_icon.h"
#include "ui_support.h"

namespace quor {
namespace {

TEST(ProgramIcon, EverySizeIsBuiltInAndTheAboutBoxShowsIt) {
  const QIcon icon = ProgramIcon();
  for (int size : kProgramIconSizes) {
    EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
    // Drawn, not a blank: transparent corners, a lit top-left pixel.
    const QImage image = icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(size, size));
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << size;
    const QColor led = image.pixelColor(size * 3 / 16, size * 3 / 16);
    EXPECT_TRUE(led.red() > 200 && led.green() < 120 && led.blue() < 120) << size << " " << led.name().toStdString();
  }

  QWidget owner;
  AboutBox* box = AboutBox::Open(&owner, {&owner});
  EXPECT_FALSE(owner.isEnabled());
  const auto* shown = box->findChild<QLabel*>("icon");
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->pixmap().toImage(), icon.pixmap(64, 64).toImage());
  // The version line names the project version, the one --version prints.
  bool versionShown = false;
  for (const QLabel* label : box->findChildren<QLabel*>()) {
    versionShown = versionShown || label->text() == QStringLiteral("Version " QUOR_VERSION);
  }
  EXPECT_TRUE(versionShown);
  box->close();
  EXPECT_TRUE(owner.isEnabled());
}

}  // namespace
}  // namespace quor
