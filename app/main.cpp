// Quor's entry point. Until the windowed interface exists every run is
// headless.
#include <QGuiApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "app/headless_host.h"
#include "engine/command_line.h"
#include "engine/engine.h"
#include "generators/builtin_generators.h"

int main(int argc, char** argv) {
  using namespace quor;
  std::vector<std::string> args(argv + 1, argv + argc);
  bool headless = false;
  for (const std::string& arg : args) {
    if (arg == "--help") {
      std::fputs(UsageText().c_str(), stdout);
      return 0;
    }
    if (arg == "--version") {
      std::printf("quor %s\n", QUOR_VERSION);
      return 0;
    }
    headless = headless || arg == "--headless";
  }
  if (!headless) {
    std::fputs("quor: the windowed interface is not part of this build yet; running headless (Ctrl+C ends)\n", stderr);
  }

  // Text rendering needs a QGuiApplication; without windows it runs on the
  // offscreen platform.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);

  Engine engine(BuiltinGenerators());
  InstallStopSignals();
  HeadlessHost host(engine, std::move(args));
  return host.Run();
}
