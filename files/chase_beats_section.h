// The "chaseBeats" section of the project's side file: which chase steps
// last a number of beats rather than milliseconds. The project file keeps
// every step's length in milliseconds (measured at the tempo of the last
// save), so a build that knows no beats still plays the chase at that
// tempo; this section adds the beats back. Written with every save of the
// project, so it always matches the steps the project file holds.
//
// Format: {"steps": [[chase, step, quarterBeats], ...]}, indices from 0.
// Any thread but the clock thread.
#pragma once

#include <QJsonObject>
#include <span>
#include <string>
#include <vector>

#include "files/side_file.h"
#include "show/chase.h"

namespace quor {

inline constexpr const char* kChaseBeatsSection = "chaseBeats";

struct ChaseBeatsRead {
  std::vector<ChaseStepBeats> beats;
  std::string problem;  // why the section was refused; empty when read
};

// The section's object for `beats` (empty object for none).
QJsonObject ChaseBeatsJson(std::span<const ChaseStepBeats> beats);
// Reads the section; a missing or empty section gives no beats. Entries
// that are not three whole numbers, or more than one per possible step,
// refuse the whole section. Whether the steps exist is for the caller.
ChaseBeatsRead ParseChaseBeats(const QJsonObject& section);

}  // namespace quor
