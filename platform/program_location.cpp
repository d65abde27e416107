#include "platform/program_location.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace quor {

std::string ExecutablePath() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

bool FolderIsWritable(const std::string& folder) { return !folder.empty() && ::access(folder.c_str(), W_OK) == 0; }

}  // namespace quor
