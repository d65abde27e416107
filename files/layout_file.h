// LED layout files: which LED, counted along the wiring from 0, sits at
// which matrix cell. Three formats are read: a ledmap JSON object
// ({"map": [...]}, one LED number per cell in row-major order, -1 for a
// cell without LED), a custom model XML (.xmodel: the CustomModel attribute
// holds rows separated by ';' and cells by ',', node numbers counted from 1,
// an empty cell is a hole) and CSV lines "index,x,y" (0-based, as Export
// writes them). Every problem carries the line of the file it was found on.
// A layout then patches a chain of devices exactly as FastPatch fills an
// area, and one chain's patch can be written back as CSV.
// Pure functions over text and tables; UI thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "output/device_list.h"
#include "output/patch_table.h"

namespace quor {

enum class LayoutFormat { kLedmapJson, kCustomModel, kCsv };

struct LayoutLed {
  int led = 0;   // along the wiring, 0-based
  int x = 0;     // matrix cell, 0-based from the left
  int y = 0;     // 0-based from the top
  int line = 0;  // line of the file it was read from
};

struct LayoutProblem {
  int line = 0;  // 1-based; 0 = the file as a whole
  std::string text;
  friend bool operator==(const LayoutProblem&, const LayoutProblem&) = default;
};

struct Layout {
  std::vector<LayoutLed> leds;  // in file order
  std::vector<LayoutProblem> problems;
  bool readable = false;  // false: the file could not be read at all
};

// By the file name's ending (.json, .xmodel, .csv); otherwise by the first
// character that is not blank ('{' JSON, '<' XML, else CSV).
LayoutFormat LayoutFormatFor(std::string_view fileName, std::string_view text);
const char* LayoutFormatName(LayoutFormat format);

// `matrixWidth` lays out a ledmap without its own "width".
Layout ParseLayout(LayoutFormat format, std::string_view text, int matrixWidth);

// Keeps the LEDs that can be patched into a width x height matrix and says
// why the others cannot: outside the matrix, an LED number given twice, a
// cell given twice (the first one stays), and gaps in the LED numbers
// (reported at the line of the LED after the gap; the channels of the
// missing LEDs stay unused). Problems are appended to `layout.problems`.
std::vector<LayoutLed> CheckLayout(Layout& layout, int width, int height);

// A chain of devices: LED n goes to chain device n / pixelsPerDevice, the
// first being `firstDevice` and each next one the next device on the same
// node (as FastPatch continues); its red channel sits at
// (n % pixelsPerDevice) * channelsPerLed, from `firstChannel` on the first
// device and from 0 on the others.
struct LayoutChain {
  int firstDevice = 0;
  int pixelsPerDevice = 170;
  int channelsPerLed = 3;  // 3..4; a fourth channel (white) stays unpatched
  int colourOrder = 0;     // FastPatch's colour orders
  int firstChannel = 0;
  friend bool operator==(const LayoutChain&, const LayoutChain&) = default;
};

// The chain's devices in order, as far as the list has them (at most
// `limit`); empty when `firstDevice` takes no patch.
std::vector<int> ChainDevices(const OutputDeviceList& devices, int firstDevice, int limit);

// Patches `leds` (as CheckLayout left them) into `patch`. An LED whose
// device is missing from the chain or whose channels do not fit is left
// out with a problem at its line. Returns the number patched.
int PatchLayout(PatchTable& patch, const OutputDeviceList& devices, const std::vector<LayoutLed>& leds,
                const LayoutChain& chain, std::vector<LayoutProblem>& problems);

// The chain's patched cells as CSV ("index,x,y" header, then one line per
// cell in LED order), numbered by the chain's channel arithmetic, so that
// importing it with the same chain gives the same patch.
std::string ExportLayoutCsv(const PatchTable& patch, const OutputDeviceList& devices, const LayoutChain& chain);

// "line 7: ..." or the text alone for the whole file.
std::string ProblemText(const LayoutProblem& problem);

}  // namespace quor
