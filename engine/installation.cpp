#include "engine/installation.h"

#include <QJsonArray>
#include <initializer_list>
#include <string_view>

#include "engine/command_line.h"
#include "engine/engine.h"
#include "files/side_file.h"
#include "output/drivers.h"

namespace quor {
namespace {

constexpr const char* kGainKeys[3] = {"gainRed", "gainGreen", "gainBlue"};

// Joins texts by appending (GCC 12 warns wrongly about chains of
// std::string operator+ with temporaries).
std::string Join(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (const std::string_view part : parts) text.append(part);
  return text;
}

}  // namespace

std::string InstallationDeviceName(const OutputDevice& device) {
  const DriverInfo* info = FindDriver(device.driver);
  std::string name = info != nullptr ? std::string(info->name) : Join({"Driver ", std::to_string(device.driver)});
  const std::string_view where = device.Redirected() || (info != nullptr && info->encode == nullptr)
                                     ? device.PathText()
                                     : device.AddressText();
  if (!where.empty()) name = Join({name, " ", where});
  return name;
}

OutputSync SyncFromJson(const QJsonObject& section, std::vector<std::string>& problems) {
  OutputSync sync;
  if (section.contains("artSync")) {
    if (const std::optional<bool> on = SideBool(section, "artSync")) {
      sync.artSync = *on;
    } else {
      problems.push_back("sync: artSync must be true or false");
    }
  }
  if (section.contains("sacnUniverse")) {
    if (const std::optional<int> universe = SideInt(section, "sacnUniverse", 0, kSacnMaxUniverse)) {
      sync.sacnUniverse = *universe;
    } else {
      problems.push_back("sync: sacnUniverse must be 0 (off) or a universe 1..63999");
    }
  }
  return sync;
}

QJsonObject SyncToJson(const OutputSync& sync) {
  return QJsonObject{{"artSync", sync.artSync}, {"sacnUniverse", sync.sacnUniverse}};
}

std::vector<DeviceCorrection> PowerFromJson(const QJsonObject& section, const std::vector<OutputDevice>& devices,
                                            std::vector<std::string>& problems) {
  std::vector<DeviceCorrection> corrections(devices.size());
  const QJsonArray entries = section.value("devices").toArray();
  for (qsizetype e = 0; e < entries.size(); ++e) {
    const QJsonObject entry = entries[e].toObject();
    const std::string where = Join({"power: entry ", std::to_string(e + 1)});
    const std::optional<int> index = SideInt(entry, "index", 1, static_cast<int>(devices.size()));
    if (!index) {
      problems.push_back(Join({where, " names no device of this project (index 1..", std::to_string(devices.size()), ")"}));
      continue;
    }
    const OutputDevice& device = devices[static_cast<size_t>(*index - 1)];
    const std::string name = entry.value("name").toString().toStdString();
    if (name != InstallationDeviceName(device)) {
      problems.push_back(Join({where, " is for \"", name, "\" but output ", std::to_string(*index), " is \"",
                               InstallationDeviceName(device), "\"; it is ignored"}));
      continue;
    }
    DeviceCorrection& c = corrections[static_cast<size_t>(*index - 1)];
    auto field = [&](const char* key, int lo, int hi, int& out) {
      if (!entry.contains(key)) return;
      if (const std::optional<int> value = SideInt(entry, key, lo, hi)) {
        out = *value;
      } else {
        problems.push_back(
            Join({where, ": ", key, " must be a whole number ", std::to_string(lo), "..", std::to_string(hi)}));
      }
    };
    for (size_t k = 0; k < 3; ++k) field(kGainKeys[k], 0, 100, c.gain[k]);
    field("brightnessCap", 0, 100, c.cap);
    field("budgetMilliamps", 0, 100000000, c.budgetMilliamps);
    field("milliampsPerChannel", 1, 1000, c.milliampsPerChannel);
  }
  return corrections;
}

QJsonObject PowerToJson(const std::vector<DeviceCorrection>& corrections, const std::vector<OutputDevice>& devices) {
  QJsonArray entries;
  for (size_t i = 0; i < corrections.size() && i < devices.size(); ++i) {
    const DeviceCorrection& c = corrections[i];
    if (c == DeviceCorrection{}) continue;
    entries.append(QJsonObject{{"index", static_cast<int>(i + 1)},
                               {"name", QString::fromStdString(InstallationDeviceName(devices[i]))},
                               {kGainKeys[0], c.gain[0]},
                               {kGainKeys[1], c.gain[1]},
                               {kGainKeys[2], c.gain[2]},
                               {"brightnessCap", c.cap},
                               {"budgetMilliamps", c.budgetMilliamps},
                               {"milliampsPerChannel", c.milliampsPerChannel}});
  }
  return QJsonObject{{"devices", entries}};
}

void LoadInstallation(Engine& engine, const std::string& sidePath, const CommandLine& commandLine) {
  Outputs& outputs = engine.outputs();
  const std::span<const OutputDevice> list = outputs.devices().devices();
  const std::vector<OutputDevice> devices(list.begin(), list.end());
  OutputSync sync;
  std::vector<DeviceCorrection> corrections(devices.size());
  std::vector<std::string> problems;
  if (!sidePath.empty()) {
    const SideFileRead read = ReadSideFile(sidePath);
    if (!read.problem.empty()) problems.push_back(read.problem);
    if (read.sections.contains(kSyncSection)) sync = SyncFromJson(SideSection(read, kSyncSection), problems);
    if (read.sections.contains(kPowerSection)) {
      corrections = PowerFromJson(SideSection(read, kPowerSection), devices, problems);
    }
  }
  for (const std::string& problem : problems) {
    engine.console().Print("Ignoring part of the installation settings in %s: %s\n", sidePath.c_str(), problem.c_str());
  }
  if (commandLine.artSync) sync.artSync = true;
  if (commandLine.sacnSyncUniverse > 0) sync.sacnUniverse = commandLine.sacnSyncUniverse;
  outputs.SetSync(sync);
  outputs.SetCorrections(std::move(corrections));
}

std::optional<Failure> SaveInstallation(Engine& engine, const std::string& sidePath) {
  Outputs& outputs = engine.outputs();
  const std::span<const OutputDevice> list = outputs.devices().devices();
  const std::vector<OutputDevice> devices(list.begin(), list.end());
  if (std::optional<Failure> failed = WriteSideSection(sidePath, kSyncSection, SyncToJson(outputs.sync()))) {
    return failed;
  }
  return WriteSideSection(sidePath, kPowerSection, PowerToJson(outputs.corrections(), devices));
}

}  // namespace quor
