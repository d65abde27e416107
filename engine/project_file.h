// Saving, loading and importing projects against a live Engine. A load
// parses and checks the whole file first (files/project_format.h) and only
// then replaces the scenes, chases, devices, settings and patch, so a
// refused file changes nothing; only regular files up to the largest valid
// project are read. Saving writes a temporary file next to the target,
// checks every write and the flush to the disk, and only then renames it
// over the target, so an existing project (or the autosave) is never left
// half-written and a failed save says why. Messages come back in the results
// with their exact texts; the caller shows them (error box titled "Error",
// or standard error when headless).
// UI thread only: the thread that owns the stores, the device list and the
// patch. The frame clock may keep running meanwhile.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/change_feed.h"
#include "files/project_format.h"

namespace quor {

class Engine;

inline constexpr const char* kOpenRemoteInputFailedMessage =
    "Failed to open input. Please check your device.\nMaybe a com-port is not available anymore or in double use.";

// The right and bottom edges of the desktop, in screen units.
struct ScreenEdges {
  int right = 0;
  int bottom = 0;
};

// What a load needs from the parts around it; each may be left empty.
struct ProjectLoadHooks {
  // Called before anything is replaced when RemoteInputActive is 1.
  std::function<void()> closeRemoteInput;
  // Called at the end when the loaded RemoteControlEnabled is 1; returns
  // whether the input opened. Without it the remote input stays closed and
  // the settings wait for the caller.
  std::function<bool()> openRemoteInput;
  // The desktop the show mode window must stay on (none when headless).
  std::optional<ScreenEdges> desktop;
};

enum class ProjectFileStatus {
  kDone,
  kNoFile,        // the file could not be opened or read: nothing to report
  kRefused,       // the file was refused; nothing has changed
  kWriteFailed,   // saving failed; the previous file is untouched
};

struct ProjectFileResult {
  ProjectFileStatus status = ProjectFileStatus::kDone;
  // Error texts to show, in order (a refused file, a failed reopen of the
  // outputs or the remote input, a failed save).
  std::vector<std::string> messages;
  // The same failures with their structure, one per message in the same
  // order: the file, port or device that failed and the errno behind it
  // (0 when no system call failed).
  std::vector<Failure> errors;
  // Load: the outputs run afterwards ("Start &Output" checked, "Output
  // &Patch", "Output &Devices" and "&Matrix Size" greyed).
  bool outputsRunning = false;
  // Load: the matrix size or preview options changed, so the generators
  // and the mixer panel were reset.
  bool matrixResized = false;
  // Load: RemoteControlEnabled after the load ("&Remote Control" checked).
  bool remoteControlEnabled = false;
  // Why the file was not loaded or saved ("No such file or directory",
  // "Unknown File Format.", "No space left on device"); empty when done.
  std::string reason;
  // The errno behind `reason`; 0 when done or when no system call failed.
  int errorNumber = 0;
};

// The previous autosave is kept beside it under this suffix.
inline constexpr const char* kProjectBackupSuffix = ".bak";

// The live configuration as a project, and as file bytes.
// CaptureDocument fills only the document's parts (scenes, chases,
// devices, matrix size, patch) and leaves the rest at the defaults.
ProjectData CaptureDocument(Engine& engine);
ProjectData CaptureProject(Engine& engine);
std::vector<uint8_t> SerializeProject(Engine& engine);

// Replaces the configuration by `project` (already checked by
// ParseProject): stops a running chase, closes the outputs, replaces the
// stores, the devices and the settings, resizes the matrix only when its
// size or the preview options differ, installs the patch and reopens the
// outputs when they ran before or the project says they ran.
ProjectFileResult ApplyProject(Engine& engine, ProjectData&& project, const ProjectLoadHooks& hooks = {});
// Appends the project's scenes and chases; scene steps of the added chases
// move by the number of scenes there were before. Refused (kRefused, one
// message, nothing changed) when the show would then hold more scenes or
// chases than it may (show/show_limits.h).
ProjectFileResult AppendProject(Engine& engine, ProjectData&& project);

// The same operations on file bytes already in memory.
ProjectFileResult LoadProjectBytes(Engine& engine, std::span<const uint8_t> bytes, const ProjectLoadHooks& hooks = {});
ProjectFileResult ImportProjectBytes(Engine& engine, std::span<const uint8_t> bytes);

// The file operations. A file that cannot be opened is kNoFile without a
// message (a missing autosave is normal); a FIFO, device or socket and a
// file longer than MaxProjectFileBytes are refused with
// kUnknownFileFormatMessage without being read. Loading and saving first
// remove the temporaries a killed save of this project left beside it.
ProjectFileResult SaveProject(Engine& engine, const std::string& path);
// SaveProject for the autosave: first the file at `path` becomes
// `path` + kProjectBackupSuffix (one generation, replaced in one step), so
// the show before this run survives a save of an empty or wrong project.
// An unchanged project touches neither file.
ProjectFileResult SaveProjectKeepingBackup(Engine& engine, const std::string& path);
ProjectFileResult LoadProject(Engine& engine, const std::string& path, const ProjectLoadHooks& hooks = {});
ProjectFileResult ImportProject(Engine& engine, const std::string& path);

}  // namespace quor
