// An engine with its start-up and shut-down path, as a host runs them, on a
// manual clock and with its console captured; the config folder is `dir`.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/lifecycle.h"
#include "test_support.h"

namespace quor::test {

struct StartedLifecycle {
  StartedLifecycle(const std::string& dir, std::vector<std::string> args, LifecycleOptions options = {})
      : lifecycle(engine, WithDir(dir, std::move(args)), std::move(options)) {}
  static std::vector<std::string> WithDir(const std::string& dir, std::vector<std::string> args) {
    args.push_back("--config-dir=" + dir);
    return args;
  }
  Engine engine{TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1}};
  ConsoleCapture console{engine.console()};
  Lifecycle lifecycle;
};

}  // namespace quor::test
