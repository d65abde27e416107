#include "engine/command_line.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "core/generator.h"
#include "core/rgb_frame.h"

namespace quor {
namespace {

bool ParseInt(const std::string& text, long low, long high, int* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0' || value < low || value > high) return false;
  *out = static_cast<int>(value);
  return true;
}

void ParseLongOption(const std::string& arg, CommandLine& line) {
  const size_t eq = arg.find('=');
  const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
  const bool hasValue = eq != std::string::npos;
  const std::string value = hasValue ? arg.substr(eq + 1) : std::string();
  auto bad = [&](const char* why) { line.errors.push_back(arg + ": " + why); };

  if (name == "headless" && !hasValue) {
    line.headless = true;
  } else if (name == "help" && !hasValue) {
    line.help = true;
  } else if (name == "version" && !hasValue) {
    line.version = true;
  } else if (name == "list-controls" && !hasValue) {
    line.listControls = true;
  } else if (name == "list-midi" && !hasValue) {
    line.listMidi = true;
  } else if (name == "scan-artnet" && !hasValue) {
    line.scanArtNet = true;
  } else if (name == "osc") {
    if (!ParseOscListen(value, line.osc)) bad("expected [ADDRESS:]PORT, for example 7700 or 192.168.1.5:7700");
  } else if (name == "web") {
    if (!ParseWebListen(value, line.web)) bad("expected [ADDRESS:]PORT, for example 8080, all:8080 or 192.168.1.5:8080");
  } else if (name == "osc-feedback") {
    line.osc.feedback = ParseOscEndpoint(value);
    if (!line.osc.feedback) bad("expected HOST:PORT with a dotted IPv4 host, for example 192.168.1.20:9000");
  } else if (name == "seconds") {
    if (!ParseInt(value, 0, INT_MAX, &line.seconds)) bad("expected a whole number of seconds");
  } else if (name == "matrix") {
    const size_t x = value.find_first_of("xX");
    int w = 0;
    int h = 0;
    if (x == std::string::npos || !ParseInt(value.substr(0, x), 1, 100000, &w) ||
        !ParseInt(value.substr(x + 1), 1, 100000, &h)) {
      bad("expected WIDTHxHEIGHT, for example 32x16");
    } else if (!IsValidMatrixSize(w, h)) {
      bad("width and height must each be 4..320 with at most 16384 pixels");
    } else {
      line.matrixWidth = w;
      line.matrixHeight = h;
    }
  } else if (name == "slot") {
    const size_t colon = value.find(':');
    SlotRequest request;
    if (colon == std::string::npos || !ParseInt(value.substr(0, colon), 0, kSlotCount - 1, &request.slot) ||
        !ParseInt(value.substr(colon + 1), 0, INT_MAX, &request.type)) {
      bad("expected SLOT:TYPE with slot 0..3 and a generator type id");
    } else {
      line.slotRequests.push_back(request);
    }
  } else if (name == "snapshot") {
    if (value.empty()) bad("expected a file name"); else line.snapshotPath = value;
  } else if (name == "config-dir") {
    if (value.empty()) bad("expected a folder"); else line.configDir = value;
  } else {
    line.unknown.push_back(arg);
  }
}

}  // namespace

int ParseSwitchNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > INT_MAX) value = INT_MAX + 1LL;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

CommandLine ParseCommandLine(const std::vector<std::string>& args, Console& console) {
  CommandLine line;
  for (const std::string& arg : args) {
    if (arg.empty()) continue;
    if (arg[0] != '-') {
      line.loadPath = arg;
      console.Print("-Filename to load: %s\n", arg.c_str());
      continue;
    }
    if (arg.size() >= 2 && arg[1] == '-') {
      ParseLongOption(arg, line);
      continue;
    }
    const char letter = arg.size() > 1 ? static_cast<char>(std::tolower(static_cast<unsigned char>(arg[1]))) : '\0';
    const std::string rest = arg.size() > 2 ? arg.substr(2) : std::string();
    switch (letter) {
      case 's':
        line.autostartScene = ParseSwitchNumber(rest);
        console.Print("-Autostart-Scene: %d\n", line.autostartScene);
        break;
      case 'c':
        line.autostartChase = ParseSwitchNumber(rest);
        console.Print("-Autostart-Chaser: %d\n", line.autostartChase);
        break;
      case 'm':
        line.showMode = true;
        console.Write("-Starting with active Showmode\n");
        break;
      case 'p':
        line.limitTo20Fps = true;
        console.Write("-limit output to 20fps\n");
        break;
      default:
        break;  // anything else after a minus sign is ignored
    }
  }
  return line;
}

std::string UsageText() {
  return "Usage: quor [PROJECT.qrx] [-S<n>] [-C<n>] [-M] [-P] [options]\n"
         "\n"
         "  PROJECT.qrx        project to load instead of autosave.dat\n"
         "  -S<n>              recall scene n (1-based) at start\n"
         "  -C<n>              start chase n (1-based) at start\n"
         "  -M                 start in show mode\n"
         "  -P                 send 20 frames per second instead of 25\n"
         "\n"
         "  --headless         run without any window until SIGINT or SIGTERM\n"
         "  --seconds=N        stop after N seconds\n"
         "  --matrix=WxH       matrix size (4..320 each, at most 16384 pixels)\n"
         "  --slot=S:TYPE      run generator type TYPE (type id) in slot S (0..3)\n"
         "  --snapshot=FILE    write the last output frame to FILE (PNG) at exit\n"
         "  --config-dir=DIR   folder for autosave.dat\n"
         "  --scan-artnet      look for Art-Net nodes for five seconds, list them and exit\n"
         "  --list-controls    print every control's name, kind and range and exit\n"
         "  --list-midi        print the MIDI input and output ports and exit\n"
         "  --osc=[ADDR:]PORT  take OSC commands on UDP PORT (7700 is usual), on ADDR only if given\n"
         "  --osc-feedback=HOST:PORT  send every control change as OSC to HOST:PORT\n"
         "  --web=[ADDR:]PORT  serve the web remote on TCP PORT, on 127.0.0.1 unless ADDR (or all) is given;\n"
         "                     a PIN from Setup > Web Remote or QUOR_WEB_PIN is needed beyond 127.0.0.1\n"
         "  --help, --version\n";
}

}  // namespace quor
