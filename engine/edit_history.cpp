#include "engine/edit_history.h"

#include <utility>

namespace quor {

bool DocumentSnapshot::SameDocument(const DocumentSnapshot& other) const {
  const FastPatchSettings& a = fastPatch;
  const FastPatchSettings& b = other.fastPatch;
  return bytes == other.bytes && a.dimensionX == b.dimensionX && a.dimensionY == b.dimensionY &&
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

void EditHistory::Undone(DocumentSnapshot replaced) {
  if (undo_.empty()) return;
  EditHistoryEntry entry = std::move(undo_.back());
  undo_.pop_back();
  heldBytes_ -= SizeOf(entry);
  EditHistoryEntry back{entry.what, std::move(replaced), state_};
  heldBytes_ += SizeOf(back);
  redo_.push_back(std::move(back));
  state_ = entry.state;
  Trim();
}

void EditHistory::Redone(DocumentSnapshot replaced) {
  if (redo_.empty()) return;
  EditHistoryEntry entry = std::move(redo_.back());
  redo_.pop_back();
  heldBytes_ -= SizeOf(entry);
  EditHistoryEntry back{entry.what, std::move(replaced), state_};
  heldBytes_ += SizeOf(back);
  undo_.push_back(std::move(back));
  state_ = entry.state;
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
