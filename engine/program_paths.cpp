#include "engine/program_paths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace quor {
namespace {

std::string ExecutablePath() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

bool WritableFolder(const std::string& folder) { return !folder.empty() && access(folder.c_str(), W_OK) == 0; }

std::string UserConfigFolder() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return std::string(xdg) + "/quor";
  if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.config/quor";
  return "/tmp/quor";
}

}  // namespace

std::string FolderOf(const std::string& executablePath) {
  const size_t slash = executablePath.find_last_of('/');
  if (slash == std::string::npos) return "";
  if (slash == 0) return "/";
  return executablePath.substr(0, slash);
}

ProgramPaths ResolveProgramPaths(const std::string& configDirOption) {
  ProgramPaths paths;
  paths.programFolder = FolderOf(ExecutablePath());
  if (!configDirOption.empty()) {
    paths.configFolder = configDirOption;
  } else if (WritableFolder(paths.programFolder)) {
    paths.configFolder = paths.programFolder;
  } else {
    paths.configFolder = UserConfigFolder();
  }
  std::error_code error;
  std::filesystem::create_directories(paths.configFolder, error);
  paths.autosavePath = paths.configFolder + "/autosave.dat";
  return paths;
}

}  // namespace quor
