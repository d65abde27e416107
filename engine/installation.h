// Settings for fixed installations, kept in the project's side file: frame
// synchronization ("sync" section) and per-device colour correction and
// power budget ("power" section). Both are off unless the side file or the
// command line turns them on; then output bytes are exactly as without
// them. A power entry names its device by index and name, so that a
// reordered or edited device list never gets another device's settings.
//
//   "sync":  {"artSync": true, "sacnUniverse": 7000}
//   "power": {"devices": [{"index": 1, "name": "Art-Net 192.168.1.20",
//             "gainRed": 100, "gainGreen": 90, "gainBlue": 80,
//             "brightnessCap": 75, "budgetMilliamps": 4000,
//             "milliampsPerChannel": 20}]}
//
// UI thread.
#pragma once

#include <QJsonObject>
#include <optional>
#include <string>
#include <vector>

#include "output/output_device.h"
#include "output/outputs.h"
#include "platform/failure.h"

namespace quor {

class Engine;
struct CommandLine;

inline constexpr const char* kSyncSection = "sync";
inline constexpr const char* kPowerSection = "power";

// How a device is named in the side file: its driver and address (or path).
std::string InstallationDeviceName(const OutputDevice& device);

// Parsers: fields that are missing or out of range keep their defaults and
// add a line to `problems`.
OutputSync SyncFromJson(const QJsonObject& section, std::vector<std::string>& problems);
QJsonObject SyncToJson(const OutputSync& sync);
// One correction per device of `devices` (inactive where the section has
// no entry for it or the entry names another device).
std::vector<DeviceCorrection> PowerFromJson(const QJsonObject& section, const std::vector<OutputDevice>& devices,
                                            std::vector<std::string>& problems);
QJsonObject PowerToJson(const std::vector<DeviceCorrection>& corrections, const std::vector<OutputDevice>& devices);

// Reads both sections of the side file at `sidePath` into the engine's
// outputs, then lets --art-sync and --sacn-sync turn sync on for this run.
// Problems go to the console, one line each.
void LoadInstallation(Engine& engine, const std::string& sidePath, const CommandLine& commandLine);
// Writes the engine's current settings into both sections.
std::optional<Failure> SaveInstallation(Engine& engine, const std::string& sidePath);

}  // namespace quor
