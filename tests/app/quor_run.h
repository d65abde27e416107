// Running the real quor binary from a test, and the Art-Net project such runs load.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <iterator>

#include "engine/engine.h"
#include "engine/project_file.h"
#include "generators/generator_catalogue.h"
#include "generators/simple_color.h"
#include "show/show.h"
#include "test_support.h"

namespace quor::test {

struct ShellRun {
  int exitCode = -1;
  std::string output;
  bool Says(const std::string& text) const { return output.find(text) != std::string::npos; }
};

// Runs `command` through the shell (stdout and stderr together), killed after 30 s.
inline ShellRun Shell(const std::string& command) {
  ShellRun run;
  FILE* pipe = ::popen(("timeout -s KILL 30 sh -c '" + command + "' 2>&1").c_str(), "r");
  if (!pipe) return run;
  for (char buffer[4096]; size_t n = std::fread(buffer, 1, sizeof buffer, pipe);) run.output.append(buffer, n);
  const int status = ::pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// Occurrences of `needle` in `text`.
inline int Count(const std::string& text, const std::string& needle) {
  int n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Starts `argv` with stdout and stderr in `logPath`; when `beforeExec` fails in the child, it ends with 77.
inline pid_t Spawn(const std::vector<std::string>& argv, const std::string& logPath,
                   const std::function<bool()>& beforeExec = {}) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (beforeExec && !beforeExec()) _exit(77);
    if (!logPath.empty() && std::freopen(logPath.c_str(), "w", stdout)) dup2(fileno(stdout), fileno(stderr));
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return pid;
}

// SIGTERM, then the exit code once it has ended (-1 if it did not exit).
inline int StopQuor(pid_t pid) {
  int status = 0;
  ::kill(pid, SIGTERM), ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Saves a project with one Art-Net device to 127.0.0.1:`port` (pixel (0, 0) on channels 0..2).
inline void SaveArtNetShow(const std::string& path, int port, const std::function<void(Engine&)>& prepare) {
  Engine setup(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  prepare(setup);
  OutputDevice device;
  device.driver = kDriverArtNet, device.port = port, device.channels = 6;
  device.SetAddress("127.0.0.1");
  setup.outputs().devices().Add(device);
  setup.patch().At(0, 0) = PatchEntry{0, 0, 1, 2};
  ASSERT_EQ(SaveProject(setup, path).status, ProjectFileStatus::kDone);
}

// SaveArtNetShow with slot 1 on Simple Color, both channels showing it and
// two scenes of it: 1 "Teal" (10, 20, 30) and 2 "Amber" (200, 100, 0).
inline void SaveTwoColourShow(const std::string& path, int port) {
  SaveArtNetShow(path, port, [](Engine& setup) {
    setup.RequestType(0, 7);
    setup.RebindSlots();
    setup.SetChannelFade(kMixChannel1, 0), setup.SetMainFadeByHand(0);
    for (const auto& [name, red, green, blue] : {std::tuple("Teal", 10, 20, 30), std::tuple("Amber", 200, 100, 0)}) {
      setup.EditGenerator(0, [&](Generator& g) {
        ColorGroup& color = dynamic_cast<SimpleColorGenerator&>(g).colorGroup();
        color.SetRed(red), color.SetGreen(green), color.SetBlue(blue);
      });
      ASSERT_TRUE(setup.show().sceneList().Add(name));
    }
  });
}

}  // namespace quor::test
