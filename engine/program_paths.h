// Where Quor keeps its files: the program folder (the executable's folder)
// and the folder of autosave.dat, which is the program folder when it is
// writable, else $XDG_CONFIG_HOME/quor (default ~/.config/quor), unless the
// command line names one.
#pragma once

#include <string>

namespace quor {

struct ProgramPaths {
  std::string programFolder;
  std::string configFolder;
  std::string autosavePath;
  // The bundled demo show, share/demo.qrx beside the program or one folder
  // up (the build tree); empty when neither is there. Its scenes name their
  // pictures relative to `demoRoot`, the folder that holds share/.
  std::string demoShowPath;
  std::string demoRoot;
  // The web remote's page files, share/web beside the program or one
  // folder up; empty when neither is there.
  std::string webPageFolder;
};

// `configDirOption` is the --config-dir value (empty: choose as above).
// Creates the config folder when it does not exist yet.
ProgramPaths ResolveProgramPaths(const std::string& configDirOption);

// The folder part of `executablePath` ("" when it has none, "/" for a file
// in the root folder).
std::string FolderOf(const std::string& executablePath);

}  // namespace quor
