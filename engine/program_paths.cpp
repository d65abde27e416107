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

// An installed program (bin/quor beside share/quor) never writes into its
// program folder, even when it may (run as root).
bool InstalledData(const std::string& programFolder) {
  std::error_code error;
  return std::filesystem::is_directory(programFolder + "/../share/quor", error);
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
  } else if (!InstalledData(paths.programFolder) && FolderIsWritable(paths.programFolder)) {
    paths.configFolder = paths.programFolder;
  } else {
    paths.configFolder = UserConfigFolder();
  }
  std::error_code error;
  std::filesystem::create_directories(paths.configFolder, error);
  paths.autosavePath = paths.configFolder + "/autosave.dat";
  // The demo beside the program or one folder up (the build tree) lies in
  // share/ under its root; an installed one (bin/quor) lies in
  // share/quor/, which is its own root: the installation gives that folder
  // a share/demo-picture.png link for the picture the demo names.
  struct Place {
    const char* root;
    const char* show;
  };
  for (const Place place : {Place{"", "share/demo.qrx"}, Place{"/..", "share/demo.qrx"},
                            Place{"/../share/quor", "demo.qrx"}}) {
    const std::filesystem::path base = std::filesystem::path(paths.programFolder + place.root);
    if (std::filesystem::is_regular_file(base / place.show, error)) {
      std::filesystem::path canonical = std::filesystem::weakly_canonical(base, error);
      if (error || canonical.empty()) canonical = base;
      paths.demoRoot = canonical.string();
      paths.demoShowPath = paths.demoRoot + "/" + place.show;
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
