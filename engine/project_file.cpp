#include "engine/project_file.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "engine/engine.h"
#include "engine/engine_write_access.h"
#include "files/chase_beats_section.h"
#include "files/safe_file.h"
#include "files/side_file.h"
#include "show/show.h"

namespace quor {
namespace {

// The whole file when it is a regular file no longer than the largest
// valid project; anything else is never read (a FIFO would block, an
// endless file would exhaust the memory).
// Adds one failure to show, as text and with its structure.
void AddFailure(ProjectFileResult& result, std::string subject, int errorNumber, std::string message) {
  result.messages.push_back(message);
  result.errors.push_back({std::move(subject), errorNumber, std::move(message)});
}

ProjectFileResult ReadProjectFile(const std::string& path, std::vector<uint8_t>& bytes) {
  FileReadResult read = ReadRegularFile(path, MaxProjectFileBytes());
  ProjectFileResult result;
  switch (read.status) {
    case FileReadStatus::kDone:
      bytes = std::move(read.bytes);
      return result;
    case FileReadStatus::kMissing:
    case FileReadStatus::kFailed:
      result.status = ProjectFileStatus::kNoFile;
      break;
    case FileReadStatus::kNotRegular:
    case FileReadStatus::kTooLarge:
      result.status = ProjectFileStatus::kRefused;
      AddFailure(result, path, read.errorNumber, kUnknownFileFormatMessage);
      break;
  }
  result.reason = std::move(read.reason);
  result.errorNumber = read.errorNumber;
  return result;
}

// The bytes came from memory: the file's path is filled in by the caller
// that read them.
ProjectFileResult Refused(std::string message) {
  ProjectFileResult result;
  result.status = ProjectFileStatus::kRefused;
  result.reason = message;
  AddFailure(result, "", 0, std::move(message));
  return result;
}

ProjectFileResult WriteFailed(const std::string& path, const std::string& why, int errorNumber) {
  ProjectFileResult result;
  result.status = ProjectFileStatus::kWriteFailed;
  result.reason = why;
  result.errorNumber = errorNumber;
  AddFailure(result, path, errorNumber, "Failed to save " + path + ": " + why);
  return result;
}

// A failure found in bytes read from `path` names that file.
ProjectFileResult NamingFile(ProjectFileResult result, const std::string& path) {
  for (Failure& error : result.errors) {
    if (error.subject.empty()) error.subject = path;
  }
  return result;
}

// A save killed between writing and renaming leaves its temporary beside
// the project: those of writers that no longer run are removed whenever the
// project is opened or saved.
void RemoveStaleTemporariesBeside(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (!name.empty()) RemoveStaleTemporaries(folder, name);
}

// The show mode window stays reachable: a corner beyond the desktop's right
// or bottom edge (less the part needed to grab it) goes back to 0.
void KeepShowWindowOnScreen(ShowWindowPlacement& window, ScreenEdges desktop) {
  if (window.left >= desktop.right - 39) window.left = 0;
  if (window.top >= desktop.bottom - 49) window.top = 0;
}

// Makes the steps that the side file beside `path` names beat steps. A
// damaged section is refused whole and the steps keep the milliseconds the
// project file gives them.
void ReadBeatsBeside(Engine& engine, const std::string& path, ProjectData& project) {
  const std::string side = SideFilePath(path);
  const SideFileRead file = ReadSideFile(side);
  const ChaseBeatsRead read = ParseChaseBeats(SideSection(file, kChaseBeatsSection));
  std::string problem = read.problem;
  if (problem.empty()) problem = StepBeatsProblem(project.chases, read.beats);
  if (problem.empty()) {
    ApplyStepBeats(project.chases, read.beats);
    return;
  }
  engine.console().Print("Chase beats in %s refused: %s; the steps play in milliseconds\n", side.c_str(),
                         problem.c_str());
}

// Keeps the beat steps of `project` in the side file beside `path`. The
// file is left alone when it already says the same, so saving an unchanged
// show writes nothing.
void WriteBeatsBeside(const std::string& path, const ProjectData& project, ProjectFileResult& result) {
  const std::string side = SideFilePath(path);
  const QJsonObject wanted = ChaseBeatsJson(CollectStepBeats(project.chases));
  const SideFileRead file = ReadSideFile(side);
  if (SideSection(file, kChaseBeatsSection) == wanted) return;
  if (const std::optional<Failure> failed = WriteSideSection(side, kChaseBeatsSection, wanted)) {
    AddFailure(result, side, failed->errorNumber, "Failed to keep the chase beats in " + side + ": " + failed->message);
  }
}

}  // namespace

ProjectData CaptureDocument(Engine& engine) {
  ProjectData project;
  const SceneStore& scenes = engine.show().scenes();
  project.scenes.reserve(static_cast<size_t>(scenes.count()));
  for (int i = 0; i < scenes.count(); ++i) project.scenes.push_back(scenes.at(i));
  const ChaseStore& chases = engine.show().chases();
  project.chases.reserve(static_cast<size_t>(chases.count()));
  for (int i = 0; i < chases.count(); ++i) project.chases.push_back(chases.at(i));
  const std::span<const OutputDevice> devices = engine.outputs().devices().devices();
  project.devices.assign(devices.begin(), devices.end());
  project.matrixWidth = engine.width();
  project.matrixHeight = engine.height();
  project.patch = engine.patch();
  return project;
}

ProjectData CaptureProject(Engine& engine) {
  ProjectData project = CaptureDocument(engine);
  const EngineSettings& settings = engine.settings();
  project.windows = engine.windowLayout();
  project.masterLevel = settings.masterLevel.load();
  project.gammaSetting = settings.gammaSetting.load();
  project.sceneFadeEnabled = settings.sceneFadeEnabled.load();
  project.sceneFadeStep = settings.sceneFadeStep.load();
  project.pixelStep = settings.pixelStep.load();
  project.audioAgcEnabled = engine.audio().agcEnabled.load();
  project.outputRunning = engine.flags().outputState.load() == kOutputRunning ? 1 : 0;
  project.strobeTime = settings.strobeTime.load();
  project.remoteInput = engine.remoteInputSettings();
  project.remoteControlEnabled = settings.remoteControlEnabled.load();
  // Beat steps are written with their length at the tempo playing now.
  MeasureBeatSteps(project.chases, engine.tempo().Bpm());
  return project;
}

std::vector<uint8_t> SerializeProject(Engine& engine) { return EncodeProject(CaptureProject(engine)); }

ProjectFileResult ApplyProject(Engine& engine, ProjectData&& project, const ProjectLoadHooks& hooks) {
  ProjectFileResult result;
  Show& show = engine.show();
  EngineSettings& settings = EngineWriteAccess::Settings(engine);

  // Nothing may send or read remote commands while the configuration is
  // swapped underneath.
  const bool outputsWereRunning = engine.flags().outputState.load() == kOutputRunning;
  if (outputsWereRunning) engine.outputs().CloseOutputs();
  if (engine.flags().remoteInputActive.load() && hooks.closeRemoteInput) hooks.closeRemoteInput();
  // A running chase would put its saved fade and strobe settings back over
  // the loaded ones when it stops, and its step indices name old chases.
  show.player().StopChaseNow();

  if (!show.scenes().ReplaceAll(std::move(project.scenes))) {
    engine.console().Print("Project: not enough memory for the scenes\n");
  }
  if (project.HasChases()) {
    if (!show.chases().ReplaceAll(std::move(project.chases))) {
      engine.console().Print("Project: not enough memory for the chases\n");
    }
  } else {
    while (show.chases().count() > 0) show.chases().RemoveChase(show.chases().count() - 1);
  }
  show.chaseList().Select(show.chaseList().selection());
  show.sceneList().ShowSelection(-1);
  engine.outputs().devices().Load(std::move(project.devices));

  settings.masterLevel.store(project.masterLevel);
  settings.gammaSetting.store(project.gammaSetting);
  settings.sceneFadeEnabled.store(project.sceneFadeEnabled);
  settings.sceneFadeStep.store(project.sceneFadeStep);
  settings.pixelStep.store(project.pixelStep);
  engine.audio().agcEnabled.store(project.audioAgcEnabled);
  settings.strobeTime.store(project.strobeTime);
  // Older files carry no remote-control settings: the current ones stay.
  if (project.HasRemoteControl()) {
    engine.remoteInputSettings() = project.remoteInput;
    settings.remoteControlEnabled.store(project.remoteControlEnabled);
  }
  if (hooks.desktop) KeepShowWindowOnScreen(project.windows.showWindow, *hooks.desktop);

  // Resizing resets the generators and the panel, so it happens only when
  // the matrix or its preview really change.
  const WindowLayout& before = engine.windowLayout();
  const bool resize = project.matrixWidth != engine.width() || project.matrixHeight != engine.height() ||
                      project.windows.previewAspect != before.previewAspect ||
                      project.windows.previewGrid != before.previewGrid;
  engine.SetWindowLayout(project.windows);
  if (resize) {
    engine.console().Print("new matrix size: %d x %d\n", project.matrixWidth, project.matrixHeight);
    engine.ResizeMatrix(project.matrixWidth, project.matrixHeight);
    result.matrixResized = true;
  }
  // If the resize could not get its memory the matrix kept its size; the
  // patch must match whatever size is live.
  PatchTable patch = std::move(project.patch);
  if (patch.width() != engine.width() || patch.height() != engine.height()) {
    patch = patch.Resized(engine.width(), engine.height());
  }
  engine.WithTickLock([&engine, &patch] { engine.patch() = std::move(patch); });
  engine.outputs().PatchChanged();

  if (outputsWereRunning || project.outputRunning == 1) {
    const std::optional<Failure> failed = engine.outputs().OpenOutputs();
    result.outputsRunning = !failed;
    if (failed) AddFailure(result, failed->subject, failed->errorNumber, kOpenOutputsFailedMessage);
  }

  if (settings.remoteControlEnabled.load() == 1 && hooks.openRemoteInput) {
    if (!hooks.openRemoteInput()) {
      settings.remoteControlEnabled.store(0);
      const std::string port = engine.remoteInputSettings().PortName();
      AddFailure(result, port.empty() ? "remote input" : port, 0, kOpenRemoteInputFailedMessage);
    }
  }
  result.remoteControlEnabled = settings.remoteControlEnabled.load() == 1;
  // A loaded document starts its own history, unmodified.
  engine.ResetDocumentHistory();
  // A load may change any value a window shows.
  for (int g = 0; g < kChangeGroupCount; ++g) {
    if (g != static_cast<int>(Change::kConsole) && g != static_cast<int>(Change::kErrors)) {
      engine.changes().Announce(static_cast<Change>(g));
    }
  }
  return result;
}

ProjectFileResult AppendProject(Engine& engine, ProjectData&& project) {
  Show& show = engine.show();
  const int sceneOffset = show.scenes().count();
  // Checked before anything is added, so a refused import changes nothing.
  auto tooMany = [](const char* what, int limit, int holds, size_t adds) {
    return "Import refused: the show would hold more than " + std::to_string(limit) + " " + what + " (it holds " +
           std::to_string(holds) + ", the file adds " + std::to_string(adds) + "). Delete some " + what +
           " before importing.";
  };
  if (!show.scenes().HasRoomFor(static_cast<int>(std::min<size_t>(project.scenes.size(), kMaxShowScenes + 1)))) {
    return Refused(tooMany("scenes", kMaxShowScenes, sceneOffset, project.scenes.size()));
  }
  if (!show.chases().HasRoomFor(static_cast<int>(std::min<size_t>(project.chases.size(), kMaxShowChases + 1)))) {
    return Refused(tooMany("chases", kMaxShowChases, show.chases().count(), project.chases.size()));
  }
  if (!show.scenes().Append(std::move(project.scenes))) {
    engine.console().Print("Project: not enough memory for the scenes\n");
  }
  if (project.HasChases()) {
    if (!show.chases().Append(std::move(project.chases), sceneOffset)) {
      engine.console().Print("Project: not enough memory for the chases\n");
    }
    show.chaseList().Select(show.chaseList().selection());
  }
  return {};
}

ProjectFileResult LoadProjectBytes(Engine& engine, std::span<const uint8_t> bytes, const ProjectLoadHooks& hooks) {
  Result<ProjectData> parsed = ParseProject(bytes);
  if (!parsed) return Refused(parsed.failure().message);
  return ApplyProject(engine, std::move(*parsed), hooks);
}

ProjectFileResult ImportProjectBytes(Engine& engine, std::span<const uint8_t> bytes) {
  Result<ProjectData> parsed = ParseProject(bytes, ProjectScope::kScenesAndChases);
  if (!parsed) return Refused(parsed.failure().message);
  return AppendProject(engine, std::move(*parsed));
}

ProjectFileResult SaveProject(Engine& engine, const std::string& path) {
  RemoveStaleTemporariesBeside(path);
  const ProjectData project = CaptureProject(engine);
  if (const std::string exceeded = ProjectLimitExceeded(project); !exceeded.empty()) {
    return WriteFailed(path, "the project holds " + exceeded, 0);
  }
  // The old file stays whole until the new one is completely on the disk.
  if (const std::optional<Failure> failed = ReplaceFile(path, EncodeProject(project))) {
    return WriteFailed(path, failed->message, failed->errorNumber);
  }
  ProjectFileResult result;
  WriteBeatsBeside(path, project, result);
  return result;
}

ProjectFileResult SaveProjectKeepingBackup(Engine& engine, const std::string& path) {
  RemoveStaleTemporariesBeside(path);
  const ProjectData project = CaptureProject(engine);
  if (const std::string exceeded = ProjectLimitExceeded(project); !exceeded.empty()) {
    return WriteFailed(path, "the project holds " + exceeded, 0);
  }
  const std::vector<uint8_t> bytes = EncodeProject(project);
  // An unchanged project leaves both files alone, so a run that loaded
  // nothing twice in a row cannot push the last real show out of the backup.
  ProjectFileResult result;
  if (FileHoldsBytes(path, bytes)) {
    WriteBeatsBeside(path, project, result);
    return result;
  }
  const std::string backup = path + kProjectBackupSuffix;
  if (const std::optional<Failure> failed = ReplaceBackup(path, backup)) {
    AddFailure(result, backup, failed->errorNumber, "Failed to keep " + backup + ": " + failed->message);
  }
  if (const std::optional<Failure> written = ReplaceFile(path, bytes)) {
    ProjectFileResult failed = WriteFailed(path, written->message, written->errorNumber);
    failed.messages.insert(failed.messages.begin(), result.messages.begin(), result.messages.end());
    failed.errors.insert(failed.errors.begin(), result.errors.begin(), result.errors.end());
    return failed;
  }
  WriteBeatsBeside(path, project, result);
  return result;
}

ProjectFileResult LoadProject(Engine& engine, const std::string& path, const ProjectLoadHooks& hooks) {
  RemoveStaleTemporariesBeside(path);
  std::vector<uint8_t> bytes;
  if (ProjectFileResult unread = ReadProjectFile(path, bytes); unread.status != ProjectFileStatus::kDone) return unread;
  Result<ProjectData> parsed = ParseProject(bytes);
  if (!parsed) return NamingFile(Refused(parsed.failure().message), path);
  ReadBeatsBeside(engine, path, *parsed);
  return NamingFile(ApplyProject(engine, std::move(*parsed), hooks), path);
}

ProjectFileResult ImportProject(Engine& engine, const std::string& path) {
  std::vector<uint8_t> bytes;
  if (ProjectFileResult unread = ReadProjectFile(path, bytes); unread.status != ProjectFileStatus::kDone) return unread;
  Result<ProjectData> parsed = ParseProject(bytes, ProjectScope::kScenesAndChases);
  if (!parsed) return NamingFile(Refused(parsed.failure().message), path);
  ReadBeatsBeside(engine, path, *parsed);
  return NamingFile(AppendProject(engine, std::move(*parsed)), path);
}

}  // namespace quor
