#include "app/version_line.h"

#include "quor_build_info.h"

namespace quor {

std::string VersionLine() {
  return std::string("Quor ") + QUOR_VERSION + " (" + QUOR_BUILD_COMMIT + ", " + QUOR_BUILD_TYPE + ")\n";
}

}  // namespace quor
