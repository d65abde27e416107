// What the scenes-and-chases subsystem needs from the live system around
// it: the console, the scene-fade and strobe settings, the clock's time,
// and the few commands a chase step or a scene window button issues. The
// Engine implements it; show/ never sees the Engine itself.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/change_feed.h"
#include "core/console.h"
#include "core/frame_clock.h"
#include "core/live_state.h"

namespace quor {

struct Scene;

class ShowHost {
 public:
  virtual Console& console() = 0;
  // The live settings the show's steps and windows change (scene fade, strobe).
  virtual EngineSettings& liveSettings() = 0;
  virtual FrameClock& clock() = 0;
  virtual bool ClockRunning() const = 0;
  // The tempo the show follows: beats counted so far, where the last mix
  // pass lay in its beat (0..1) and beats per minute, 0 when there is no
  // tempo (any thread).
  virtual uint32_t BeatCount() const = 0;
  virtual double BeatPhase() const = 0;
  virtual double Bpm() const = 0;
  // Where the show announces what it changed (any thread).
  virtual ChangeFeed& changes() = 0;
  // Any thread: asks the main thread to recall scene `sceneIndex`.
  virtual void RequestSceneRecall(int sceneIndex) = 0;
  // The main crossfader: a glide towards an end or the centre, or a jump
  // that stops any glide.
  virtual void StartMainGlide(int direction) = 0;
  virtual void JumpMainFade(int value) = 0;
  // UI thread: fills `scene` from the live slots and panel under `name`.
  virtual void StoreLiveScene(Scene& scene, std::string_view name) = 0;

 protected:
  ~ShowHost() = default;
};

}  // namespace quor
