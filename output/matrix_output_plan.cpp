#include "output/matrix_output_plan.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <span>

#include "core/console.h"
#include "output/ddp_encoder.h"
#include "output/device_editor.h"
#include "output/fast_patch.h"
#include "output/sacn_encoder.h"

namespace quor {
namespace {

constexpr std::array<const char*, kWiringCount> kWiringNames = {"Linewise", "Snakelines", "Columnwise", "Snakecolumns"};
constexpr std::array<const char*, kStartCornerCount> kCornerNames = {"Top-Left", "Top-Right", "Bottom-Left",
                                                                     "Bottom-Right"};

bool IsDottedIpv4Text(const std::string& text) {
  int parts = 0, digits = 0, value = 0;
  for (char c : text) {
    if (c == '.') {
      if (digits == 0) return false;
      ++parts, digits = 0, value = 0;
    } else if (c >= '0' && c <= '9') {
      value = value * 10 + (c - '0');
      if (++digits > 3 || value > 255) return false;
    } else {
      return false;
    }
  }
  return parts == 3 && digits > 0;
}

std::string Format(const char* format, auto... values) {
  char text[512];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

// One device as the device editor would store it from these fields.
OutputDevice DeviceFromForm(int driver, int width, int height, const std::string& address, int channels,
                            const std::function<void(DeviceForm&)>& fill, std::string& error) {
  DeviceForm form = OpenForm(NewDeviceDefaults(), {});
  ChangeDriver(form, driver, width, height, {});
  form.ip = address;
  form.channels = form.chanPerBlock = std::to_string(channels);
  if (fill) fill(form);
  ChannelsEdited(form);
  const FormCheck check = CheckForm(form, NewDeviceDefaults());
  if (check.failed != kFieldNone) {
    error = Format("The %s device could not be made from these settings: check the address and the start universe.",
                   MatrixDriverName(driver));
  }
  return check.device;
}

MatrixOutputPlan Refuse(MatrixOutputPlan plan, std::string error) {
  plan.error = std::move(error);
  plan.devices.clear();
  plan.patch = PatchTable();
  plan.universes = 0;
  return plan;
}

}  // namespace

int PixelOrderOf(int wiring, int startCorner) { return wiring * kStartCornerCount + startCorner; }

const char* WiringName(int wiring) {
  return wiring >= 0 && wiring < kWiringCount ? kWiringNames[static_cast<size_t>(wiring)] : "";
}

const char* StartCornerName(int corner) {
  return corner >= 0 && corner < kStartCornerCount ? kCornerNames[static_cast<size_t>(corner)] : "";
}

const char* MatrixDriverName(int driver) {
  switch (driver) {
    case kDriverArtNet:
      return "Art-Net";
    case kDriverSacn:
      return "sACN";
    case kDriverDdp:
      return "DDP";
    case kDriverTpm2Net:
      return "tpm2.net";
    default:
      return "";
  }
}

std::string ArtNetPortAddressText(int portAddress) {
  return Format("%d:%d:%d", (portAddress >> 8) & 0x7f, (portAddress >> 4) & 0xf, portAddress & 0xf);
}

MatrixOutputPlan PlanMatrixOutput(const MatrixOutputSettings& settings, int width, int height, int deviceRoom) {
  MatrixOutputPlan plan;
  plan.settings = settings;
  plan.width = width;
  plan.height = height;
  MatrixOutputSettings& s = plan.settings;
  s.pixelsPerUniverse = std::clamp(s.pixelsPerUniverse, 1, kMaxPixelsPerUniverse);
  const char* name = MatrixDriverName(s.driver);
  if (*name == '\0') return Refuse(plan, "Choose Art-Net, sACN, DDP or tpm2.net as the protocol.");
  if (width < 1 || height < 1) return Refuse(plan, "There is no matrix to patch: set the matrix size first.");
  if (s.wiring < 0 || s.wiring >= kWiringCount || s.startCorner < 0 || s.startCorner >= kStartCornerCount ||
      s.colourOrder < 0 || s.colourOrder >= kColourOrderCount) {
    return Refuse(plan, "Choose a wiring, a start corner and a colour order from their lists.");
  }
  const bool multicast = s.driver == kDriverSacn && (s.address.empty() || s.address == "multicast");
  if (!multicast && !IsDottedIpv4Text(s.address)) {
    return Refuse(plan, Format("\"%s\" is not an IP address: enter the node's address as four numbers 0 to 255, "
                               "for example 192.168.1.50%s.",
                               s.address.c_str(), s.driver == kDriverSacn ? " (or leave it empty for multicast)" : ""));
  }

  const int pixels = width * height;
  const int perUniverse = s.pixelsPerUniverse;
  std::string error;
  if (s.driver == kDriverArtNet || s.driver == kDriverSacn) {
    const int universes = (pixels + perUniverse - 1) / perUniverse;
    const bool artNet = s.driver == kDriverArtNet;
    const int first = artNet ? 0 : kSacnMinUniverse;
    const int last = artNet ? kMaxArtNetPortAddress : kSacnMaxUniverse;
    if (s.startUniverse < first || s.startUniverse > last) {
      return Refuse(plan, Format("There is no %s universe %d: choose one from %s to %s.", name, s.startUniverse,
                                 artNet ? ArtNetPortAddressText(first).c_str() : "1",
                                 artNet ? ArtNetPortAddressText(last).c_str() : "63999"));
    }
    if (static_cast<int64_t>(s.startUniverse) + universes - 1 > last) {
      const std::string from = artNet ? ArtNetPortAddressText(s.startUniverse) : std::to_string(s.startUniverse);
      const std::string end = artNet ? ArtNetPortAddressText(last) : std::to_string(last);
      return Refuse(plan, Format("The %d x %d matrix needs %d universes of %d pixels from universe %s on, but %s "
                                 "universes end at %s: choose a lower start universe or more pixels per universe.",
                                 width, height, universes, perUniverse, from.c_str(), name, end.c_str()));
    }
    if (universes > deviceRoom) {
      return Refuse(plan, Format("The %d x %d matrix needs %d devices (one per universe), but the device list has "
                                 "room for %d more (it holds at most %d): delete devices you no longer need or "
                                 "choose more pixels per universe.",
                                 width, height, universes, std::max(deviceRoom, 0), kMaxDevices));
    }
    for (int u = 0; u < universes; ++u) {
      const int count = std::min(perUniverse, pixels - u * perUniverse);
      // Art-Net carries an even number of channels.
      const int channels = artNet ? (count * 3 + 1) / 2 * 2 : count * 3;
      const int universe = s.startUniverse + u;
      plan.devices.push_back(DeviceFromForm(
          s.driver, width, height, s.address, channels,
          [&](DeviceForm& f) {
            if (artNet) {
              f.net = std::to_string(universe >> 8);
              f.subnet = std::to_string((universe >> 4) & 0xf);
              f.universe = std::to_string(universe & 0xf);
            } else {
              f.universe = std::to_string(universe);
            }
          },
          error));
    }
    plan.universes = universes;
  } else {
    if (deviceRoom < 1) {
      return Refuse(plan, Format("The device list is full (it holds at most %d devices): delete devices you no "
                                 "longer need first.",
                                 kMaxDevices));
    }
    const int channels = pixels * 3;
    if (channels > kMaxDeviceChannels) {
      return Refuse(plan, Format("The %d x %d matrix needs %d channels, more than one %s device carries (%d).", width,
                                 height, channels, name, kMaxDeviceChannels));
    }
    // A tpm2.net packet never holds more than the whole frame.
    const int perPacket =
        s.driver == kDriverDdp ? static_cast<int>(kDdpMaxDataBytes) : std::min(perUniverse * 3, channels);
    plan.universes = (channels + perPacket - 1) / perPacket;
    if (s.driver == kDriverTpm2Net && plan.universes > kMaxTpm2NetBlocks) {
      return Refuse(plan, Format("The %d x %d matrix needs %d tpm2.net packets of %d pixels, but a frame has at most "
                                 "%d packets: choose more pixels per packet.",
                                 width, height, plan.universes, perUniverse, kMaxTpm2NetBlocks));
    }
    plan.devices.push_back(DeviceFromForm(
        s.driver, width, height, s.address, channels,
        [&](DeviceForm& f) {
          if (s.driver == kDriverTpm2Net) f.chanPerBlock = std::to_string(perPacket);
        },
        error));
  }
  if (!error.empty()) return Refuse(plan, error);

  // The patch: the matrix as one FastPatch area, continued on the next
  // device wherever one is full, so the order is FastPatch's own.
  Console quiet;
  quiet.SetSink([](std::string_view) {});
  OutputDeviceList scratch(quiet, static_cast<int>(plan.devices.size()));
  for (const OutputDevice& d : plan.devices) scratch.Add(d);
  plan.patch.Create(width, height);
  FastPatchSettings fast{width, height, 0, PixelOrderOf(s.wiring, s.startCorner), s.colourOrder, 0};
  FastPatchResult result = ApplyFastPatch(plan.patch, scratch, 0, 0, fast);
  for (int d = 1; d < scratch.count() && result.applied && !result.complete(); ++d) {
    fast.device = d;
    fast.firstChannel = 0;
    result = ApplyFastPatch(plan.patch, scratch, 0, 0, fast, result.next);
  }
  if (!result.complete()) return Refuse(plan, "The devices planned for this matrix do not hold all its pixels.");
  return plan;
}

std::string PlanSummary(const MatrixOutputPlan& plan) {
  if (!plan.ok()) return plan.error;
  const MatrixOutputSettings& s = plan.settings;
  const char* name = MatrixDriverName(s.driver);
  const int count = static_cast<int>(plan.devices.size());
  if (s.driver == kDriverDdp || s.driver == kDriverTpm2Net) {
    const int channels = count > 0 ? plan.devices.front().channels : 0;
    return Format("1 %s device: %d channels (%d pixels), sent in %d packet%s per frame.", name, channels, channels / 3,
                  plan.universes, plan.universes == 1 ? "" : "s");
  }
  std::string first = std::to_string(s.startUniverse), last = std::to_string(s.startUniverse + count - 1);
  if (s.driver == kDriverArtNet) {
    first = ArtNetPortAddressText(s.startUniverse);
    last = ArtNetPortAddressText(s.startUniverse + count - 1);
  }
  std::string text =
      count == 1 ? Format("1 %s device (universe %s): ", name, first.c_str())
                 : Format("%d %s devices, one per universe (%s to %s): ", count, name, first.c_str(), last.c_str());
  // Runs of equal channel counts: "3 x 510 channels, 1 x 6 channels".
  for (int i = 0; i < count;) {
    int j = i;
    while (j < count &&
           plan.devices[static_cast<size_t>(j)].channels == plan.devices[static_cast<size_t>(i)].channels) {
      ++j;
    }
    if (i > 0) text += ", ";
    text += Format("%d x %d channels", j - i, plan.devices[static_cast<size_t>(i)].channels);
    i = j;
  }
  return text + ".";
}

}  // namespace quor
