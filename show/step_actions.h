// What a chase step does to the live system, shared by the chase player
// (clock thread, inside the mix pass) and the chase editor's previews (UI
// thread): scene fade options and scene recall requests, the master strobe,
// the main-mix crossfader. Everything here writes engine atomics or asks
// for work on the main thread; nothing blocks.
#pragma once

#include <functional>

#include "show/chase.h"
#include "show/show_host.h"

namespace quor {

// "Fadetime" slider range of the scene window; the fade step is 30 minus
// the position.
inline constexpr int kMaxFadeTimePosition = 26;
inline constexpr int FadeTimePosition(int sceneFadeStep) { return 30 - sceneFadeStep; }

// The scene fade and strobe settings a chase or the chase editor changes
// and puts back afterwards.
struct FadeStrobeState {
  int fadeTimePosition = 20;
  int sceneFadeEnabled = 1;
  int strobeCounter = -1;
  int strobeTime = 1;
};
FadeStrobeState CaptureFadeStrobe(EngineSettings& settings);
void RestoreFadeStrobe(EngineSettings& settings, const FadeStrobeState& state);

// Called with the scene index whenever a step selects a scene, so the scene
// list can show it. Any thread; must not block.
using SceneSelectedFn = std::function<void(int sceneIndex)>;

// Scene fade options of a scene step: 0 (or less) cuts; 1..27 fades with
// "Fadetime" at fade - 1. Larger values act as 27, so a damaged step can
// never give a fade step below 4 (a step of 0 would never end the fade).
void ApplyStepFade(EngineSettings& settings, int fade);
// Shows scene `index` in the scene list and asks the main thread to recall
// it. Negative indexes name no scene and do nothing.
void PreviewScene(ShowHost& engine, const SceneSelectedFn& selectScene, int index);
// 0 (or less): strobe off. Otherwise strobe on (counting from 0 unless it
// already runs) with strobe time min(value / 10 + 1, 25).
void PreviewStrobe(EngineSettings& settings, int value);
// Autofade 1: glide to 0 / 128 / 255 for value 0 / 1 / 2. Otherwise the
// crossfader jumps to value (0..255) and any glide stops.
void PreviewCrossfade(ShowHost& engine, int value, int autofade);
// One step as the player executes it; unknown kinds do nothing.
void ExecuteStep(ShowHost& engine, const SceneSelectedFn& selectScene, const ChaseStep& step);

}  // namespace quor
