// The project file's byte layout: a 6-byte header ("QRX!", 0, one ASCII
// version digit) and the body items in their fixed order, all integers
// 32-bit little-endian. ProjectData is the whole file as values; parsing
// checks the complete file before anything is handed out, so a caller never
// applies half a project. Versions 0..4 are read, version 4 is written.
// Pure functions over bytes; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "files/file_messages.h"
#include "input/remote_input_settings.h"
#include "output/device_list.h"
#include "output/output_device.h"
#include "output/patch_table.h"
#include "platform/failure.h"
#include "show/chase.h"
#include "show/scene.h"
#include "show/show_limits.h"

namespace quor {

inline constexpr size_t kProjectHeaderBytes = 6;
inline constexpr uint8_t kProjectMagic[5] = {'Q', 'R', 'X', '!', 0};
inline constexpr int kProjectFormatVersion = 4;

// The most records of each kind a project may hold. A show never comes
// near them; they bound what a damaged or hostile file can make the reader
// allocate, and with them the length of the largest valid file. The show's
// own limits are the same numbers (show/show_limits.h), so whatever the
// stores hold can be saved.
inline constexpr int32_t kMaxProjectScenes = kMaxShowScenes;
inline constexpr int32_t kMaxProjectChases = kMaxShowChases;
inline constexpr int32_t kMaxProjectChaseSteps = kMaxChaseSteps;
inline constexpr int32_t kMaxProjectDevices = kMaxDevices;  // one per pixel of the largest matrix

// Shown by the caller (error box titled "Error", or standard error when
// headless).
inline constexpr const char* kNewerFileVersionMessage = "File Version newer than application, loading failed.";

// What the body holds besides the matrix: the show mode window and its
// buttons, in screen units.
struct ShowWindowPlacement {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 360;
  int32_t height = 500;
  int32_t buttonWidth = 100;
  int32_t buttonHeight = 50;
  friend bool operator==(const ShowWindowPlacement&, const ShowWindowPlacement&) = default;
};

// What the project keeps of the windows: the preview options and the show
// mode window. The windows own the live values; the engine holds this copy
// only to save and load it.
struct WindowLayout {
  int32_t previewAspect = 0;  // 1: the preview height follows the matrix's aspect ratio
  int32_t previewGrid = 1;
  ShowWindowPlacement showWindow;
  friend bool operator==(const WindowLayout&, const WindowLayout&) = default;
};

// One project file as values, in file order.
struct ProjectData {
  int version = kProjectFormatVersion;
  std::vector<Scene> scenes;
  std::vector<Chase> chases;  // empty before version 3
  std::vector<OutputDevice> devices;
  int32_t matrixWidth = 32;
  int32_t matrixHeight = 16;
  WindowLayout windows;
  int32_t masterLevel = 255;
  int32_t gammaSetting = 100;
  int32_t sceneFadeEnabled = 1;
  int32_t sceneFadeStep = 10;
  int32_t pixelStep = 1;
  int32_t audioAgcEnabled = 1;
  PatchTable patch{32, 16};  // matrixWidth x matrixHeight entries
  int32_t outputRunning = 0;  // 1 = outputs were running when it was saved
  int32_t strobeTime = 1;
  // Version 2 and later.
  RemoteInputSettings remoteInput;
  int32_t remoteControlEnabled = 0;

  bool HasChases() const { return version >= 3; }
  bool HasRemoteControl() const { return version >= 2; }
};

// Import reads only the scenes and chases; a damaged tail after them does
// not stop it.
enum class ProjectScope { kWhole, kScenesAndChases };

// The version a header byte names: a digit gives its value, anything else 0.
int ProjectVersionFromByte(uint8_t byte);

// The length of the largest file within the limits above (bytes after the
// last item included in nothing): anything longer is not a project.
size_t MaxProjectFileBytes();

// "" when `project` stays within the limits, else what exceeds them
// ("more than 10000 scenes"); a save refuses such a project, since no load
// would take it back.
std::string ProjectLimitExceeded(const ProjectData& project);

// Checks and reads a whole file. A refusal is a failure with no subject and
// no errno whose message is kNewerFileVersionMessage for a file of a later
// format version, else kUnknownFileFormatMessage:
// a wrong magic, any count the remaining bytes cannot hold or that is
// negative or above its limit, a chase whose step count exceeds its step capacity, a matrix
// outside 4..320 per side or above 16384 pixels, a patch entry naming a
// device past the device list, and a file that ends before item 27 (for
// kScenesAndChases: before the last chase). Settings with a fixed range
// (PixelStep 1..4, MasterLevel 0..255, GammaSetting 1..500, StrobeTime
// 1..25, SceneFadeStep 4..30) are brought into it. Bytes after the last
// item are ignored.
Result<ProjectData> ParseProject(std::span<const uint8_t> bytes, ProjectScope scope = ProjectScope::kWhole);

// The version-4 file of `project` (its `version` is ignored). The patch is
// written as it is; the caller keeps it at matrixWidth x matrixHeight.
std::vector<uint8_t> EncodeProject(const ProjectData& project);

}  // namespace quor
