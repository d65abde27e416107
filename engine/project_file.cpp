#include "engine/project_file.h"

#include <QSaveFile>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <memory>

#include "engine/engine.h"
#include "show/show.h"

namespace quor {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The whole file, or nothing when it cannot be opened or read. Reading
// stops after the header when the header already refuses the file, so
// picking a large file of another kind costs nothing.
std::optional<std::vector<uint8_t>> ReadProjectFile(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return std::nullopt;
  std::vector<uint8_t> bytes(kProjectHeaderBytes);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
  if (std::ferror(file.get())) return std::nullopt;
  const bool headerAccepted = bytes.size() == kProjectHeaderBytes &&
                              std::equal(std::begin(kProjectMagic), std::end(kProjectMagic), bytes.begin()) &&
                              ProjectVersionFromByte(bytes[5]) <= kProjectFormatVersion;
  if (!headerAccepted) return bytes;  // the parser gives the message
  uint8_t chunk[64 * 1024];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof(chunk), file.get())) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  if (std::ferror(file.get())) return std::nullopt;
  return bytes;
}

ProjectFileResult Refused(std::string message) {
  ProjectFileResult result;
  result.status = ProjectFileStatus::kRefused;
  result.messages.push_back(std::move(message));
  return result;
}

ProjectFileResult WriteFailed(const std::string& path, const QString& why) {
  ProjectFileResult result;
  result.status = ProjectFileStatus::kWriteFailed;
  result.messages.push_back("Failed to save " + path + ": " + why.toStdString());
  return result;
}

// The show mode window stays reachable: a corner beyond the desktop's right
// or bottom edge (less the part needed to grab it) goes back to 0.
void KeepShowWindowOnScreen(EngineSettings& settings, ScreenEdges desktop) {
  if (settings.showWindowLeft.load() >= desktop.right - 39) settings.showWindowLeft.store(0);
  if (settings.showWindowTop.load() >= desktop.bottom - 49) settings.showWindowTop.store(0);
}

}  // namespace

ProjectData CaptureProject(Engine& engine) {
  ProjectData project;
  const SceneStore& scenes = engine.show().scenes();
  project.scenes.reserve(static_cast<size_t>(scenes.count()));
  for (int i = 0; i < scenes.count(); ++i) project.scenes.push_back(scenes.at(i));
  const ChaseStore& chases = engine.show().chases();
  project.chases.reserve(static_cast<size_t>(chases.count()));
  for (int i = 0; i < chases.count(); ++i) project.chases.push_back(chases.at(i));
  const std::span<const OutputDevice> devices = engine.outputs().devices().devices();
  project.devices.assign(devices.begin(), devices.end());

  EngineSettings& settings = engine.settings();
  project.matrixWidth = engine.width();
  project.matrixHeight = engine.height();
  project.previewAspect = settings.previewAspect.load();
  project.previewGrid = settings.previewGrid.load();
  project.showWindow = ShowWindowPlacement{settings.showWindowLeft.load(),  settings.showWindowTop.load(),
                                           settings.showWindowWidth.load(), settings.showWindowHeight.load(),
                                           settings.showButtonWidth.load(), settings.showButtonHeight.load()};
  project.masterLevel = settings.masterLevel.load();
  project.gammaSetting = settings.gammaSetting.load();
  project.sceneFadeEnabled = settings.sceneFadeEnabled.load();
  project.sceneFadeStep = settings.sceneFadeStep.load();
  project.pixelStep = settings.pixelStep.load();
  project.audioAgcEnabled = engine.audio().agcEnabled.load();
  project.patch = engine.patch();
  project.outputRunning = engine.flags().outputState.load() == kOutputRunning ? 1 : 0;
  project.strobeTime = settings.strobeTime.load();
  project.remoteInput = engine.remoteInputSettings();
  project.remoteControlEnabled = settings.remoteControlEnabled.load();
  return project;
}

std::vector<uint8_t> SerializeProject(Engine& engine) { return EncodeProject(CaptureProject(engine)); }

ProjectFileResult ApplyProject(Engine& engine, ProjectData&& project, const ProjectLoadHooks& hooks) {
  ProjectFileResult result;
  Show& show = engine.show();
  EngineSettings& settings = engine.settings();

  // Nothing may send or read remote commands while the configuration is
  // swapped underneath.
  const bool outputsWereRunning = engine.flags().outputState.load() == kOutputRunning;
  if (outputsWereRunning) engine.outputs().CloseOutputs();
  if (engine.flags().remoteInputActive.load() == 1 && hooks.closeRemoteInput) hooks.closeRemoteInput();
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

  const ShowWindowPlacement& window = project.showWindow;
  settings.showWindowLeft.store(window.left);
  settings.showWindowTop.store(window.top);
  settings.showWindowWidth.store(window.width);
  settings.showWindowHeight.store(window.height);
  settings.showButtonWidth.store(window.buttonWidth);
  settings.showButtonHeight.store(window.buttonHeight);
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
  if (hooks.desktop) KeepShowWindowOnScreen(settings, *hooks.desktop);

  // Resizing resets the generators and the panel, so it happens only when
  // the matrix or its preview really change.
  if (project.matrixWidth != engine.width() || project.matrixHeight != engine.height() ||
      project.previewAspect != settings.previewAspect.load() || project.previewGrid != settings.previewGrid.load()) {
    engine.console().Print("new matrix size: %d x %d\n", project.matrixWidth, project.matrixHeight);
    settings.previewAspect.store(project.previewAspect);
    settings.previewGrid.store(project.previewGrid);
    engine.ResizeMatrix(project.matrixWidth, project.matrixHeight, project.previewAspect);
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
    result.outputsRunning = engine.outputs().OpenOutputs();
    if (!result.outputsRunning) result.messages.emplace_back(kOpenOutputsFailedMessage);
  }

  if (settings.remoteControlEnabled.load() == 1 && hooks.openRemoteInput) {
    if (!hooks.openRemoteInput()) {
      settings.remoteControlEnabled.store(0);
      result.messages.emplace_back(kOpenRemoteInputFailedMessage);
    }
  }
  result.remoteControlEnabled = settings.remoteControlEnabled.load() == 1;
  // A load may change any value a window shows.
  for (int g = 0; g < kChangeGroupCount; ++g) {
    if (g != static_cast<int>(Change::kConsole) && g != static_cast<int>(Change::kErrors)) {
      engine.changes().Announce(static_cast<Change>(g));
    }
  }
  if (engine.hooks().refillSceneList) engine.hooks().refillSceneList();
  return result;
}

void AppendProject(Engine& engine, ProjectData&& project) {
  Show& show = engine.show();
  const int sceneOffset = show.scenes().count();
  if (!show.scenes().Append(std::move(project.scenes))) {
    engine.console().Print("Project: not enough memory for the scenes\n");
  }
  if (project.HasChases()) {
    if (!show.chases().Append(std::move(project.chases), sceneOffset)) {
      engine.console().Print("Project: not enough memory for the chases\n");
    }
    show.chaseList().Select(show.chaseList().selection());
  }
  if (engine.hooks().refillSceneList) engine.hooks().refillSceneList();
}

ProjectFileResult LoadProjectBytes(Engine& engine, std::span<const uint8_t> bytes, const ProjectLoadHooks& hooks) {
  ProjectParseResult parsed = ParseProject(bytes);
  if (!parsed.project) return Refused(std::move(parsed.error));
  return ApplyProject(engine, std::move(*parsed.project), hooks);
}

ProjectFileResult ImportProjectBytes(Engine& engine, std::span<const uint8_t> bytes) {
  ProjectParseResult parsed = ParseProject(bytes, ProjectScope::kScenesAndChases);
  if (!parsed.project) return Refused(std::move(parsed.error));
  AppendProject(engine, std::move(*parsed.project));
  return {};
}

ProjectFileResult SaveProject(Engine& engine, const std::string& path) {
  const std::vector<uint8_t> bytes = SerializeProject(engine);
  // QSaveFile writes beside the target and renames over it on commit; until
  // then the old file stays whole, and a failed write leaves no trace.
  QSaveFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly)) return WriteFailed(path, file.errorString());
  const qint64 written = file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
  if (written != static_cast<qint64>(bytes.size())) {
    const QString why = file.errorString();
    file.cancelWriting();
    return WriteFailed(path, why);
  }
  if (!file.commit()) return WriteFailed(path, file.errorString());
  return {};
}

ProjectFileResult LoadProject(Engine& engine, const std::string& path, const ProjectLoadHooks& hooks) {
  const std::optional<std::vector<uint8_t>> bytes = ReadProjectFile(path);
  if (!bytes) return ProjectFileResult{ProjectFileStatus::kNoFile, {}, false, false, false};
  return LoadProjectBytes(engine, *bytes, hooks);
}

ProjectFileResult ImportProject(Engine& engine, const std::string& path) {
  const std::optional<std::vector<uint8_t>> bytes = ReadProjectFile(path);
  if (!bytes) return ProjectFileResult{ProjectFileStatus::kNoFile, {}, false, false, false};
  return ImportProjectBytes(engine, *bytes);
}

}  // namespace quor
