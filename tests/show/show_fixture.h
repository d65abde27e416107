// The show tests' engine on a manual clock, with console capture, a wake-up
// counter and helpers to build scenes and chases and run passes at set times.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <initializer_list>
#include <string>

#include "engine/engine.h"
#include "show/show.h"
#include "test_support.h"

namespace quor::test {

class ShowTest : public testing::Test {
 protected:
  ShowTest() : engine_(TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1}), show_(engine_.show()), capture_(engine_.console()) {
    engine_.EditHooks([this](EngineHooks& hooks) { hooks.wakeMainThread = [this] { wakes_.fetch_add(1); }; });
  }

  const EngineSettings& settings() { return engine_.settings(); }

  // Slot 0 painting (red, 0, 0), stored as a new scene after the selection.
  void AddScene(const std::string& name, uint8_t red = 0) {
    engine_.RequestType(0, kSolidType);
    engine_.RebindSlots();
    SolidIn(engine_, 0)->color[0] = red;
    ASSERT_TRUE(show_.sceneList().Add(name));
  }

  // A chase at the end of the store with the given steps.
  int AddChase(std::initializer_list<ChaseStep> steps, int loop = 1) {
    const int index = show_.chases().count();
    show_.chases().InsertChase(index, "Chase " + std::to_string(index));
    int at = 0;
    for (const ChaseStep& step : steps) show_.chases().InsertStep(index, at++, step);
    show_.chases().EditChase(index, [loop](Chase& c) { c.loop = loop; });
    return index;
  }

  static ChaseStep SceneStep(int scene, int ms, int fade = 0) { return ChaseStep{kStepScene, scene, fade, 0, ms}; }
  static ChaseStep StrobeStep(int value, int ms) { return ChaseStep{kStepMasterstrobe, value, 0, 0, ms}; }
  static ChaseStep CrossfadeStep(int value, int autofade, int ms) { return {kStepCrossfade, value, 0, autofade, ms}; }

  // strobeCounter, strobeTime, sceneFadeStep, sceneFadeEnabled.
  std::array<int, 4> StrobeAndFade() {
    const EngineSettings& s = settings();
    return {s.strobeCounter.load(), s.strobeTime.load(), s.sceneFadeStep.load(), s.sceneFadeEnabled.load()};
  }
  // Start-up strobe and fade, which stopping a chase or closing the editor puts back.
  static constexpr std::array<int, 4> kStartUpStrobeAndFade{-1, 1, 10, 1};

  int MainFade() { return engine_.panel().masterFade[kMixMain].load(); }
  int Glide() { return settings().mainFadeDirection.load(); }
  int64_t NowMs() { return engine_.clock().NowMicros() / 1000; }
  // One mix pass at virtual time `ms` (no timers run: the clock is not started).
  void PassAt(int64_t ms) {
    engine_.clock().Advance(static_cast<int>(ms - NowMs()));
    engine_.RunMixPass();
  }

  Engine engine_;
  Show& show_;
  ConsoleCapture capture_;
  std::atomic<int> wakes_{0};
};

}  // namespace quor::test
