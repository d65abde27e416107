#include "files/project_format.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "core/byte_io.h"
#include "core/rgb_frame.h"

namespace quor {
namespace {

// The sixteen 32-bit settings between the devices and the patch (matrix
// size through the AGC switch).
constexpr size_t kSettingsItemsBytes = 16 * 4;
// What follows the patch in a version-4 file: output running, strobe
// time, the remote input record and its enabled switch.
constexpr size_t kTailBytes = 4 + 4 + kRemoteInputSettingsBytes + 4;
// Where a chase header keeps its step count and capacity.
constexpr size_t kChaseStepCountOffset = kNameFieldSize + 4;
constexpr size_t kChaseStepCapacityOffset = kNameFieldSize + 8;

static_assert(sizeof(kProjectMagic) + 1 == kProjectHeaderBytes);
static_assert(kPatchEntryBytes == 4 * 4);

// A count read from the file is usable when it is not negative and that
// many records of `recordBytes` still fit in what is left.
bool CountFits(int32_t count, int32_t limit, size_t recordBytes, const ByteReader& in) {
  return count >= 0 && count <= limit && static_cast<size_t>(count) <= in.remaining() / recordBytes;
}

int32_t ReadI32At(std::span<const uint8_t> bytes, size_t offset) {
  ByteReader in(bytes.subspan(offset, 4));
  return in.GetI32();
}

Failure Refuse(const char* message) { return Failure{"", 0, message}; }

// Reads one chase header and its steps, refusing what cannot be right.
bool ReadChase(std::span<const uint8_t> bytes, ByteReader& in, Chase& chase) {
  if (in.remaining() < kChaseRecordSize) return false;
  const std::span<const uint8_t> header = bytes.subspan(in.position(), kChaseRecordSize);
  const int32_t stepCount = ReadI32At(header, kChaseStepCountOffset);
  const int32_t stepCapacity = ReadI32At(header, kChaseStepCapacityOffset);
  if (stepCount < 0 || stepCount > stepCapacity || stepCount > kMaxProjectChaseSteps) return false;
  const size_t afterHeader = in.remaining() - kChaseRecordSize;
  if (static_cast<size_t>(stepCount) > afterHeader / kChaseStepRecordSize) return false;
  const size_t recordBytes = kChaseRecordSize + static_cast<size_t>(stepCount) * kChaseStepRecordSize;
  ByteReader record(bytes.subspan(in.position(), recordBytes));
  chase = ReadChaseWithSteps(record);
  in.Skip(recordBytes);
  return record.ok();
}

}  // namespace

size_t MaxProjectFileBytes() {
  constexpr size_t kLargestChase = kChaseRecordSize + size_t{kMaxProjectChaseSteps} * kChaseStepRecordSize;
  return kProjectHeaderBytes + 4 + size_t{kMaxProjectScenes} * kSceneRecordSize + 4 +
         size_t{kMaxProjectChases} * kLargestChase + 4 + size_t{kMaxProjectDevices} * kDeviceRecordBytes +
         kSettingsItemsBytes + size_t{kMaxMatrixPixels} * kPatchEntryBytes + kTailBytes;
}

std::string ProjectLimitExceeded(const ProjectData& project) {
  if (project.scenes.size() > size_t{kMaxProjectScenes}) {
    return "more than " + std::to_string(kMaxProjectScenes) + " scenes";
  }
  if (project.chases.size() > size_t{kMaxProjectChases}) {
    return "more than " + std::to_string(kMaxProjectChases) + " chases";
  }
  for (const Chase& chase : project.chases) {
    if (chase.steps.size() > size_t{kMaxProjectChaseSteps}) {
      return "a chase of more than " + std::to_string(kMaxProjectChaseSteps) + " steps";
    }
  }
  if (project.devices.size() > size_t{kMaxProjectDevices}) {
    return "more than " + std::to_string(kMaxProjectDevices) + " output devices";
  }
  return {};
}

int ProjectVersionFromByte(uint8_t byte) { return byte >= '0' && byte <= '9' ? byte - '0' : 0; }

Result<ProjectData> ParseProject(std::span<const uint8_t> bytes, ProjectScope scope) {
  if (bytes.size() < kProjectHeaderBytes ||
      !std::equal(std::begin(kProjectMagic), std::end(kProjectMagic), bytes.begin())) {
    return Refuse(kUnknownFileFormatMessage);
  }
  ProjectData project;
  project.version = ProjectVersionFromByte(bytes[5]);
  if (project.version > kProjectFormatVersion) return Refuse(kNewerFileVersionMessage);

  ByteReader in(bytes);
  in.Skip(kProjectHeaderBytes);

  // The scene count, then the scenes.
  const int32_t sceneCount = in.GetI32();
  if (!CountFits(sceneCount, kMaxProjectScenes, kSceneRecordSize, in)) return Refuse(kUnknownFileFormatMessage);
  project.scenes.reserve(static_cast<size_t>(sceneCount));
  for (int32_t i = 0; i < sceneCount; ++i) project.scenes.push_back(ReadScene(in));

  // The chase count, then the chases, each followed by its steps.
  if (project.HasChases()) {
    const int32_t chaseCount = in.GetI32();
    if (!CountFits(chaseCount, kMaxProjectChases, kChaseRecordSize, in)) return Refuse(kUnknownFileFormatMessage);
    project.chases.reserve(static_cast<size_t>(chaseCount));
    for (int32_t i = 0; i < chaseCount; ++i) {
      Chase chase;
      if (!ReadChase(bytes, in, chase)) return Refuse(kUnknownFileFormatMessage);
      project.chases.push_back(std::move(chase));
    }
  }
  if (!in.ok()) return Refuse(kUnknownFileFormatMessage);
  if (scope == ProjectScope::kScenesAndChases) return project;

  // The device count, then the devices (52-byte records before version 4).
  const int32_t deviceCount = in.GetI32();
  if (!CountFits(deviceCount, kMaxProjectDevices, DeviceRecordBytes(project.version), in)) {
    return Refuse(kUnknownFileFormatMessage);
  }
  project.devices.resize(static_cast<size_t>(deviceCount));
  for (OutputDevice& device : project.devices) {
    ReadDeviceRecord(in, project.version, device);
    // A driver this build does not know (one added by a later build): the
    // project would lose that device's output without a word.
    if (device.driver < 0 || device.driver >= kDriverCount) return Refuse(kUnknownFileFormatMessage);
  }

  // The sixteen settings.
  project.matrixWidth = in.GetI32();
  project.matrixHeight = in.GetI32();
  project.windows.previewAspect = in.GetI32();
  project.windows.previewGrid = in.GetI32();
  ShowWindowPlacement& show = project.windows.showWindow;
  show.left = in.GetI32();
  show.top = in.GetI32();
  show.width = in.GetI32();
  show.height = in.GetI32();
  show.buttonWidth = in.GetI32();
  show.buttonHeight = in.GetI32();
  project.masterLevel = std::clamp(in.GetI32(), 0, 255);
  project.gammaSetting = std::clamp(in.GetI32(), 1, 500);
  project.sceneFadeEnabled = in.GetI32();
  project.sceneFadeStep = std::clamp(in.GetI32(), 4, 30);
  // Generators repeat their movement PixelStep times per frame: a damaged
  // value must not make a frame take forever.
  project.pixelStep = std::clamp(in.GetI32(), 1, 4);
  project.audioAgcEnabled = in.GetI32();
  if (!in.ok() || !IsValidMatrixSize(project.matrixWidth, project.matrixHeight)) {
    return Refuse(kUnknownFileFormatMessage);
  }

  // The patch, one entry per pixel. Entries with a negative device are unpatched and
  // kept as they are; channels beyond a device's count are kept too (the
  // sender drops them), since the fast patch can store such entries.
  const size_t pixels = static_cast<size_t>(project.matrixWidth) * static_cast<size_t>(project.matrixHeight);
  if (pixels > in.remaining() / kPatchEntryBytes) return Refuse(kUnknownFileFormatMessage);
  project.patch.Create(project.matrixWidth, project.matrixHeight);
  for (PatchEntry& entry : project.patch.entries()) {
    entry.device = in.GetI32();
    entry.red = in.GetI32();
    entry.green = in.GetI32();
    entry.blue = in.GetI32();
    if (entry.device >= deviceCount) return Refuse(kUnknownFileFormatMessage);
  }

  // The tail: output running, strobe time, remote input.
  project.outputRunning = in.GetI32();
  project.strobeTime = std::clamp(in.GetI32(), 1, 25);
  if (project.HasRemoteControl()) {
    std::array<uint8_t, kRemoteInputSettingsBytes> record{};
    in.GetBytes(record.data(), record.size());
    project.remoteInput = ReadRemoteInputSettings(record);
    project.remoteControlEnabled = in.GetI32();
  }
  if (!in.ok()) return Refuse(kUnknownFileFormatMessage);
  return project;
}

std::vector<uint8_t> EncodeProject(const ProjectData& project) {
  const int width = project.matrixWidth;
  const int height = project.matrixHeight;
  const size_t pixels = static_cast<size_t>(std::max(width, 0)) * static_cast<size_t>(std::max(height, 0));
  // The patch always covers exactly the matrix the file names.
  const bool patchFits = project.patch.width() == width && project.patch.height() == height;
  const PatchTable resized = patchFits ? PatchTable{} : project.patch.Resized(width, height);
  const PatchTable& patch = patchFits ? project.patch : resized;

  size_t size = kProjectHeaderBytes + 4 + project.scenes.size() * kSceneRecordSize + 4;
  for (const Chase& chase : project.chases) size += kChaseRecordSize + chase.steps.size() * kChaseStepRecordSize;
  size += 4 + project.devices.size() * kDeviceRecordBytes + kSettingsItemsBytes + pixels * kPatchEntryBytes +
          kTailBytes;

  std::vector<uint8_t> bytes(size);
  ByteWriter out(bytes);
  out.PutBytes(kProjectMagic, sizeof(kProjectMagic));
  out.PutU8(static_cast<uint8_t>('0' + kProjectFormatVersion));

  out.PutI32(static_cast<int32_t>(project.scenes.size()));
  for (const Scene& scene : project.scenes) WriteScene(scene, out);
  out.PutI32(static_cast<int32_t>(project.chases.size()));
  for (const Chase& chase : project.chases) WriteChaseWithSteps(chase, out);
  out.PutI32(static_cast<int32_t>(project.devices.size()));
  for (const OutputDevice& device : project.devices) WriteDeviceRecord(device, out);

  out.PutI32(width);
  out.PutI32(height);
  out.PutI32(project.windows.previewAspect);
  out.PutI32(project.windows.previewGrid);
  const ShowWindowPlacement& show = project.windows.showWindow;
  out.PutI32(show.left);
  out.PutI32(show.top);
  out.PutI32(show.width);
  out.PutI32(show.height);
  out.PutI32(show.buttonWidth);
  out.PutI32(show.buttonHeight);
  out.PutI32(project.masterLevel);
  out.PutI32(project.gammaSetting);
  out.PutI32(project.sceneFadeEnabled);
  out.PutI32(project.sceneFadeStep);
  out.PutI32(project.pixelStep);
  out.PutI32(project.audioAgcEnabled);

  for (const PatchEntry& entry : patch.entries()) {
    out.PutI32(entry.device);
    out.PutI32(entry.red);
    out.PutI32(entry.green);
    out.PutI32(entry.blue);
  }

  out.PutI32(project.outputRunning);
  out.PutI32(project.strobeTime);
  std::array<uint8_t, kRemoteInputSettingsBytes> remote{};
  WriteRemoteInputSettings(project.remoteInput, remote);
  out.PutBytes(remote.data(), remote.size());
  out.PutI32(project.remoteControlEnabled);
  assert(out.ok() && out.position() == bytes.size());
  return bytes;
}

}  // namespace quor
