// The line `quor --version` prints: "Quor <version> (<commit>, <build type>)".
#pragma once

#include <string>

namespace quor {

std::string VersionLine();

}  // namespace quor
