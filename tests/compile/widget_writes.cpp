// What a window may do with the engine: read the live values and call
// commands. Built once per CASE; every CASE but 0 must fail to compile,
// because the live values are handed out read-only and the write access
// is private to the engine layer.
#include "engine/engine.h"

void Widget(quor::Engine& engine) {
#if CASE == 1
  engine.settings().pixelStep.store(2);
#elif CASE == 2
  engine.panel().speed[0].store(10);
#elif CASE == 3
  engine.flags().showModeActive.store(true);
#elif CASE == 4
  engine.liveSettings().masterLevel.store(0);
#elif CASE == 5
  quor::EngineSettings& settings = engine.settings();
  settings.remoteControlEnabled = 1;
#else
  engine.SetPixelStep(engine.settings().pixelStep.load() + 1);
  engine.SetControl({quor::ControlId::kMasterLevel}, engine.panel().masterFade[0].load());
#endif
}
