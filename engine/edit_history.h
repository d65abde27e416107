// The undo and redo history of the operator's edits of the show document:
// the scenes, the chases and their steps, the output devices, the patch,
// the FastPatch settings and the matrix size. Each entry is a snapshot of
// the whole document as it was on one side of an edit, encoded with the
// project writer, so restoring it gives back exactly the bytes that were
// there. The Engine owns one history and fills it through EditDocument;
// Undo and Redo are engine commands (engine/engine.h).
//
// Every document state has an id: an edit makes a new one, undo and redo
// return to an earlier one. The document is modified when the current id is
// not the one of the last save or load.
// UI thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "output/fast_patch.h"
#include "show/chase.h"

namespace quor {

inline constexpr size_t kMaxUndoSteps = 100;
// All snapshots together (undo and redo); the oldest undo steps go first.
inline constexpr size_t kUndoByteBudget = 64u << 20;

// The document at one moment: the project bytes of its parts (the other
// project fields left at their defaults) and the FastPatch settings, which
// the project file does not hold.
struct DocumentSnapshot {
  std::vector<uint8_t> bytes;
  FastPatchSettings fastPatch;
  // The beat steps, which the file bytes do not hold.
  std::vector<ChaseStepBeats> beats;
  bool SameDocument(const DocumentSnapshot& other) const;
};

struct EditHistoryEntry {
  std::string what;          // "Delete Scene"
  DocumentSnapshot document;  // the state this entry goes back (or forward) to
  uint64_t state = 0;        // that state's id
};

class EditHistory {
 public:
  explicit EditHistory(size_t maxSteps = kMaxUndoSteps, size_t byteBudget = kUndoByteBudget)
      : maxSteps_(maxSteps), byteBudget_(byteBudget) {}

  bool CanUndo() const { return !undo_.empty(); }
  bool CanRedo() const { return !redo_.empty(); }
  // What the next Undo / Redo would undo or redo; "" when there is none.
  std::string UndoText() const { return undo_.empty() ? std::string() : undo_.back().what; }
  std::string RedoText() const { return redo_.empty() ? std::string() : redo_.back().what; }
  size_t UndoCount() const { return undo_.size(); }
  size_t RedoCount() const { return redo_.size(); }
  size_t HeldBytes() const { return heldBytes_; }

  // An edit changed the document from `before`: pushes the undo entry,
  // drops every redo entry and moves to a new state.
  void Record(std::string what, DocumentSnapshot before);
  // The entry Undo / Redo would restore; null when there is none.
  const EditHistoryEntry* NextUndo() const { return undo_.empty() ? nullptr : &undo_.back(); }
  const EditHistoryEntry* NextRedo() const { return redo_.empty() ? nullptr : &redo_.back(); }
  // NextUndo() was restored; `replaced` is the document it replaced, which
  // becomes the redo entry. Likewise for Redone.
  void Undone(DocumentSnapshot replaced);
  void Redone(DocumentSnapshot replaced);

  uint64_t state() const { return state_; }
  bool Modified() const { return state_ != savedState_; }
  void MarkSaved() { savedState_ = state_; }
  // A new document (loaded or new): no history, not modified.
  void Reset();

 private:
  void Trim();
  static size_t SizeOf(const EditHistoryEntry& entry) { return entry.document.bytes.size() + entry.what.size(); }

  size_t maxSteps_;
  size_t byteBudget_;
  std::deque<EditHistoryEntry> undo_;
  std::deque<EditHistoryEntry> redo_;
  size_t heldBytes_ = 0;
  uint64_t state_ = 0;
  uint64_t savedState_ = 0;
  uint64_t nextState_ = 1;
};

}  // namespace quor
