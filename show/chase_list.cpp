#include "show/chase_list.h"

#include <algorithm>
#include <string>

namespace quor {

ChaseList::ChaseList(ShowHost& engine, const SceneStore& scenes, ChaseStore& chases, ChasePlayer& player,
                     ChaseEditor& editor)
    : engine_(engine), scenes_(scenes), chases_(chases), player_(player), editor_(editor) {}

ChaseListResult ChaseList::Add() {
  player_.StopChaseNow();
  if (scenes_.count() == 0) return {std::string(kNeedScenesMessage), -1};
  if (!chases_.HasRoomFor(1)) return {std::string(kTooManyChasesMessage), -1};
  const int position = chases_.Contains(selection_) ? selection_ + 1 : 0;
  const std::string name = "New Chase " + std::to_string(chases_.count() + 1);
  if (!chases_.InsertChase(position, name)) return {};
  selection_ = position;
  editor_.Open(position);
  return {std::nullopt, position};
}

ChaseListResult ChaseList::Edit() { return EditAt(selection_); }

ChaseListResult ChaseList::EditAt(int index) {
  player_.StopChaseNow();
  if (!chases_.Contains(index)) return {};
  selection_ = index;
  if (scenes_.count() == 0) return {std::string(kNeedScenesMessage), -1};
  editor_.Open(index);
  return {std::nullopt, index};
}

bool ChaseList::Delete() {
  player_.StopChaseNow();
  if (!chases_.Contains(selection_)) return false;
  chases_.RemoveChase(selection_);
  selection_ = std::min(selection_.load(), chases_.count() - 1);
  return true;
}

bool ChaseList::Move(int to) {
  player_.StopChaseNow();
  if (!chases_.Contains(selection_) || !chases_.Contains(to)) return false;
  chases_.SwapChases(selection_, to);
  selection_ = to;
  return true;
}

bool ChaseList::MoveUp() { return Move(selection_ - 1); }
bool ChaseList::MoveDown() { return Move(selection_ + 1); }

void ChaseList::StartAt(int index, int firstStep) {
  if (!chases_.Contains(index)) return;
  selection_ = index;
  playPressed_.store(true);
  stopPressed_.store(false);
  player_.StartChase(index + 1, firstStep);
}

void ChaseList::Play() {
  if (playPressed_.load()) return;  // a click on the pressed button keeps it pressed
  if (!chases_.Contains(selection_)) {
    playPressed_.store(false);
    return;
  }
  engine_.console().Print("Starting Chase: %d\n", selection_.load());
  StartAt(selection_);
}

void ChaseList::PlayAt(int index) {
  if (!chases_.Contains(index)) return;
  engine_.console().Print("Starting Chase: %d\n", index);
  StartAt(index);
}

void ChaseList::Stop() {
  playPressed_.store(false);
  stopPressed_.store(true);
  player_.RequestChaseStop();
}

void ChaseList::Refresh(int editedChase) { Select(editedChase); }

void ChaseList::OnPlayerStopped() {
  playPressed_.store(false);
  stopPressed_.store(true);
}

}  // namespace quor
