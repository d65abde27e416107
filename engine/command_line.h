// The command line. A plain argument names the project file to load (the
// last one wins); -S<n>, -C<n>, -M and -P (either case) are the autostart
// switches; any other single-minus argument is ignored. Long options take the
// --name=value form so they never collide with those rules.
#pragma once

#include <string>
#include <vector>

#include "core/console.h"
#include "engine/web_protocol.h"
#include "input/osc_input.h"

namespace quor {

struct SlotRequest {
  int slot = 0;
  int type = 0;
};

struct CommandLine {
  // The single-letter switches.
  std::string loadPath;  // empty: load autosave.dat
  int autostartScene = 0;
  int autostartChase = 0;
  bool showMode = false;
  bool limitTo20Fps = false;

  // Long options.
  bool headless = false;
  bool help = false;
  bool version = false;
  int seconds = -1;  // stop after this many seconds; -1 = run until a signal
  int matrixWidth = 0;  // 0 = keep
  int matrixHeight = 0;
  std::vector<SlotRequest> slotRequests;
  std::string snapshotPath;
  std::string configDir;
  bool scanArtNet = false;  // run one Art-Net scan, print the nodes, exit
  bool listControls = false;  // print the control address space and exit
  bool listMidi = false;  // print the MIDI ports and exit
  // --osc and --osc-feedback: the OSC input (off unless --osc is given).
  OscSettings osc;
  // --web: the web remote's address and port (enabled when given; the
  // settings of the config folder apply otherwise).
  WebSettings web;

  // Problems with long options; the caller reports them and exits.
  std::vector<std::string> errors;
  // Long options nobody knows; reported as warnings and otherwise ignored.
  std::vector<std::string> unknown;
};

// Parses the arguments after the program name, writing the console lines of
// the classic switches ("-Filename to load: %s\n", ...).
CommandLine ParseCommandLine(const std::vector<std::string>& args, Console& console);

// The number after a switch letter: optional blanks and sign, then decimal
// digits; no digits give 0; values beyond the int range are clamped.
int ParseSwitchNumber(const std::string& text);

std::string UsageText();

}  // namespace quor
