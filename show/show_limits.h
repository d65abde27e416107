// The most scenes, chases and steps per chase one show may hold, and what
// the operator is told when an addition would pass them. The project file
// refuses more than this, so every place that adds records (the scene and
// chase windows, the chase editor, import) refuses them too: a save never
// fails for content the program let the user create.
// Constants only; any thread.
#pragma once

#include <cstdint>

namespace quor {

inline constexpr int32_t kMaxShowScenes = 10000;
inline constexpr int32_t kMaxShowChases = 250;
inline constexpr int32_t kMaxChaseSteps = 10000;  // per chase: hours of steps

inline constexpr const char* kTooManyScenesMessage =
    "A show holds at most 10000 scenes. Delete a scene before you add another.";
inline constexpr const char* kTooManyChasesMessage =
    "A show holds at most 250 chases. Delete a chase before you add another.";
inline constexpr const char* kTooManyStepsMessage =
    "A chase holds at most 10000 steps. Delete a step before you insert another.";

}  // namespace quor
