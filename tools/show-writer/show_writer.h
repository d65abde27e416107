// What the show writers of the measuring and page-test tools share: saving
// an engine's show with its output running (so loading the show starts it)
// and the command line "PROGRAM OUT.qrx PORT".
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/engine.h"
#include "engine/project_file.h"

namespace quor {

// Opens the outputs, saves the show to `path` and closes them again; 0 on
// success, else 1 with the reason on stderr.
inline int SaveRunningShow(Engine& engine, const std::string& path, const char* program) {
  if (!engine.OpenOutputs()) {
    std::fprintf(stderr, "%s: the outputs did not open\n", program);
    return 1;
  }
  const ProjectFileResult saved = SaveProject(engine, path);
  engine.CloseOutputs();
  if (saved.status != ProjectFileStatus::kDone) {
    std::fprintf(stderr, "%s: cannot save %s: %s\n", program, path.c_str(), saved.reason.c_str());
    return 1;
  }
  return 0;
}

// main() of a show writer: checks "OUT.qrx PORT" and calls write(path, port).
template <typename Write>
int ShowWriterMain(int argc, char** argv, const char* program, Write write) {
  const int port = argc == 3 ? std::atoi(argv[2]) : 0;
  if (port <= 0 || port > 65535) {
    std::fprintf(stderr, "usage: %s OUT.qrx PORT\n", program);
    return 2;
  }
  return write(argv[1], port);
}

}  // namespace quor
