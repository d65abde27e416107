// The program icon (share/icons/quor.svg, rendered to PNG sizes by
// tools/make-icons and compiled into the program), for every window and
// the About box. GUI thread only.
#pragma once

#include <QIcon>
#include <array>

namespace quor {

inline constexpr std::array<int, 8> kProgramIconSizes = {16, 22, 24, 32, 48, 64, 128, 256};

QIcon ProgramIcon();

}  // namespace quor
