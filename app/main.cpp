// Quor's entry point: the windowed interface when a display is there,
// otherwise (or with --headless) the headless host.
#include <QApplication>
#include <QGuiApplication>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/headless_host.h"
#include "app/windowed_host.h"
#include "core/controls.h"
#include "engine/command_line.h"
#include "engine/engine.h"
#include "generators/generator_catalogue.h"
#include "input/midi_input.h"
#include "ui/program_icon.h"

int main(int argc, char** argv) {
  using namespace quor;
  std::vector<std::string> args(argv + 1, argv + argc);
  bool headless = false;
  for (const std::string& arg : args) {
    if (arg == "--help") {
      std::fputs(UsageText().c_str(), stdout);
      return 0;
    }
    if (arg == "--list-controls") {
      std::fputs(ControlListText().c_str(), stdout);
      return 0;
    }
    if (arg == "--list-midi") {
      std::string why;
      const std::unique_ptr<MidiBackend> backend = MakeSystemMidiBackend(&why);
      std::fputs(MidiPortListText(backend.get(), why).c_str(), stdout);
      return 0;
    }
    if (arg == "--version") {
      std::printf("quor %s\n", QUOR_VERSION);
      return 0;
    }
    headless = headless || arg == "--headless";
  }
  std::optional<DisplayCheck> display;
  if (!headless) {
    display.emplace();
    if (!display->ok()) {
      std::fprintf(stderr, "quor: %s; running headless (Ctrl+C ends)\n", display->why().c_str());
      headless = true;
    }
  }
  InstallStopSignals();
  int qtArgc = 1;
  if (headless) {
    // Text rendering needs a QGuiApplication; without windows it runs on the
    // offscreen platform.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(qtArgc, argv);
    app.setWindowIcon(ProgramIcon());
    Engine engine(BuiltinGenerators());
    HeadlessHost host(engine, std::move(args));
    return host.Run();
  }
  QApplication app(qtArgc, argv);
  app.setWindowIcon(ProgramIcon());  // every window shows it
  display.reset();
  app.setQuitOnLastWindowClosed(false);
  Engine engine(BuiltinGenerators());
  WindowedHost host(engine, std::move(args));
  return host.Run(app);
}
