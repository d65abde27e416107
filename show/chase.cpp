#include "show/chase.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

namespace quor {

int64_t Chase::TotalDurationMs() const {
  int64_t total = 0;
  for (const ChaseStep& step : steps) total += step.duration;
  return total;
}

void WriteChaseStep(const ChaseStep& step, ByteWriter& out) {
  out.PutI32(step.kind);
  out.PutI32(step.value);
  out.PutI32(step.fade);
  out.PutI32(step.autofade);
  out.PutI32(step.duration);
}

ChaseStep ReadChaseStep(ByteReader& in) {
  ChaseStep step;
  step.kind = in.GetI32();
  step.value = in.GetI32();
  step.fade = in.GetI32();
  step.autofade = in.GetI32();
  step.duration = in.GetI32();
  return step;
}

void WriteChaseHeader(const Chase& chase, ByteWriter& out) {
  out.PutBytes(chase.name.data(), chase.name.size());
  out.PutI32(chase.loop);
  out.PutI32(chase.StepCount());
  out.PutI32(std::max(chase.stepCapacity, chase.StepCount()));
  out.PutU32(0);  // the step array's address in memory: no meaning on disk
  static_assert(kNameFieldSize + 4 * 4 == kChaseRecordSize);
  static_assert(5 * 4 == kChaseStepRecordSize);
}

void WriteChaseWithSteps(const Chase& chase, ByteWriter& out) {
  WriteChaseHeader(chase, out);
  for (const ChaseStep& step : chase.steps) WriteChaseStep(step, out);
}

Chase ReadChaseWithSteps(ByteReader& in) {
  Chase chase;
  in.GetBytes(chase.name.data(), chase.name.size());
  chase.loop = in.GetI32();
  const int32_t stepCount = in.GetI32();
  const int32_t stepCapacity = in.GetI32();
  in.Skip(4);
  const size_t wanted = static_cast<size_t>(std::max(stepCount, 0));
  const size_t available = in.remaining() / kChaseStepRecordSize;
  const size_t n = std::min(wanted, available);
  chase.steps.reserve(n);
  for (size_t i = 0; i < n; ++i) chase.steps.push_back(ReadChaseStep(in));
  if (n < wanted) in.Skip(in.remaining() + 1);  // clears ok(): steps were missing
  chase.stepCapacity = std::max({stepCapacity, chase.StepCount(), 0});
  return chase;
}

int32_t BeatStepMs(int32_t quarters, double bpm) {
  if (!(bpm > 0)) bpm = kDefaultStepBpm;
  const double ms = std::round(std::clamp(quarters, 1, kMaxStepBeatQuarters) * 15000.0 / bpm);
  return static_cast<int32_t>(std::clamp(ms, 1.0, 2147483647.0));
}

std::vector<ChaseStepBeats> CollectStepBeats(std::span<const Chase> chases) {
  std::vector<ChaseStepBeats> beats;
  for (size_t c = 0; c < chases.size(); ++c) {
    const std::vector<ChaseStep>& steps = chases[c].steps;
    for (size_t s = 0; s < steps.size(); ++s) {
      if (steps[s].beatQuarters > 0) {
        beats.push_back({static_cast<int32_t>(c), static_cast<int32_t>(s), steps[s].beatQuarters});
      }
    }
  }
  return beats;
}

std::string StepBeatsProblem(std::span<const Chase> chases, std::span<const ChaseStepBeats> beats) {
  std::set<std::pair<int32_t, int32_t>> seen;
  for (const ChaseStepBeats& b : beats) {
    const std::string where = "chase " + std::to_string(int64_t{b.chase} + 1) + " step " + std::to_string(int64_t{b.step} + 1);
    if (b.chase < 0 || static_cast<size_t>(b.chase) >= chases.size() || b.step < 0 ||
        b.step >= chases[static_cast<size_t>(b.chase)].StepCount()) {
      return where + " is not in the project";
    }
    if (b.quarters < 1 || b.quarters > kMaxStepBeatQuarters) return where + " has no valid number of beats";
    if (!seen.emplace(b.chase, b.step).second) return where + " is given twice";
  }
  return {};
}

bool ApplyStepBeats(std::vector<Chase>& chases, std::span<const ChaseStepBeats> beats) {
  if (!StepBeatsProblem(chases, beats).empty()) return false;
  for (Chase& chase : chases) {
    for (ChaseStep& step : chase.steps) step.beatQuarters = 0;
  }
  for (const ChaseStepBeats& b : beats) {
    chases[static_cast<size_t>(b.chase)].steps[static_cast<size_t>(b.step)].beatQuarters = b.quarters;
  }
  return true;
}

void MeasureBeatSteps(std::vector<Chase>& chases, double bpm) {
  if (!(bpm > 0)) return;
  for (Chase& chase : chases) {
    for (ChaseStep& step : chase.steps) {
      if (step.beatQuarters > 0) step.duration = BeatStepMs(step.beatQuarters, bpm);
    }
  }
}

}  // namespace quor
