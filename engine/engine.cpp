#include "engine/engine.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "engine/web_remote.h"
#include "generators/file_player.h"
#include "generators/generator_catalogue.h"
#include "input/remote_control.h"

namespace quor {
namespace {

std::vector<uint8_t> BlackFrame(int width, int height) {
  return std::vector<uint8_t>(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0);
}

int Clamp(int value, int low, int high) { return std::min(std::max(value, low), high); }

// The four slot renders, staggered 2 ms apart before the mix pass, wait for
// it and run in its wake-up, in their order: their pictures are read only by
// that pass, so the output is the same and the clock thread wakes once a
// frame. The mix pass keeps its exact cadence.
constexpr FrameClock::Timing kSlotTiming = FrameClock::Timing::kFlexible;

}  // namespace

Engine::Engine(const GeneratorRegistry& registry, EngineOptions options)
    : registry_(registry),
      random_(options.randomSeed),
      context_{console_, random_, sharedColorWheel_, settings_.pixelStep, audio_},
      patch_(kDefaultMatrixWidth, kDefaultMatrixHeight),
      clock_(options.clockMode, [this](int id) { FrameClockTick(id); }) {
  // One state object per registered type and slot, for the whole run.
  for (int type = 0; type < kEffectListSize; ++type) {
    if (!registry_.IsRegistered(type)) continue;
    for (int s = 0; s < kSlotCount; ++s) {
      storage_[static_cast<size_t>(type)][static_cast<size_t>(s)] = registry_.FactoryFor(type)(context_);
    }
  }
  // Start-up binding: every slot gets its frame and None / Blackout.
  for (int s = 0; s < kSlotCount; ++s) {
    frames_[static_cast<size_t>(s)] = BlackFrame(width(), height());
    requestedType_[static_cast<size_t>(s)].store(0);
    boundType_[static_cast<size_t>(s)].store(0);
    bound_[static_cast<size_t>(s)] = StateFor(0, s);
    bound_[static_cast<size_t>(s)]->Create(width(), height());
  }
  for (int f = kSlotCount; f < kFrameCount; ++f) frames_[static_cast<size_t>(f)] = BlackFrame(width(), height());
  show_ = std::make_unique<Show>(*this);
  remote_ = std::make_unique<RemoteControl>(*this, console_, remoteInputSettings_, flags_.remoteInputActive);
  osc_ = std::make_unique<OscInput>(*this, console_, controlActivity_, oscSettings_);
  std::unique_ptr<MidiBackend> midiBackend = MakeSystemMidiBackend(&midiUnavailable_);
  if (!midiBackend) midiBackend = MakeNoMidiBackend();
  midi_ = std::make_unique<MidiInput>(*this, console_, controlActivity_, std::move(midiBackend));
  web_ = std::make_unique<WebRemote>(*this, outputTap_, console_);
  recorder_ = std::make_unique<Recorder>(*this);
  rateStartUs_ = clock_.NowMicros();
}

Engine::~Engine() {
  // The input threads set controls on this engine: they stop first.
  remote_->CloseRemoteInput();
  osc_->Close();
  midi_->Close();
  web_->Close();
  Shutdown();
}

size_t Engine::Checked(int slot) {
  assert(slot >= 0 && slot < kSlotCount);
  return static_cast<size_t>(Clamp(slot, 0, kSlotCount - 1));
}

Generator* Engine::StateFor(int typeId, int slot) {
  int type = registry_.EffectiveType(typeId);
  return storage_[static_cast<size_t>(type)][Checked(slot)].get();
}

std::vector<uint8_t> Engine::CopyFrame(FrameIndex index) {
  std::lock_guard lock(tickMutex_);
  return frames_[static_cast<size_t>(index)];
}

void Engine::WithTickLock(const std::function<void()>& work) {
  assert(!clock_.OnClockThread());
  std::lock_guard lock(tickMutex_);
  tickLockOwner_.store(std::this_thread::get_id());
  work();
  tickLockOwner_.store(std::thread::id{});
}

FrameClock::Wait Engine::KillWait() const {
  // A tick that is due waits for the tick lock this thread holds; waiting
  // for it in turn would never end. It finds its timer gone once it gets
  // the lock and does nothing.
  return tickLockOwner_.load() == std::this_thread::get_id() ? FrameClock::Wait::kNo : FrameClock::Wait::kForTick;
}

// --- slots ------------------------------------------------------------------

void Engine::RequestType(int slot, int typeId) { requestedType_[Checked(slot)].store(typeId); }

void Engine::SelectEffect(int slot, int listPosition) {
  const int type = EffectTypeAt(listPosition);
  const bool moved = Store(panel_.effectListPosition[Checked(slot)], EffectListPosition(type), Change::kPanel);
  if (moved || RequestedType(slot) != type) RequestType(slot, type);
}

void Engine::RebindSlots() {
  ExpectMainThread();
  for (int s = 0; s < kSlotCount; ++s) {
    const size_t i = static_cast<size_t>(s);
    const int requested = requestedType_[i].load();
    if (requested == boundType_[i].load()) continue;
    // The slot's ticks skip while its generator changes.
    std::lock_guard lock(slotMutex_[i]);
    bound_[i]->Destroy();
    console_.Print("Effect[%d]: %d\n", s, requested);
    bound_[i] = StateFor(requested, s);
    boundType_[i].store(requested);
    if (!bound_[i]->Create(width(), height())) {
      // The next pass destroys the failed generator and binds None.
      requestedType_[i].store(0);
      panel_.effectListPosition[i].store(EffectListPosition(0));
      changes_.Announce(Change::kPanel);
    }
  }
}

void Engine::EditGenerator(int slot, const std::function<void(Generator&)>& edit) {
  std::lock_guard lock(slotMutex_[Checked(slot)]);
  edit(*bound_[Checked(slot)]);
}

void Engine::CopySlot(int slot) {
  ExpectMainThread();
  const size_t i = Checked(slot);
  std::lock_guard lock(slotMutex_[i]);
  clipboard_.type = requestedType_[i].load();
  bound_[i]->ExchangeSettings(clipboard_.block, SettingsDirection::kStore);
  clipboard_.invert = panel_.invert[i].load() != 0 ? 1 : 0;
}

bool Engine::PasteSlot(int slot) {
  if (!CanPaste()) return false;
  requestedType_[Checked(slot)].store(clipboard_.type);
  pasteSlot_.store(slot);
  return true;
}

void Engine::ReportLoadError(Generator& generator) {
  // A File Player that could not open its recording: the same error box
  // its dialog's "Load" shows.
  if (auto* player = dynamic_cast<FilePlayerGenerator*>(&generator)) {
    if (std::optional<Failure> error = player->TakeLoadError()) changes_.ReportError(std::move(*error));
  }
}

void Engine::CompletePaste() {
  const int slot = pasteSlot_.load();
  if (slot < 0) return;
  const size_t i = Checked(slot);
  {
    std::lock_guard tick(tickMutex_);
    std::lock_guard lock(slotMutex_[i]);
    bound_[i]->ExchangeSettings(clipboard_.block, SettingsDirection::kLoad);
    panel_.effectListPosition[i].store(EffectListPosition(clipboard_.type));
    panel_.invert[i].store(clipboard_.invert);
    bound_[i]->Render({frames_[i].data(), width(), height()});
  }
  ReportLoadError(*bound_[i]);
  pasteSlot_.store(-1);
  changes_.Announce(Change::kPanel);
}

// --- clock ------------------------------------------------------------------

void Engine::StartSlotTimers(const std::array<int, kSlotCount>& periodsMs) {
  // One set of five timers at most: a start while they run replaces them.
  if (ClockRunning()) StopClock();
  for (int s = 0; s < kSlotCount; ++s) {
    slotTimerId_[static_cast<size_t>(s)].store(clock_.StartTimer(periodsMs[static_cast<size_t>(s)], kSlotTiming));
    clock_.Pause(kTimerStartGapMs);
  }
  const int fps = std::max(settings_.outputFps.load(), 1);
  mixTimerId_.store(clock_.StartTimer(1000 / fps));
}

void Engine::StartClock() {
  StartSlotTimers({kStartupSlotPeriodMs, kStartupSlotPeriodMs, kStartupSlotPeriodMs, kStartupSlotPeriodMs});
}

void Engine::StopClock() {
  clock_.KillAll(KillWait());
  for (auto& id : slotTimerId_) id.store(0);
  mixTimerId_.store(0);
}

void Engine::SetSlotSpeed(int slot, int speed) {
  const size_t i = Checked(slot);
  speed = Clamp(speed, kMinSlotSpeed, kMaxSlotSpeed);
  if (!Store(panel_.speed[i], speed, Change::kPanel)) return;
  const int old = slotTimerId_[i].load();
  if (old == 0) return;  // the clock is stopped; the next start uses its own periods
  clock_.KillTimer(old, KillWait());
  slotTimerId_[i].store(clock_.StartTimer(1000 / speed, kSlotTiming));
}

void Engine::FrameClockTick(int timerId) {
  ExpectClockThread();
  if (timerId == 0) return;
  std::lock_guard tick(tickMutex_);
  for (int s = 0; s < kSlotCount; ++s) {
    if (timerId == slotTimerId_[static_cast<size_t>(s)].load()) {
      RenderSlotLocked(s);
      return;
    }
  }
  if (timerId == mixTimerId_.load()) MixPassLocked();
}

void Engine::RenderSlotLocked(int slot) {
  const size_t i = static_cast<size_t>(slot);
  std::unique_lock lock(slotMutex_[i], std::try_to_lock);
  if (!lock.owns_lock()) return;  // the UI is changing this slot's generator
  bound_[i]->beatTrigger.store(beatTrigger_[i].load(std::memory_order_relaxed), std::memory_order_relaxed);
  bound_[i]->Render({frames_[i].data(), width(), height()});
}

void Engine::RunMixPass() {
  std::lock_guard tick(tickMutex_);
  MixPassLocked();
}

void Engine::MixPassLocked() {
  ExpectClockThread();
  passThread_.store(std::this_thread::get_id());
  const auto started = std::chrono::steady_clock::now();
  const int w = width();
  const int h = height();

  // Crossfader glide: 4 steps per pass towards the chosen end or the centre.
  // A hand move holds the fade lock while it writes; this pass then leaves
  // the glide alone (the move ends it) instead of waiting or overwriting it.
  std::unique_lock fadeLock(mainFadeMutex_, std::try_to_lock);
  const GlideDirection direction = fadeLock.owns_lock() ? settings_.mainFadeDirection.load() : kGlideNone;
  if (direction >= kGlideToStart && direction <= kGlideToEnd) {
    int p = panel_.masterFade[kMixMain].load();
    GlideDirection next = direction;
    if (direction == kGlideToStart) {
      p -= 4;
      if (p <= 0) p = 0, next = kGlideNone;
    } else if (direction == kGlideToCentre) {
      if (p > 127) {
        p -= 4;
        if (p <= 128) p = 128, next = kGlideNone;
      } else {
        p += 4;
        if (p > 127) p = 128, next = kGlideNone;
      }
    } else {
      p += 4;
      if (p > 254) p = 255, next = kGlideNone;
    }
    if (panel_.masterFade[kMixMain].exchange(p) != p) changes_.Announce(Change::kPanel);
    // A hand move or a new glide that came in meanwhile wins.
    GlideDirection expected = direction;
    if (next != direction) settings_.mainFadeDirection.compare_exchange_strong(expected, next);
  }
  if (fadeLock.owns_lock()) fadeLock.unlock();
  tempo_.Advance(clock_.NowMicros());
  context_.beats.store(tempo_.BeatCount(), std::memory_order_release);

  auto f = [this](FrameIndex index) { return frames_[static_cast<size_t>(index)].data(); };
  auto inv = [this](int slot) { return panel_.invert[static_cast<size_t>(slot)].load() != 0; };
  mixer_.MixFrames(f(FrameIndex::kSlot0), f(FrameIndex::kSlot2), f(FrameIndex::kChannel1), w, h,
                   MixParams{panel_.mergeMode[kMixChannel1].load(), panel_.masterFade[kMixChannel1].load(), 255,
                             inv(0), inv(2), 1.0f});
  mixer_.MixFrames(f(FrameIndex::kSlot1), f(FrameIndex::kSlot3), f(FrameIndex::kChannel2), w, h,
                   MixParams{panel_.mergeMode[kMixChannel2].load(), panel_.masterFade[kMixChannel2].load(), 255,
                             inv(1), inv(3), 1.0f});
  mixer_.MixFrames(f(FrameIndex::kChannel1), f(FrameIndex::kChannel2), f(FrameIndex::kOutput), w, h,
                   MixParams{panel_.mergeMode[kMixMain].load(), panel_.masterFade[kMixMain].load(),
                             settings_.masterLevel.load(), false, false,
                             GammaFromSetting(settings_.gammaSetting.load())});

  // Scene fade: the previous scene's last picture fades out over the new one.
  const int fadeLevel = settings_.sceneFadeLevel.load();
  if (fadeLevel > 0) {
    mixer_.MixFrames(f(FrameIndex::kOutput), f(FrameIndex::kSceneFade), f(FrameIndex::kOutput), w, h,
                     MixParams{0, fadeLevel, 255, false, false, 1.0f});
    // A step below 1 (only from a damaged file) would never end the fade.
    settings_.sceneFadeLevel.store(fadeLevel - std::max(settings_.sceneFadeStep.load(), 1));
  }

  // Strobe: t dark passes, then one lit pass; on the beat, one lit pass
  // where each part of the beat begins (the first synced pass is dark, so
  // switching on between beats does not flash off the beat).
  const int counter = settings_.strobeCounter.load();
  const int beatParts = settings_.strobeBeatSync.load();
  const bool synced = counter >= 0 && beatParts > 0 && tempo_.Bpm() > 0;
  if (synced) {
    const int64_t part = strobeBeats_.Position(tempo_.BeatCount(), tempo_.Phase(), beatParts);
    // A count of 0 is a strobe just switched on; the pass moves it on, and a
    // "strobe off" that came in since the load stays (compare-and-swap).
    int fresh = 0;
    const bool started = settings_.strobeCounter.compare_exchange_strong(fresh, 1);
    if (!strobeSynced_ || started || part == strobePart_) {
      std::memset(f(FrameIndex::kOutput), 0, frames_[static_cast<size_t>(FrameIndex::kOutput)].size());
    }
    strobePart_ = part;
  }
  strobeSynced_ = synced;
  if (counter >= 0 && !synced) {
    // Compare-and-swap: a "strobe off" or restart that came in since the
    // load stays; the pass's count is the one that is dropped.
    int expected = counter;
    if (settings_.strobeTime.load() > counter) {
      std::memset(f(FrameIndex::kOutput), 0, frames_[static_cast<size_t>(FrameIndex::kOutput)].size());
      settings_.strobeCounter.compare_exchange_strong(expected, counter + 1);
    } else {
      settings_.strobeCounter.compare_exchange_strong(expected, 0);
    }
  }

  if (!flags_.showModeActive.load()) {
    if (settings_.leftPreviewSource.load() == kPreviewOff) {
      std::memset(f(FrameIndex::kChannel1), 0, frames_[static_cast<size_t>(FrameIndex::kChannel1)].size());
    }
    if (settings_.rightPreviewSource.load() == kPreviewOff) {
      std::memset(f(FrameIndex::kChannel2), 0, frames_[static_cast<size_t>(FrameIndex::kChannel2)].size());
    }
  }
  if (hooks_.drawPreview) hooks_.drawPreview();
  if (outputTap_.Wanted()) outputTap_.Publish(f(FrameIndex::kOutput), w, h);
  if (flags_.outputState.load() == kOutputRunning) outputs_.SendFrame({f(FrameIndex::kOutput), w, h});
  if (flags_.recorderActive.load()) recorder_->RecordFrame({f(FrameIndex::kOutput), w, h});
  show_->player().AdvanceChase();
  flags_.frameCounter.fetch_add(1);
  const int64_t took =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started).count();
  if (took > mixPassTiming_.longestUs.load(std::memory_order_relaxed)) mixPassTiming_.longestUs.store(took);
  mixPassTiming_.passes.fetch_add(1, std::memory_order_relaxed);
  passThread_.store(std::thread::id{});
}

void Engine::RestartSlotTimers(const std::array<int, kSlotCount>& periodsMs) {
  const int mix = mixTimerId_.load();
  const int64_t lastPassUs = clock_.NextDueMicros(mix) - int64_t{clock_.PeriodOf(mix)} * 1000;
  const int64_t gapUs = int64_t{kTimerStartGapMs} * 1000;
  for (int s = 0; s < kSlotCount; ++s) {
    const int64_t periodUs = int64_t{periodsMs[static_cast<size_t>(s)]} * 1000;
    const int64_t dueUs = lastPassUs - kSlotCount * gapUs + s * gapUs + periodUs;
    slotTimerId_[static_cast<size_t>(s)].store(clock_.StartTimerAt(periodsMs[static_cast<size_t>(s)], dueUs, kSlotTiming));
  }
}

void Engine::StartScene(const Scene& scene) {
  const int w = width();
  const int h = height();
  std::array<int, kSlotCount> periods{};
  for (int s = 0; s < kSlotCount; ++s) {
    const size_t i = static_cast<size_t>(s);
    const int speed = Clamp(scene.speeds[i], kMinSlotSpeed, kMaxSlotSpeed);
    panel_.speed[i].store(speed);
    periods[i] = 1000 / speed;
  }
  // Every slot's settings first, then every first picture, in slot order:
  // generators share the colour wheel and the random source. No slot timer
  // runs, and the mix pass touches neither generators nor these pictures.
  for (int s = 0; s < kSlotCount; ++s) {
    std::lock_guard lock(slotMutex_[static_cast<size_t>(s)]);
    SettingsBlock block = scene.settings[static_cast<size_t>(s)];
    bound_[static_cast<size_t>(s)]->ExchangeSettings(block, SettingsDirection::kLoad);
  }
  std::array<std::vector<uint8_t>, kSlotCount> pictures;
  for (int s = 0; s < kSlotCount; ++s) {
    std::lock_guard lock(slotMutex_[static_cast<size_t>(s)]);
    pictures[static_cast<size_t>(s)] = BlackFrame(w, h);
    bound_[static_cast<size_t>(s)]->Render({pictures[static_cast<size_t>(s)].data(), w, h});
  }
  {
    // Short: swaps, atomic stores and one frame copy. The next pass sees the
    // whole scene at once.
    std::lock_guard tick(tickMutex_);
    for (int s = 0; s < kSlotCount; ++s) {
      frames_[static_cast<size_t>(s)].swap(pictures[static_cast<size_t>(s)]);
      SetInvert(s, scene.inverts[static_cast<size_t>(s)] >= 1);
    }
    for (int m = 0; m < kSceneMixCount; ++m) {
      const int mode = scene.mergeModes[static_cast<size_t>(m)];
      SetMergeMode(m, mode >= 0 && mode < kMixModeCount ? mode : kMixProgressive);
      SetChannelFade(m, scene.masterfades[static_cast<size_t>(m)]);
    }
    frames_[static_cast<size_t>(FrameIndex::kSceneFade)] = frames_[static_cast<size_t>(FrameIndex::kOutput)];
    settings_.sceneFadeLevel.store(settings_.sceneFadeEnabled.load() > 0 ? 128 : 0);
  }
  for (Generator* generator : bound_) ReportLoadError(*generator);
  if (ClockRunning()) {
    RestartSlotTimers(periods);
  } else {
    StartSlotTimers(periods);
  }
}

// --- message loop -------------------------------------------------------------

void Engine::RequestSceneRecall(int sceneIndex) {
  pendingSceneIndex_.store(sceneIndex);
  WakeMainThread();
}

void Engine::WakeMainThread() {
  if (hooks_.wakeMainThread) hooks_.wakeMainThread();
}

void Engine::PostMessageWork() {
  ExpectMainThread();
  // Control requests of other threads (chases, scenes, outputs); a scene
  // becomes a pending recall, carried out below.
  CarryOutControlRequests();
  int pending = pendingSceneIndex_.load();
  if (pending >= 0) {
    RecallScene(pending);
    // A newer request that arrived meanwhile stays pending.
    pendingSceneIndex_.compare_exchange_strong(pending, -1);
  }
  RebindSlots();
  CompletePaste();
  for (Failure& fault : outputs_.TakeFaults()) changes_.ReportError(std::move(fault));
  recorder_->ReportFault();
  ReportRate();
  console_.Drain();
}

void Engine::ReportRate() {
  const int counted = flags_.frameCounter.load();
  if (counted <= 99) return;
  const int64_t now = clock_.NowMicros();
  const double seconds = std::max<int64_t>(now - rateStartUs_, 1000) / 1e6;
  console_.Print("FPS: %f\n", counted / seconds);
  rateStartUs_ = now;
  flags_.frameCounter.fetch_sub(counted);
}

// --- resize -------------------------------------------------------------------

bool Engine::ResizeMatrix(int newWidth, int newHeight) {
  ExpectMainThread();
  if (!IsValidMatrixSize(newWidth, newHeight)) return false;
  if (flags_.recorderActive.load()) recorder_->Stop();
  // Only a running clock is restarted: at start-up (a project or command
  // line with another size) the clock starts once, after everything else.
  const bool clockWasRunning = ClockRunning();
  StopClock();

  // Everything that needs memory is built before anything changes, so a
  // failure leaves the old size fully intact.
  std::array<std::vector<uint8_t>, kFrameCount> newFrames;
  PatchTable newPatch;
  try {
    for (auto& frame : newFrames) frame = BlackFrame(newWidth, newHeight);
    newPatch = patch_.Resized(newWidth, newHeight);
  } catch (const std::bad_alloc&) {
    console_.Print("ResizeMatrix: not enough memory for %d x %d, keeping %d x %d\n", newWidth, newHeight, width(),
                   height());
    if (clockWasRunning) StartClock();
    return false;
  }

  {
    std::lock_guard tick(tickMutex_);
    for (int s = 0; s < kSlotCount; ++s) {
      std::lock_guard lock(slotMutex_[static_cast<size_t>(s)]);
      bound_[static_cast<size_t>(s)]->Destroy();
    }
    patch_ = std::move(newPatch);
    outputs_.PatchChanged();
    width_.store(newWidth);
    height_.store(newHeight);
    frames_.swap(newFrames);
    for (int s = 0; s < kSlotCount; ++s) {
      std::lock_guard lock(slotMutex_[static_cast<size_t>(s)]);
      bound_[static_cast<size_t>(s)]->Create(newWidth, newHeight);
      requestedType_[static_cast<size_t>(s)].store(0);
    }
  }
  panel_.Reset();
  changes_.Announce(Change::kMatrix);
  changes_.Announce(Change::kPanel);
  if (clockWasRunning) StartClock();
  return true;
}

// --- commands -------------------------------------------------------------------

void Engine::SetGammaSetting(int position) { Store(settings_.gammaSetting, Clamp(position, 1, 500), Change::kMaster); }
void Engine::SetMasterLevel(int level) { Store(settings_.masterLevel, Clamp(level, 0, 255), Change::kMaster); }
void Engine::SetStrobeTime(int passes) { Store(settings_.strobeTime, Clamp(passes, 1, 25), Change::kMaster); }
void Engine::SetOutputFps(int fps) { Store(settings_.outputFps, Clamp(fps, 1, 100), Change::kMaster); }

void Engine::SetBeatTrigger(int slot, bool on) {
  if (beatTrigger_[Checked(slot)].exchange(on) != on) changes_.Announce(Change::kPanel);
}

bool Engine::BeatTrigger(int slot) const { return beatTrigger_[Checked(slot)].load(); }

void Engine::SetStrobeBeat(int choice) {
  Store(settings_.strobeBeatSync, kStrobeBeatParts[static_cast<size_t>(Clamp(choice, 0, 3))], Change::kMaster);
}

int Engine::StrobeBeat() const {
  const int parts = settings_.strobeBeatSync.load();
  return parts >= 4 ? 3 : parts >= 2 ? 2 : parts >= 1 ? 1 : 0;
}

void Engine::SetStrobe(bool on) {
  // Switching on counts from 0; an echo of "on" leaves the running count.
  if ((settings_.strobeCounter.load() >= 0) == on) return;
  settings_.strobeCounter.store(on ? 0 : -1);
  changes_.Announce(Change::kMaster);
}

void Engine::StartMainGlide(int direction) {
  Store(settings_.mainFadeDirection, static_cast<GlideDirection>(Clamp(direction, kGlideNone, kGlideToEnd)),
        Change::kPanel);
}

void Engine::SetMainFadeByHand(int value) {
  value = Clamp(value, 0, 255);
  if (panel_.masterFade[kMixMain].load() == value) return;
  JumpMainFade(value);
}

void Engine::JumpMainFade(int value) {
  // Held while a move from another thread writes: a mix pass then skips its
  // glide step instead of writing back a fade it read before the move. The
  // mix pass's own jumps (chase steps) come after its glide step.
  std::unique_lock lock(mainFadeMutex_, std::defer_lock);
  if (!clock_.OnClockThread()) lock.lock();
  settings_.mainFadeDirection.store(kGlideNone);
  panel_.masterFade[kMixMain].store(Clamp(value, 0, 255));
  changes_.Announce(Change::kPanel);
}

void Engine::SetChannelFade(int mix, int value) {
  Store(panel_.masterFade[static_cast<size_t>(Clamp(mix, 0, kMixCount - 1))], Clamp(value, 0, 255), Change::kPanel);
}

void Engine::SetMergeMode(int mix, int mode) {
  Store(panel_.mergeMode[static_cast<size_t>(Clamp(mix, 0, kMixCount - 1))], Clamp(mode, 0, kMixModeCount - 1),
        Change::kPanel);
}

void Engine::SetInvert(int slot, bool on) { Store(panel_.invert[Checked(slot)], on ? 1 : 0, Change::kPanel); }

void Engine::SetPreviewSource(int side, int source) {
  std::atomic<PreviewSource>& target = side == 0 ? settings_.leftPreviewSource : settings_.rightPreviewSource;
  Store(target, static_cast<PreviewSource>(Clamp(source, kPreviewOff, kPreviewGenerator2)), Change::kMaster);
}

void Engine::SetPixelStep(int step) { Store(settings_.pixelStep, Clamp(step, 1, 4), Change::kMaster); }
void Engine::SetRemoteControlEnabled(bool on) { Store(settings_.remoteControlEnabled, on ? 1 : 0, Change::kRemoteInput); }
void Engine::SetAudioAgc(bool on) { Store(audio_.agcEnabled, on ? 1 : 0, Change::kMaster); }

void Engine::SetWindowLayout(const WindowLayout& layout) {
  ExpectMainThread();
  if (layout == windowLayout_) return;
  windowLayout_ = layout;
  changes_.Announce(Change::kWindowLayout);
}

void Engine::RequestShutdown() {
  flags_.shutdownRequested.store(true);
  WakeMainThread();
}

bool Engine::OpenOutputs() {
  ExpectMainThread();
  if (flags_.outputState.load() == kOutputRunning) return true;
  const std::optional<Failure> failed = outputs_.OpenOutputs();
  changes_.Announce(Change::kOutputs);
  if (failed) changes_.ReportError({failed->subject, failed->errorNumber, kOpenOutputsFailedMessage});
  return !failed;
}

void Engine::CloseOutputs() {
  ExpectMainThread();
  if (flags_.outputState.load() != kOutputRunning) return;
  outputs_.CloseOutputs();
  changes_.Announce(Change::kOutputs);
}

bool Engine::EditHooks(const std::function<void(EngineHooks&)>& edit) {
  if (ClockRunning()) return false;
  edit(hooks_);
  return true;
}

void Engine::StopRendering() {
  ExpectMainThread();
  if (renderingStopped_) return;
  renderingStopped_ = true;
  if (flags_.recorderActive.load()) recorder_->Stop();
  StopClock();
  std::lock_guard tick(tickMutex_);
  for (int s = 0; s < kSlotCount; ++s) {
    std::lock_guard lock(slotMutex_[static_cast<size_t>(s)]);
    bound_[static_cast<size_t>(s)]->Destroy();
  }
}

void Engine::Shutdown() {
  StopRendering();
  if (shutDown_) return;
  shutDown_ = true;
  audio_.Stop();
  if (flags_.outputState.load() == kOutputRunning) outputs_.CloseOutputs();
}

}  // namespace quor
