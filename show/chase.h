// Chases: a named, ordered list of steps that the chase player runs one
// after the other. Each step recalls a scene, switches the master strobe or
// moves the main-mix crossfader, then waits its duration. The records are
// fixed little-endian layouts (272-byte chase header, 20-byte step) that
// the project file stores byte for byte; the step array itself lives in
// the Chase, and the header's pointer word is written as zero.
// Plain value types; no thread rules of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/byte_io.h"
#include "show/scene.h"

namespace quor {

inline constexpr size_t kChaseRecordSize = 272;
inline constexpr size_t kChaseStepRecordSize = 20;
inline constexpr int kInitialStepCapacity = 5;
// A chase whose steps add up to this many milliseconds or less is refused
// by the player.
inline constexpr int64_t kMinimumChaseLengthMs = 1999;

enum ChaseStepKind : int32_t {
  kStepScene = 0,         // recall scene `value`, fade by `fade`
  kStepMasterstrobe = 1,  // strobe off (0) or on with a strobe time from `value`
  kStepCrossfade = 2,     // main-mix crossfader: jump to `value` or glide
  // Any other kind only waits its duration.
};

inline constexpr int kMaxStepFade = 27;        // "Fadetime" position 26, fade step 4
inline constexpr int kDefaultStepDurationMs = 10000;

struct ChaseStep {
  int32_t kind = kStepScene;
  // Scene: scene store index. Masterstrobe: 0..255, 0 = off. Crossfade:
  // position 0..255, or with autofade the glide target 0 left, 1 centre,
  // 2 right.
  int32_t value = 0;
  int32_t fade = 0;      // Scene: 0 = cut, 1..27 = fade with "Fadetime" at fade - 1
  int32_t autofade = 0;  // Crossfade: 1 = glide, 0 = jump
  int32_t duration = 0;  // ms from this step's start to the next step's start
  // Above 0 the step lasts this many quarter beats of the tempo in use
  // instead, and `duration` holds that length at the tempo it was last
  // edited or saved at, so a file read without the beats plays at that
  // tempo. Not part of the 20-byte record: the side file keeps it.
  int32_t beatQuarters = 0;

  bool operator==(const ChaseStep&) const = default;
};

// Beat steps: up to 999 beats, in quarter beats.
inline constexpr int32_t kMaxStepBeatQuarters = 4 * 999;
// The tempo a beat step is measured at while no tempo is known.
inline constexpr double kDefaultStepBpm = 120.0;

// `quarters` quarter beats at `bpm` (0 or less: kDefaultStepBpm), in whole
// milliseconds, rounded and at least 1.
int32_t BeatStepMs(int32_t quarters, double bpm);

// Where one beat step sits: chase and step index and its quarter beats.
struct ChaseStepBeats {
  int32_t chase = 0;
  int32_t step = 0;
  int32_t quarters = 0;
  bool operator==(const ChaseStepBeats&) const = default;
};

struct Chase {
  NameField name{};
  int32_t loop = 1;  // 1 = start again after the last step; anything else ends
  // Steps the array can hold before it must grow (grows by one at a time).
  int32_t stepCapacity = kInitialStepCapacity;
  std::vector<ChaseStep> steps;  // stepCount = steps.size()

  std::string Name() const { return NameText(name); }
  int StepCount() const { return static_cast<int>(steps.size()); }
  bool Loops() const { return loop == 1; }
  // Sum of all durations, without overflow for any stored values.
  int64_t TotalDurationMs() const;
};

void WriteChaseStep(const ChaseStep& step, ByteWriter& out);
ChaseStep ReadChaseStep(ByteReader& in);
// The 272-byte header only; the caller writes the steps after it.
void WriteChaseHeader(const Chase& chase, ByteWriter& out);
// Writes the header followed by every step, as the project file keeps them.
void WriteChaseWithSteps(const Chase& chase, ByteWriter& out);
// Reads a header and its steps. A negative step count reads as 0, and no
// more steps are read than the input still holds, so a damaged count can
// neither make it allocate without bound nor read past the end; the reader's
// ok() tells whether everything announced was there. The capacity is at
// least the step count.
Chase ReadChaseWithSteps(ByteReader& in);

// Every beat step of `chases`, in chase and step order.
std::vector<ChaseStepBeats> CollectStepBeats(std::span<const Chase> chases);
// Why `beats` cannot apply to `chases` (an entry names no step, holds a
// count outside 1..kMaxStepBeatQuarters or names a step twice); empty when
// it can.
std::string StepBeatsProblem(std::span<const Chase> chases, std::span<const ChaseStepBeats> beats);
// Makes exactly the steps in `beats` beat steps (checked with
// StepBeatsProblem first; false and nothing changed when it fails).
bool ApplyStepBeats(std::vector<Chase>& chases, std::span<const ChaseStepBeats> beats);
// Sets every beat step's `duration` to its length at `bpm`; nothing at a
// bpm of 0 or less, so the lengths last measured stay.
void MeasureBeatSteps(std::vector<Chase>& chases, double bpm);

}  // namespace quor
