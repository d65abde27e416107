// The control address space on the engine: every control maps onto the
// command a panel widget uses, so a control set from anywhere clamps,
// acts and announces exactly as the widget would.
#include "engine/engine.h"

namespace quor {
namespace {

GlideDirection GlideOf(ControlId id) {
  switch (id) {
    case ControlId::kMainGlideStart: return kGlideToStart;
    case ControlId::kMainGlideCentre: return kGlideToCentre;
    case ControlId::kMainGlideEnd: return kGlideToEnd;
    default: return kGlideNone;
  }
}

}  // namespace

int Engine::ControlInstances(ControlId id) const {
  const ControlSpec& info = SpecOf(id);
  if (info.instances > 0) return info.instances;
  // The main thread changes the stores; another thread (a network input
  // asking for values) reads the count under the store's lock.
  auto count = [this](const auto& store) {
    if (OnMainThread()) return store.count();
    const auto lock = store.Lock();
    return store.count();
  };
  const int held = id == ControlId::kSceneRecall ? count(show_->scenes()) : count(show_->chases());
  return std::min(held, info.maxInstances);
}

bool Engine::SetControl(const ControlAddress& address, int value) {
  const ControlSpec& info = SpecOf(address.id);
  if (info.id != address.id || address.instance < 0 || address.instance >= info.maxInstances) return false;
  // Scenes and chases are counted on the main thread only; a request from
  // elsewhere is checked when it is carried out.
  const bool main = OnMainThread();
  if ((info.instances > 0 || main) && address.instance >= ControlInstances(address.id)) return false;
  value = ClampControlValue(address.id, value);
  const bool pressed = value != 0;
  const int n = address.instance;
  switch (address.id) {
    case ControlId::kSlotEffect: SelectEffect(n, value), WakeMainThread(); break;
    case ControlId::kSlotSpeed: SetSlotSpeed(n, value); break;
    case ControlId::kSlotInvert: SetInvert(n, pressed); break;
    case ControlId::kChannelMode: SetMergeMode(n, value); break;
    case ControlId::kChannelFade: SetChannelFade(n, value); break;
    case ControlId::kMainMode: SetMergeMode(kMixMain, value); break;
    case ControlId::kMainFade: SetMainFadeByHand(value); break;
    case ControlId::kMainGlideStart:
    case ControlId::kMainGlideCentre:
    case ControlId::kMainGlideEnd:
      if (pressed) StartMainGlide(GlideOf(address.id));
      break;
    case ControlId::kMasterLevel: SetMasterLevel(value); break;
    case ControlId::kBlackout:
      if (pressed) Blackout();
      break;
    case ControlId::kGamma: SetGammaSetting(value); break;
    case ControlId::kStrobe: SetStrobe(pressed); break;
    case ControlId::kStrobeTime: SetStrobeTime(value); break;
    case ControlId::kStrobeBeat: SetStrobeBeat(value); break;
    case ControlId::kShowMode:
      if (flags_.showModeActive.exchange(pressed) != pressed) changes_.Announce(Change::kShowMode);
      break;
    case ControlId::kSceneRecall:
      if (!pressed) break;
      if (main) {
        RecallSceneNumber(n + 1);
      } else {
        sceneBeforeChase_.store(false);
        pendingScene_.store(n + 1);
        WakeMainThread();
      }
      break;
    case ControlId::kChasePlay:
      if (!pressed) break;
      if (main) {
        StartChaseNumber(n + 1);
      } else {
        // Within one frame the chase comes first (a scene then stops it); a
        // scene still waiting from an earlier frame goes before it.
        sceneBeforeChase_.store(pendingScene_.load() != 0);
        pendingChase_.store(n + 1);
        WakeMainThread();
      }
      break;
    case ControlId::kChaseStop:
      if (!pressed) break;
      if (main) {
        show_->chaseList().Stop();
      } else {
        pendingChaseStop_.store(true);
        WakeMainThread();
      }
      break;
    case ControlId::kOutput:
      if (main) {
        pressed ? static_cast<void>(OpenOutputs()) : CloseOutputs();
      } else {
        pendingOutputs_.store(pressed ? 1 : 0);
        WakeMainThread();
      }
      break;
    case ControlId::kTempoTap:
      if (pressed) tempo_.Tap(clock_.NowMicros() / 1000);
      break;
    case ControlId::kTempoAuto:
      if (pressed) tempo_.UseDetection();
      break;
  }
  return true;
}

std::optional<int> Engine::ControlValue(const ControlAddress& address) const {
  const ControlSpec& info = SpecOf(address.id);
  if (info.id != address.id || address.instance < 0 || address.instance >= ControlInstances(address.id)) {
    return std::nullopt;
  }
  const size_t n = static_cast<size_t>(address.instance);
  switch (address.id) {
    case ControlId::kSlotEffect: return panel_.effectListPosition[n].load();
    case ControlId::kSlotSpeed: return panel_.speed[n].load();
    case ControlId::kSlotInvert: return panel_.invert[n].load() != 0 ? 1 : 0;
    case ControlId::kChannelMode: return panel_.mergeMode[n].load();
    case ControlId::kChannelFade: return panel_.masterFade[n].load();
    case ControlId::kMainMode: return panel_.mergeMode[kMixMain].load();
    case ControlId::kMainFade: return panel_.masterFade[kMixMain].load();
    case ControlId::kMainGlideStart:
    case ControlId::kMainGlideCentre:
    case ControlId::kMainGlideEnd: return settings_.mainFadeDirection.load() == GlideOf(address.id) ? 1 : 0;
    case ControlId::kMasterLevel: return settings_.masterLevel.load();
    case ControlId::kBlackout: return settings_.masterLevel.load() == 0 ? 1 : 0;
    case ControlId::kGamma: return settings_.gammaSetting.load();
    case ControlId::kStrobe: return settings_.strobeCounter.load() >= 0 ? 1 : 0;
    case ControlId::kStrobeTime: return settings_.strobeTime.load();
    case ControlId::kStrobeBeat: return StrobeBeat();
    case ControlId::kShowMode: return flags_.showModeActive.load() ? 1 : 0;
    case ControlId::kSceneRecall: return show_->sceneList().selection() == address.instance ? 1 : 0;
    case ControlId::kChasePlay: return show_->player().RunningChase() == address.instance + 1 ? 1 : 0;
    case ControlId::kChaseStop: return show_->player().RunningChase() > 0 ? 0 : 1;
    case ControlId::kOutput: return flags_.outputState.load() == kOutputRunning ? 1 : 0;
    case ControlId::kTempoTap: return tempo_.Tapped() ? 1 : 0;
    case ControlId::kTempoAuto: return tempo_.Tapped() ? 0 : 1;
  }
  return std::nullopt;
}

void Engine::StartChaseNumber(int number) {
  if (number <= 0 || number > show_->chases().count()) return;
  // As a double click in the chase window (selected, "Play" pressed), but
  // without a console line of its own.
  show_->chaseList().StartAt(number - 1);
}

void Engine::RecallSceneNumber(int number) {
  ExpectMainThread();
  if (number <= 0 || number > show_->scenes().count()) return;
  show_->sceneList().ShowSelection(number - 1);
  show_->player().RequestChaseStop();
  // A press from inside a pass (one the main thread drives by hand) waits
  // for the message loop, as every recall a pass asks for does.
  if (InMixPass()) {
    RequestSceneRecall(number - 1);
    return;
  }
  // A recall another thread asked for earlier is superseded by this one.
  pendingSceneIndex_.store(-1);
  RecallScene(number - 1);
}

void Engine::CarryOutControlRequests() {
  ExpectMainThread();
  // Outputs first, so they open or close before the scene below is
  // recalled (the recall restarts the clock).
  const int outputs = pendingOutputs_.exchange(-1);
  if (outputs == 1) OpenOutputs();
  if (outputs == 0) CloseOutputs();
  const bool sceneFirst = sceneBeforeChase_.load();
  const int chase = pendingChase_.exchange(0);
  const int scene = pendingScene_.exchange(0);
  if (!sceneFirst) StartChaseNumber(chase);
  RecallSceneNumber(scene);
  if (sceneFirst) StartChaseNumber(chase);
  if (pendingChaseStop_.exchange(false)) show_->chaseList().Stop();
}

}  // namespace quor
