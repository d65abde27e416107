#include "engine/matrix_output.h"

#include <new>
#include <utility>

#include "engine/engine.h"

namespace quor {

bool ApplyMatrixOutput(Engine& engine, const MatrixOutputPlan& plan, std::string* why) {
  auto refuse = [why](std::string text) {
    if (why != nullptr) *why = std::move(text);
    return false;
  };
  if (!plan.ok()) return refuse(plan.error);
  if (engine.flags().outputState.load() != kOutputStopped) return refuse(kMatrixOutputRunningMessage);
  if (plan.width != engine.width() || plan.height != engine.height() || plan.patch.width() != plan.width ||
      plan.patch.height() != plan.height) {
    return refuse("The matrix size changed since this output was planned: open New Matrix Output again.");
  }
  OutputDeviceList& devices = engine.outputs().devices();
  const int base = devices.count();
  if (base + static_cast<int>(plan.devices.size()) > kMaxDevices) return refuse(kDeviceListFullMessage);

  // The new patch is built before anything changes, so a failed allocation
  // leaves the project as it was.
  PatchTable patch;
  try {
    patch = plan.patch;
  } catch (const std::bad_alloc&) {
    return refuse("There is not enough memory for the new patch; nothing was changed.");
  }
  for (PatchEntry& e : patch.entries()) {
    if (e.device >= 0) e.device += base;
  }
  for (const OutputDevice& d : plan.devices) devices.Add(d);
  engine.WithTickLock([&engine, &patch] { engine.patch() = std::move(patch); });
  engine.outputs().PatchChanged();

  const MatrixOutputSettings& s = plan.settings;
  const bool universes = s.driver == kDriverArtNet || s.driver == kDriverSacn;
  engine.console().Print("Matrix output: %d x %d pixels on %d %s device%s from device %d, %d %s%s\n", plan.width,
                         plan.height, static_cast<int>(plan.devices.size()), MatrixDriverName(s.driver),
                         plan.devices.size() == 1 ? "" : "s", base + 1, plan.universes,
                         universes ? "universe" : "packet", plan.universes == 1 ? "" : "s");
  return true;
}

}  // namespace quor
