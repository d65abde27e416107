// Plans the output of a whole matrix at once: from a protocol, an address,
// a start universe, how many pixels go into each universe and how the
// strips are wired, the list of devices to create and the patch of every
// pixel. Pure: nothing outside the returned plan is touched, so the plan
// can be shown live in a dialog, tested on its own and applied in one step
// (engine/matrix_output.h). Any thread.
#pragma once

#include <string>
#include <vector>

#include "output/device_list.h"
#include "output/output_device.h"
#include "output/patch_table.h"

namespace quor {

// Whole pixels in one 512-channel universe.
inline constexpr int kMaxPixelsPerUniverse = 170;
inline constexpr int kMaxArtNetPortAddress = 32767;  // 15 bits: Net 0..127, Subnet 0..15, Universe 0..15
inline constexpr int kWiringCount = 4;
inline constexpr int kStartCornerCount = 4;

// The drivers the plan can use, in the order the dialog lists them.
inline constexpr int kMatrixOutputDrivers[] = {kDriverArtNet, kDriverSacn, kDriverDdp, kDriverTpm2Net};

struct MatrixOutputSettings {
  int driver = kDriverArtNet;
  // IPv4 address of the node; sACN also takes "" or "multicast" (the
  // universe's multicast group).
  std::string address = "127.0.0.1";
  // Art-Net: the 15-bit port address of the first universe; sACN: its
  // universe number (1..63999). DDP and tpm2.net have no universes.
  int startUniverse = 0;
  // Art-Net and sACN: pixels per universe; tpm2.net: pixels per packet;
  // DDP: not used (its packets are fixed). Held to 1..170.
  int pixelsPerUniverse = kMaxPixelsPerUniverse;
  int wiring = 0;       // 0 lines, 1 snaking lines, 2 columns, 3 snaking columns
  int startCorner = 0;  // 0 top left, 1 top right, 2 bottom left, 3 bottom right
  int colourOrder = 0;  // as FastPatch: 0 RGB .. 5 GRB
};

struct MatrixOutputPlan {
  // Empty when the plan can be applied; otherwise one sentence naming what
  // does not fit and what to change.
  std::string error;
  MatrixOutputSettings settings;  // as planned, pixels per universe held
  int width = 0;
  int height = 0;
  // The devices to add, in order; the patch names them 0.. in this list.
  std::vector<OutputDevice> devices;
  PatchTable patch;
  // Universes the matrix takes (Art-Net, sACN) or packets per frame
  // (DDP, tpm2.net).
  int universes = 0;

  bool ok() const { return error.empty(); }
};

// The FastPatch pixel order (0..15) of a wiring and start corner.
int PixelOrderOf(int wiring, int startCorner);
const char* WiringName(int wiring);        // "" outside the range
const char* StartCornerName(int corner);   // "" outside the range
const char* MatrixDriverName(int driver);  // "" for a driver the plan cannot use

// Plans a width x height matrix. `deviceRoom` is how many more devices the
// device list takes. A plan with an error has no devices and an empty patch.
MatrixOutputPlan PlanMatrixOutput(const MatrixOutputSettings& settings, int width, int height,
                                  int deviceRoom = kMaxDevices);

// What the plan creates, for the dialog and the console: for example
// "4 Art-Net devices (universes 0:0:0 to 0:0:3): 3 x 510 channels, 1 x 6 channels".
std::string PlanSummary(const MatrixOutputPlan& plan);

// "Net:Subnet:Universe" of an Art-Net port address.
std::string ArtNetPortAddressText(int portAddress);

}  // namespace quor
