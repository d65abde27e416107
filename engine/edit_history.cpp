#include "engine/edit_history.h"

#include <deque>
#include <utility>

namespace quor {

bool DocumentSnapshot::SameDocument(const DocumentSnapshot& other) const {
  const FastPatchSettings& a = fastPatch;
  const FastPatchSettings& b = other.fastPatch;
  return bytes == other.bytes && beats == other.beats && a.dimensionX == b.dimensionX && a.dimensionY == b.dimensionY &&
         a.firstChannel == b.firstChannel && a.pixelOrder == b.pixelOrder && a.colourOrder == b.colourOrder &&
         a.device == b.device;
}

void EditHistory::Record(std::string what, DocumentSnapshot before) {
  for (const EditHistoryEntry& entry : redo_) heldBytes_ -= SizeOf(entry);
  redo_.clear();
  EditHistoryEntry entry{std::move(what), std::move(before), state_};
  heldBytes_ += SizeOf(entry);
  undo_.push_back(std::move(entry));
  state_ = nextState_++;
  Trim();
}

namespace {

// Undo and redo are one move: the newest step of `from` goes back (the
// document it held is put in place by the caller), and `to` gets a step that
// holds the document it replaced, under the same name and the state left.
void MoveStep(std::deque<EditHistoryEntry>& from, std::deque<EditHistoryEntry>& to, DocumentSnapshot replaced,
              uint64_t& state, size_t& heldBytes, size_t (*sizeOf)(const EditHistoryEntry&)) {
  if (from.empty()) return;
  EditHistoryEntry entry = std::move(from.back());
  from.pop_back();
  heldBytes -= sizeOf(entry);
  EditHistoryEntry back{entry.what, std::move(replaced), state};
  heldBytes += sizeOf(back);
  to.push_back(std::move(back));
  state = entry.state;
}

}  // namespace

void EditHistory::Undone(DocumentSnapshot replaced) {
  MoveStep(undo_, redo_, std::move(replaced), state_, heldBytes_, SizeOf);
  Trim();
}

void EditHistory::Redone(DocumentSnapshot replaced) {
  MoveStep(redo_, undo_, std::move(replaced), state_, heldBytes_, SizeOf);
  Trim();
}

void EditHistory::Reset() {
  undo_.clear();
  redo_.clear();
  heldBytes_ = 0;
  state_ = nextState_++;
  savedState_ = state_;
}

void EditHistory::Trim() {
  // The oldest undo steps go first; the step just made always stays, so
  // even a document larger than the budget can take back its last edit.
  while (undo_.size() > 1 && (undo_.size() > maxSteps_ || heldBytes_ > byteBudget_)) {
    heldBytes_ -= SizeOf(undo_.front());
    undo_.pop_front();
  }
  while (!redo_.empty() && (redo_.size() > maxSteps_ || heldBytes_ > byteBudget_)) {
    heldBytes_ -= SizeOf(redo_.front());
    redo_.pop_front();
  }
}

}  // namespace quor
