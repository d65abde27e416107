#include "show/step_actions.h"

#include <algorithm>

namespace quor {

FadeStrobeState CaptureFadeStrobe(EngineSettings& settings) {
  FadeStrobeState state;
  state.fadeTimePosition = FadeTimePosition(settings.sceneFadeStep.load());
  state.sceneFadeEnabled = settings.sceneFadeEnabled.load();
  state.strobeCounter = settings.strobeCounter.load();
  state.strobeTime = settings.strobeTime.load();
  return state;
}

void RestoreFadeStrobe(EngineSettings& settings, const FadeStrobeState& state) {
  settings.strobeCounter.store(state.strobeCounter);
  settings.strobeTime.store(state.strobeTime);
  settings.sceneFadeEnabled.store(state.sceneFadeEnabled);
  settings.sceneFadeStep.store(30 - state.fadeTimePosition);
}

void ApplyStepFade(EngineSettings& settings, int fade) {
  if (fade <= 0) {
    settings.sceneFadeEnabled.store(0);
    return;
  }
  fade = std::min(fade, kMaxStepFade);
  settings.sceneFadeStep.store(31 - fade);
  settings.sceneFadeEnabled.store(1);
}

void PreviewScene(ShowHost& engine, const SceneSelectedFn& selectScene, int index) {
  if (index < 0) return;
  if (selectScene) selectScene(index);
  engine.RequestSceneRecall(index);  // wakes the main thread
}

void PreviewStrobe(EngineSettings& settings, int value) {
  if (value <= 0) {
    settings.strobeCounter.store(-1);
    return;
  }
  // Only an idle strobe starts counting afresh; the mix pass may be
  // counting a running one at this moment.
  int off = -1;
  settings.strobeCounter.compare_exchange_strong(off, 0);
  settings.strobeTime.store(std::min(value / 10 + 1, 25));
}

void PreviewCrossfade(ShowHost& engine, int value, int autofade) {
  if (autofade == 1) {
    engine.StartMainGlide(std::clamp(value, 0, 2) + 1);
  } else {
    engine.JumpMainFade(value);
  }
}

void ExecuteStep(ShowHost& engine, const SceneSelectedFn& selectScene, const ChaseStep& step) {
  switch (step.kind) {
    case kStepScene:
      ApplyStepFade(engine.liveSettings(), step.fade);
      PreviewScene(engine, selectScene, step.value);
      break;
    case kStepMasterstrobe:
      PreviewStrobe(engine.liveSettings(), step.value);
      break;
    case kStepCrossfade:
      PreviewCrossfade(engine, step.value, step.autofade);
      break;
    default:
      break;  // waits only
  }
}

}  // namespace quor
