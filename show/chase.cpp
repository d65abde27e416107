#include "show/chase.h"

#include <algorithm>

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

}  // namespace quor
