#include "engine/program_paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/program_location.h"

namespace quor {
namespace {

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
  } else if (FolderIsWritable(paths.programFolder)) {
    paths.configFolder = paths.programFolder;
  } else {
    paths.configFolder = UserConfigFolder();
  }
  std::error_code error;
  std::filesystem::create_directories(paths.configFolder, error);
  paths.autosavePath = paths.configFolder + "/autosave.dat";
  for (const char* root : {"", "/.."}) {
    const std::filesystem::path base = std::filesystem::path(paths.programFolder + root);
    if (std::filesystem::is_regular_file(base / "share/demo.qrx", error)) {
      std::filesystem::path canonical = std::filesystem::weakly_canonical(base, error);
      if (error || canonical.empty()) canonical = base;
      paths.demoRoot = canonical.string();
      paths.demoShowPath = paths.demoRoot + "/share/demo.qrx";
      break;
    }
  }
  for (const char* root : {"", "/.."}) {
    const std::filesystem::path pages = std::filesystem::path(paths.programFolder + root) / "share/web";
    if (std::filesystem::is_regular_file(pages / "index.html", error)) {
      paths.webPageFolder = std::filesystem::weakly_canonical(pages, error).string();
      break;
    }
  }
  return paths;
}

}  // namespace quor
