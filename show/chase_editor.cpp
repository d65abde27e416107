#include "show/chase_editor.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace quor {

int ParseDurationText(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  // Whole milliseconds, saturating well above the 32-bit range.
  constexpr int64_t kCap = int64_t{1} << 40;
  int64_t ms = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) ms = std::min(ms * 10 + (text[i] - '0'), kCap);
  ms *= 1000;
  if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
    ++i;
    int64_t scale = 100;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, scale /= 10) ms += (text[i] - '0') * scale;
  }
  if (negative) ms = -ms;
  return static_cast<int>(std::clamp<int64_t>(ms, std::numeric_limits<int32_t>::min(),
                                               std::numeric_limits<int32_t>::max()));
}

std::string FormatDuration(int durationMs) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", durationMs / 1000.0);
  return text;
}

StepLength ParseStepLength(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  // A number: whole part, decimals after a point or comma, or a fraction.
  double value = 0;
  size_t at = i;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && value < 1e6; ++at) value = value * 10 + (text[at] - '0');
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
  if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
    double scale = 0.1;
    for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, scale /= 10) value += (text[at] - '0') * scale;
  } else if (at < text.size() && text[at] == '/') {
    double divisor = 0;
    for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9' && divisor < 1e6; ++at) {
      divisor = divisor * 10 + (text[at] - '0');
    }
    value = divisor > 0 ? value / divisor : 0;
  }
  size_t word = at;
  while (word < text.size() && text[word] == ' ') ++word;
  std::string unit;
  for (; word < text.size() && unit.size() < 5; ++word) {
    unit += static_cast<char>(text[word] >= 'A' && text[word] <= 'Z' ? text[word] - 'A' + 'a' : text[word]);
  }
  if (unit.rfind("beat", 0) != 0) return {ParseDurationText(text), 0};
  if (at == i) value = 1;  // "beat" alone
  const double quarters = std::round(value * 4);
  return {0, static_cast<int32_t>(std::clamp(quarters, 1.0, double{kMaxStepBeatQuarters}))};
}

std::string FormatStepLength(const ChaseStep& step) {
  if (step.beatQuarters <= 0) return FormatDuration(step.duration);
  const int32_t whole = step.beatQuarters / 4;
  static constexpr const char* kFractions[] = {"", ".25", ".5", ".75"};
  return std::to_string(whole) + kFractions[step.beatQuarters % 4] + (step.beatQuarters == 4 ? " beat" : " beats");
}

ChaseEditor::ChaseEditor(ShowHost& engine, const SceneStore& scenes, ChaseStore& chases, ChasePlayer& player,
                         SceneList& sceneList)
    : engine_(engine),
      scenes_(scenes),
      chases_(chases),
      player_(player),
      sceneList_(sceneList),
      selectScene_([this](int index) { sceneList_.ShowSelection(index); }) {}

bool ChaseEditor::Open(int chaseIndex) {
  if (!chases_.Contains(chaseIndex)) return false;
  // The chase must be stopped before the settings are saved, or its stop
  // would later put back its own saved settings over the previews.
  player_.StopChaseNow();
  saved_ = CaptureFadeStrobe(engine_.liveSettings());
  chase_ = chaseIndex;
  current_ = -1;
  controls_ = ChaseStepControls{};
  open_ = true;
  return true;
}

int ChaseEditor::Close() {
  if (!open_) return chase_;
  RestoreFadeStrobe(engine_.liveSettings(), saved_);
  engine_.changes().Announce(Change::kMaster);
  open_ = false;
  current_ = -1;
  return chase_;
}

std::string ChaseEditor::name() const { return open_ ? chase().Name() : std::string(); }
bool ChaseEditor::loop() const { return open_ && chase().loop > 0; }

std::vector<ChaseStepRow> ChaseEditor::Rows() const {
  std::vector<ChaseStepRow> rows;
  if (!open_) return rows;
  for (const ChaseStep& step : chase().steps) {
    ChaseStepRow row;
    switch (step.kind) {
      case kStepScene:
        row.step.assign(1, '[');
        row.step.append(scenes_.Contains(step.value) ? scenes_.at(step.value).Name() : std::string(1, '?'));
        row.step.push_back(']');
        break;
      case kStepMasterstrobe:
        row.step = ">> Masterstrobe";
        break;
      case kStepCrossfade:
        row.step = ">> Crossfade";
        break;
      default:
        row.step = ">> Wait";
        break;
    }
    row.time = FormatStepLength(step);
    rows.push_back(std::move(row));
  }
  return rows;
}

const ChaseStep* ChaseEditor::CurrentStep() const {
  if (!open_ || current_ < 0 || current_ >= chase().StepCount()) return nullptr;
  return &chase().steps[static_cast<size_t>(current_)];
}

bool ChaseEditor::ControlLive(int kind) const { return CurrentStep() != nullptr && controls_.enabledKind == kind; }

void ChaseEditor::EditCurrent(const std::function<void(ChaseStep&)>& edit) {
  if (!CurrentStep()) return;
  const int index = current_;
  chases_.EditChase(chase_, [&](Chase& c) { edit(c.steps[static_cast<size_t>(index)]); });
}

void ChaseEditor::LoadControls(const ChaseStep& step) {
  const bool known = step.kind >= kStepScene && step.kind <= kStepCrossfade;
  controls_.enabledKind = known ? step.kind : -1;
  if (!known) return;
  controls_.type = step.kind;
  controls_.durationText = FormatStepLength(step);
  if (step.kind == kStepScene) {
    controls_.scene = step.value;
    controls_.sceneFade = std::clamp<int>(step.fade, 0, kMaxStepFade);
  } else if (step.kind == kStepMasterstrobe) {
    controls_.strobe = std::clamp<int>(step.value, 0, 255);
  } else {
    controls_.autofade = step.autofade == 1;
    controls_.crossfadeMax = controls_.autofade ? 2 : 255;
    controls_.crossfade = std::clamp<int>(step.value, 0, controls_.crossfadeMax);
  }
}

void ChaseEditor::ReplayBefore(int row) {
  bool haveScene = false;
  bool haveCrossfade = false;
  int scene = 0;
  int crossfade = 0;
  int strobe = 0;
  for (int i = 0; i < row; ++i) {
    const ChaseStep& step = chase().steps[static_cast<size_t>(i)];
    if (step.kind == kStepScene) {
      haveScene = true;
      scene = step.value;
      haveCrossfade = false;  // a scene brings its own crossfader position
    } else if (step.kind == kStepCrossfade) {
      // A glide counts as having reached its end: 0, 128 or 255.
      haveCrossfade = true;
      crossfade = step.autofade == 1 ? std::min(std::clamp<int>(step.value, 0, 2) * 128, 255) : step.value;
    } else if (step.kind == kStepMasterstrobe) {
      strobe = step.value;
    }
  }
  if (haveScene) {
    engine_.liveSettings().sceneFadeEnabled.store(0);
    engine_.changes().Announce(Change::kMaster);
    engine_.StartMainGlide(kGlideNone);
    PreviewScene(engine_, selectScene_, scene);
  }
  if (haveCrossfade) engine_.JumpMainFade(crossfade);
  if (strobe > 0) {
    PreviewStrobe(engine_.liveSettings(), strobe);
    engine_.changes().Announce(Change::kMaster);
  }
}

void ChaseEditor::SelectRow(int row) {
  if (!open_ || row < 0 || row >= chase().StepCount()) {
    ClearSelection();
    return;
  }
  current_ = row;
  controls_.enabledKind = -1;
  if (row > 0) ReplayBefore(row);
  const ChaseStep step = chase().steps[static_cast<size_t>(row)];
  LoadControls(step);
  ExecuteStep(engine_, selectScene_, step);
  // The step may have changed the fade and strobe settings: the scene
  // window, the panel and show mode show them.
  engine_.changes().Announce(Change::kMaster);
}

void ChaseEditor::ClearSelection() {
  current_ = -1;
  controls_.enabledKind = -1;
}

std::optional<std::string> ChaseEditor::InsertRefusal() const {
  if (!open_ || chase().StepCount() < kMaxChaseSteps) return std::nullopt;
  return std::string(kTooManyStepsMessage);
}

bool ChaseEditor::InsertStep() {
  if (!open_ || InsertRefusal()) return false;
  const int position = CurrentStep() ? current_ + 1 : 0;
  ChaseStep step;
  step.kind = kStepScene;
  step.value = 0;
  const EngineSettings& settings = engine_.liveSettings();
  step.fade = settings.sceneFadeEnabled.load() > 0 ? sceneList_.FadeTimePosition() + 1 : 0;
  SetLength(step, controls_.durationText);
  if (step.duration <= 0) step.duration = kDefaultStepDurationMs;
  if (!chases_.InsertStep(chase_, position, step)) return false;
  current_ = position;
  LoadControls(step);
  return true;
}

void ChaseEditor::Move(int to) {
  if (!CurrentStep() || to < 0 || to >= chase().StepCount()) return;
  chases_.SwapSteps(chase_, current_, to);
  current_ = to;
}

bool ChaseEditor::MoveUp() {
  const int before = current_;
  Move(current_ - 1);
  return current_ != before;
}

bool ChaseEditor::MoveDown() {
  const int before = current_;
  Move(current_ + 1);
  return current_ != before;
}

bool ChaseEditor::DeleteStep() {
  if (!CurrentStep()) return false;
  chases_.RemoveStep(chase_, current_);
  const int count = chase().StepCount();
  if (count == 0) {
    ClearSelection();
    return true;
  }
  // The controls follow the step that is now current, so the next edit
  // changes what they show.
  current_ = std::min(current_, count - 1);
  LoadControls(chase().steps[static_cast<size_t>(current_)]);
  return true;
}

void ChaseEditor::SetName(std::string_view text) {
  if (!open_) return;
  chases_.EditChase(chase_, [&](Chase& c) { SetNameText(c.name, text); });
}

void ChaseEditor::SetLoop(bool checked) {
  if (!open_) return;
  chases_.EditChase(chase_, [&](Chase& c) { c.loop = checked ? 1 : 0; });
}

void ChaseEditor::SetType(int kind) {
  if (!CurrentStep() || kind < kStepScene || kind > kStepCrossfade) return;
  controls_.type = kind;
  controls_.enabledKind = kind;
  if (kind == kStepScene) {
    const int value = controls_.scene;
    EditCurrent([&](ChaseStep& s) { s.kind = kStepScene, s.value = value; });
    PreviewScene(engine_, selectScene_, value);
  } else if (kind == kStepMasterstrobe) {
    const int value = controls_.strobe;
    EditCurrent([&](ChaseStep& s) { s.kind = kStepMasterstrobe, s.value = value; });
    PreviewStrobe(engine_.liveSettings(), value);
    engine_.changes().Announce(Change::kMaster);
  } else {
    controls_.crossfadeMax = 255;
    controls_.crossfade = 128;
    controls_.autofade = false;
    EditCurrent([](ChaseStep& s) { s.kind = kStepCrossfade, s.value = 128, s.autofade = 0; });
    engine_.JumpMainFade(128);
  }
}

void ChaseEditor::SetDurationText(std::string_view text) {
  controls_.durationText = std::string(text);
  if (!CurrentStep()) return;
  EditCurrent([&](ChaseStep& s) { SetLength(s, text); });
}

void ChaseEditor::SetLength(ChaseStep& step, std::string_view text) const {
  const StepLength length = ParseStepLength(text);
  step.beatQuarters = length.beatQuarters;
  step.duration = length.beatQuarters > 0 ? BeatStepMs(length.beatQuarters, engine_.Bpm()) : std::max(length.durationMs, 0);
}

void ChaseEditor::SetScene(int index) {
  controls_.scene = index;
  if (!ControlLive(kStepScene)) return;
  EditCurrent([&](ChaseStep& s) { s.value = index; });
  PreviewScene(engine_, selectScene_, index);
}

void ChaseEditor::SetSceneFade(int position) {
  controls_.sceneFade = std::clamp(position, 0, kMaxStepFade);
  if (!ControlLive(kStepScene)) return;
  const int fade = controls_.sceneFade;
  EditCurrent([&](ChaseStep& s) { s.fade = fade; });
}

void ChaseEditor::SetStrobe(int position) {
  controls_.strobe = std::clamp(position, 0, 255);
  if (!ControlLive(kStepMasterstrobe)) return;
  const int value = controls_.strobe;
  EditCurrent([&](ChaseStep& s) { s.value = value; });
  PreviewStrobe(engine_.liveSettings(), value);
  engine_.changes().Announce(Change::kMaster);
}

void ChaseEditor::SetCrossfade(int position) {
  controls_.crossfade = std::clamp(position, 0, controls_.crossfadeMax);
  if (!ControlLive(kStepCrossfade)) return;
  const int value = controls_.crossfade;
  const int autofade = controls_.autofade ? 1 : 0;
  EditCurrent([&](ChaseStep& s) { s.value = value; });
  PreviewCrossfade(engine_, value, autofade);
}

void ChaseEditor::SetAutofade(bool checked) {
  if (!ControlLive(kStepCrossfade)) return;
  controls_.autofade = checked;
  controls_.crossfadeMax = checked ? 2 : 255;
  controls_.crossfade = checked ? 1 : 128;
  const int value = controls_.crossfade;
  const int autofade = checked ? 1 : 0;
  EditCurrent([&](ChaseStep& s) { s.autofade = autofade, s.value = value; });
  PreviewCrossfade(engine_, value, autofade);
}

}  // namespace quor
