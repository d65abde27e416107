#include "ui/program_icon.h"

#include <QString>

namespace quor {

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : kProgramIconSizes) {
    icon.addFile(QStringLiteral(":/quor/icons/hicolor/%1x%1/apps/quor.png").arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace quor
