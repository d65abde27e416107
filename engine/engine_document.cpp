// The show document's edits, undo and redo (engine/engine.h).
#include <utility>

#include "engine/engine.h"
#include "engine/project_file.h"
#include "files/project_format.h"
#include "show/show.h"

namespace quor {
namespace {

// The scenes and chases of `document` alone, as bytes: whether a restore
// touches the show (and must stop a running chase).
std::vector<uint8_t> ShowBytes(ProjectData& document) {
  ProjectData show;
  show.scenes.swap(document.scenes);
  show.chases.swap(document.chases);
  std::vector<uint8_t> bytes = EncodeProject(show);
  document.scenes.swap(show.scenes);
  document.chases.swap(show.chases);
  return bytes;
}

}  // namespace

DocumentSnapshot Engine::SnapshotDocument() {
  ExpectMainThread();
  ProjectData document = CaptureDocument(*this);
  return {EncodeProject(document), outputs_.fastPatch(), CollectStepBeats(document.chases)};
}

bool Engine::EditDocument(std::string_view what, const std::function<void()>& edit) {
  ExpectMainThread();
  if (documentEditDepth_ > 0) {
    // Part of an edit already under way: that one records the step.
    edit();
    return false;
  }
  DocumentSnapshot before = SnapshotDocument();
  ++documentEditDepth_;
  try {
    edit();
  } catch (...) {
    --documentEditDepth_;
    RecordDocumentEdit(what, std::move(before));
    throw;
  }
  --documentEditDepth_;
  return RecordDocumentEdit(what, std::move(before));
}

bool Engine::RecordDocumentEdit(std::string_view what, DocumentSnapshot before) {
  ExpectMainThread();
  if (SnapshotDocument().SameDocument(before)) return false;
  history_.Record(std::string(what), std::move(before));
  changes_.Announce(Change::kDocument);
  return true;
}

bool Engine::Undo() {
  ExpectMainThread();
  const EditHistoryEntry* entry = history_.NextUndo();
  if (entry == nullptr) return false;
  DocumentSnapshot current = SnapshotDocument();
  if (!RestoreDocument(entry->document)) return false;
  history_.Undone(std::move(current));
  changes_.Announce(Change::kDocument);
  return true;
}

bool Engine::Redo() {
  ExpectMainThread();
  const EditHistoryEntry* entry = history_.NextRedo();
  if (entry == nullptr) return false;
  DocumentSnapshot current = SnapshotDocument();
  if (!RestoreDocument(entry->document)) return false;
  history_.Redone(std::move(current));
  changes_.Announce(Change::kDocument);
  return true;
}

void Engine::MarkDocumentSaved() {
  ExpectMainThread();
  history_.MarkSaved();
  changes_.Announce(Change::kDocument);
}

void Engine::ResetDocumentHistory() {
  ExpectMainThread();
  history_.Reset();
  changes_.Announce(Change::kDocument);
}

bool Engine::RestoreDocument(const DocumentSnapshot& target) {
  // "Edit Chase" edits a chase in place and keeps its index.
  if (show_->editor().IsOpen()) return false;
  Result<ProjectData> parsed = ParseProject(target.bytes);
  if (!parsed) return false;
  ProjectData& document = *parsed;
  ApplyStepBeats(document.chases, target.beats);
  ProjectData live = CaptureDocument(*this);

  // The size first: it is the one step that can fail, and it must fail
  // before anything else has changed.
  if (document.matrixWidth != width() || document.matrixHeight != height()) {
    if (!ResizeMatrix(document.matrixWidth, document.matrixHeight)) return false;
  }

  const bool showChanged =
      ShowBytes(live) != ShowBytes(document) || CollectStepBeats(live.chases) != CollectStepBeats(document.chases);
  const bool devicesChanged = live.devices != document.devices;
  // The outputs send through the devices' connections on the clock thread:
  // closed while the list is replaced, reopened afterwards.
  const bool reopen = devicesChanged && flags_.outputState.load() == kOutputRunning;
  if (reopen) CloseOutputs();

  if (showChanged) {
    // A running chase names scenes and chases by index.
    show_->player().StopChaseNow();
    show_->scenes().ReplaceAll(std::move(document.scenes));
    show_->chases().ReplaceAll(std::move(document.chases));
    show_->chaseList().Select(show_->chaseList().selection());
    if (show_->sceneList().selection() >= show_->scenes().count()) show_->sceneList().ShowSelection(-1);
    changes_.Announce(Change::kScenes);
    changes_.Announce(Change::kChases);
  }
  if (devicesChanged) {
    outputs_.devices().Load(std::move(document.devices));
    changes_.Announce(Change::kOutputs);
  }
  PatchTable patch = std::move(document.patch);
  WithTickLock([this, &patch] {
    patch_ = std::move(patch);
    outputs_.PatchChanged();
  });
  outputs_.fastPatch() = target.fastPatch;
  if (reopen) OpenOutputs();
  return true;
}

}  // namespace quor
