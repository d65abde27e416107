// The Engine owns everything that is process-wide in Quor: the matrix size
// and the eight frames, the settings and run-time flags, the mixer panel
// values the mix pass reads, the generator slots with one state object per
// (type, slot), the clipboard, the frame clock, the patch table, the
// outputs, the show (scenes and chases) and the recorder. Tests may create
// as many engines as they like.
//
// Using it from a window (UI thread):
//   - Read: panel(), settings(), flags() (read-only views), width()/height(),
//     show(), outputs(), recorder(), ControlValue().
//   - Write: through the control address space (SetControl, core/controls.h)
//     or the commands below (SelectEffect, SetSlotSpeed,
//     SetInvert, SetMergeMode, SetChannelFade, SetMainFadeByHand,
//     StartMainGlide, SetMasterLevel, SetGammaSetting, SetStrobe,
//     SetStrobeTime, SetOutputFps, SetPreviewSource, ResizeMatrix,
//     SetWindowLayout, OpenOutputs/CloseOutputs, ...) and the show's window models
//     (show().sceneList(), chaseList(), editor()). Commands clamp, do what
//     belongs to them and skip values already in place, so echoes are
//     harmless.
//   - Follow: drain changes() (core/change_feed.h) whenever the main thread
//     wakes (hooks().wakeMainThread) or every 40 ms, re-read the groups it
//     names and show its errors; call PostMessageWork() after each turn.
//   - Hooks: EditHooks() before StartClock(); it refuses while the clock
//     runs.
//   - Start-up and shut-down: engine/lifecycle.h, the same for every host.
//
// Threads: methods marked "UI thread" are called by the one thread that runs
// the message loop (the thread that created the engine; debug builds assert
// it) (the window or the headless host); the frame clock calls
// FrameClockTick on its own thread. The remote-control input reads on a
// thread of its own while it is open and acts through SetControl: master and
// strobe change at once, scene recalls, chase starts and the outputs are
// left as requests that wake the main thread, which carries them out in
// PostMessageWork. Values that several threads touch are atomics; frames and
// generator state are guarded by the tick lock and the per-slot locks, so a
// slot's operations and state always change together as the clock thread
// sees them.
#pragma once

#include <array>
#include <atomic>
#include <cassert>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <vector>

#include "audio/audio_analyzer.h"
#include "core/change_feed.h"
#include "core/console.h"
#include "core/controls.h"
#include "core/frame_clock.h"
#include "core/generator.h"
#include "core/generator_registry.h"
#include "core/beat_divider.h"
#include "engine/tempo_source.h"
#include "core/frame_tap.h"
#include "core/live_state.h"
#include "core/mixer.h"
#include "core/random_source.h"
#include "engine/edit_history.h"
#include "files/project_format.h"
#include "files/recorder.h"
#include "generators/color.h"
#include "input/control_activity.h"
#include "input/midi_input.h"
#include "input/osc_input.h"
#include "input/remote_input_settings.h"
#include "output/outputs.h"
#include "output/patch_table.h"
#include "show/show.h"
#include "show/show_host.h"

namespace quor {

class RemoteControl;
class WebRemote;

// The eight frames, in the order in which they are allocated and freed.
enum class FrameIndex : int {
  kSlot0 = 0,
  kSlot1 = 1,
  kSlot2 = 2,
  kSlot3 = 3,
  kOutput = 4,
  kChannel1 = 5,
  kChannel2 = 6,
  kSceneFade = 7,
};
inline constexpr int kFrameCount = 8;

inline constexpr int kDefaultMatrixWidth = 32;
inline constexpr int kDefaultMatrixHeight = 16;
inline constexpr int kStartupSlotPeriodMs = 40;
inline constexpr int kTimerStartGapMs = 2;

// What a host supplies, changed only through Engine::EditHooks while the
// clock is stopped; each may be empty.
struct EngineHooks {
  // Clock thread, inside the mix pass, after the output frame is mixed.
  std::function<void()> drawPreview;
  // Any thread: asks the message loop to run PostMessageWork soon. The
  // input threads call it too (a remote scene or chase), so a host sets it
  // before it opens an input and clears it only after closing them.
  std::function<void()> wakeMainThread;
};

// How long mix passes take, from the crossfader glide to the chase player
// (written by the clock thread, read by any).
struct MixPassTiming {
  std::atomic<int64_t> passes{0};
  std::atomic<int64_t> longestUs{0};
};

struct EngineOptions {
  FrameClock::Mode clockMode = FrameClock::Mode::kThread;
  uint32_t randomSeed = 1;
};

// The generator clipboard: one settings block, the type it came from
// (-1 = empty) and the slot's invert flag at the time of copying.
struct GeneratorClipboard {
  SettingsBlock block{};
  int type = -1;
  int invert = 0;
};

class Engine : public ShowHost, public RecorderHost, public ControlSurface {
 public:
  explicit Engine(const GeneratorRegistry& registry, EngineOptions options = {});
  virtual ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // --- services ---------------------------------------------------------
  Console& console() override { return console_; }
  RandomSource& random() { return random_; }
  FrameClock& clock() override { return clock_; }
  // The live values, read-only: every change goes through a command below.
  const EngineSettings& settings() const { return settings_; }
  const RuntimeFlags& flags() const { return flags_; }
  const MixerPanel& panel() const { return panel_; }
  // What the project saves of the windows (UI thread). The windows keep
  // their own values and hand them over with SetWindowLayout; a load
  // replaces this copy and announces Change::kWindowLayout.
  const WindowLayout& windowLayout() const { return windowLayout_; }
  const EngineHooks& hooks() const { return hooks_; }
  // Changes the hooks. Refused (false, nothing changed) while the clock
  // runs, because the clock thread calls them without a lock.
  bool EditHooks(const std::function<void(EngineHooks&)>& edit);
  // What changed since the main thread last looked (core/change_feed.h).
  ChangeFeed& changes() override { return changes_; }
  PatchTable& patch() { return patch_; }  // UI thread, outputs stopped
  // Output devices and their connections; SendFrame runs in the mix pass.
  Outputs& outputs() { return outputs_; }
  // Remote-control input settings (UI thread).
  RemoteInputSettings& remoteInputSettings() { return remoteInputSettings_; }
  AudioAnalyzer& audio() { return audio_; }
  // The tempo the show follows (detected or tapped) and its beats.
  TempoSource& tempo() { return tempo_; }
  const TempoSource& tempo() const { return tempo_; }
  uint32_t BeatCount() const override { return tempo_.BeatCount(); }
  double BeatPhase() const override { return tempo_.Phase(); }
  double Bpm() const override { return tempo_.Bpm(); }
  // Scenes, chases, the chase player and the models of their windows.
  Show& show() { return *show_; }
  // The remote-control input (opened and closed by the UI thread; reads on
  // its own thread and sets controls through SetControl).
  RemoteControl& remote() { return *remote_; }
  // OSC input settings (UI thread; read when the input opens; not saved:
  // the command line turns the input on) and the input itself (opened and
  // closed by the UI thread; reads and sends feedback on its own thread).
  OscSettings& oscSettings() { return oscSettings_; }
  OscInput& osc() { return *osc_; }
  // Which controls the surfaces (OSC, MIDI) set lately, per control.
  ControlActivity& controlActivity() { return controlActivity_; }
  // The MIDI input (settings applied and learn started on the UI thread;
  // messages handled on the sequencer's thread, feedback and rescans on its
  // own). Always there: without a sequencer it has no ports, and
  // midiUnavailable() says why.
  MidiInput& midi() { return *midi_; }
  const std::string& midiUnavailable() const { return midiUnavailable_; }
  // The web remote (opened and closed by the UI thread; serves on its own
  // thread) and the output frame copy it asks the mix pass for.
  WebRemote& web() { return *web_; }
  FrameTap& outputTap() { return outputTap_; }
  // Records the output frames into a recording file.
  Recorder& recorder() { return *recorder_; }
  ColorWheel& sharedColorWheel() { return sharedColorWheel_; }  // clock thread / tick lock
  const GeneratorRegistry& registry() const { return registry_; }

  // --- matrix and frames ------------------------------------------------
  int width() const { return width_.load(); }
  int height() const { return height_.load(); }
  // Direct access for the clock thread and for code that runs while the
  // clock is stopped (scene start, tests in manual mode).
  uint8_t* frame(FrameIndex index) { return frames_[static_cast<size_t>(index)].data(); }
  // A consistent copy of one frame from any thread.
  std::vector<uint8_t> CopyFrame(FrameIndex index);
  // Runs `work` while no tick (slot render or mix pass) runs, for UI-thread
  // changes to what the mix pass reads (the patch, the recorder's file).
  // Never call it from the clock thread. `work` may stop the clock or
  // change a slot's speed.
  void WithTickLock(const std::function<void()>& work) override;

  // Changes the matrix size (UI thread). Stops the clock, re-creates every
  // frame and the patch (keeping its top-left part), puts all four slots
  // back to None / Blackout, resets the panel and restarts the clock if it
  // was running.
  // Returns false and changes nothing when the size is outside 4..320 /
  // 16384 pixels or the memory for it cannot be had.
  bool ResizeMatrix(int width, int height);

  // --- generator slots (UI thread) ----------------------------------------
  // The type the slot should run; takes effect at the next rebinding pass.
  void RequestType(int slot, int typeId);
  // The effect list of a slot was set to `listPosition`.
  void SelectEffect(int slot, int listPosition);
  int RequestedType(int slot) const { return requestedType_[Checked(slot)].load(); }
  int BoundType(int slot) const { return boundType_[Checked(slot)].load(); }
  // Binds the requested type in every slot where it differs from the bound
  // one, destroying the old generator and creating the new.
  void RebindSlots();
  // Runs `edit` on the slot's live generator while none of its ticks runs
  // (the settings dialogs edit through this).
  void EditGenerator(int slot, const std::function<void(Generator&)>& edit);

  void CopySlot(int slot);
  // Requests the clipboard's generator for `slot`; PostMessageWork completes
  // the paste. Returns false when the clipboard is empty.
  bool PasteSlot(int slot);
  bool CanPaste() const { return clipboard_.type >= 0; }
  const GeneratorClipboard& clipboard() const { return clipboard_; }

  // --- frame clock ------------------------------------------------------
  // Starts the four slot timers at 40 ms (2 ms apart), then the mix timer.
  // Timers already running are stopped first, so one set runs at most.
  void StartClock();
  // Stops all five timers; on return no tick is running.
  void StopClock();
  bool ClockRunning() const override { return mixTimerId_.load() != 0; }
  // A slot's "Speed" (5..25) changed: its timer restarts at 1000 / speed ms.
  void SetSlotSpeed(int slot, int speed);
  int SlotTimerPeriod(int slot) const { return clock_.PeriodOf(slotTimerId_[Checked(slot)].load()); }
  int MixTimerPeriod() const { return clock_.PeriodOf(mixTimerId_.load()); }
  // The timer procedure: renders a slot or runs the mix pass.
  void FrameClockTick(int timerId);
  // The mix/output pass (clock thread, or any thread while the clock is
  // stopped; debug builds check it).
  void RunMixPass();
  // Recalls scene `sceneIndex` (UI thread): stops the slot timers, sets the
  // slots' types from the scene, binds them, loads each slot's settings and
  // renders each once off the tick path, then, in one short hold of the tick
  // lock, puts those pictures and the scene's panel values in place and keeps
  // the old picture for the scene fade, and restarts the slot timers at the
  // scene's speeds. The mix timer keeps its cadence, so the next pass shows
  // the scene and no pass is delayed or lost; a stopped clock is started.
  // Nothing happens when the index is not a scene. Values from a damaged record are made safe:
  // unknown types bind None / Blackout, speeds are held to 5..25, merge
  // modes outside 0..9 become 0 and masterfades are held to 0..255.
  void RecallScene(int sceneIndex);
  // Recalls so far and the index of the last one (-1 before the first);
  // any thread.
  int RecallCount() const { return recallCount_.load(); }
  int LastRecalledScene() const { return lastRecalledScene_.load(); }

  // --- message loop -----------------------------------------------------
  // Asks for a scene recall on the UI thread (any thread).
  void RequestSceneRecall(int sceneIndex) override;
  // Asks the message loop to run PostMessageWork soon (any thread; nothing
  // without a wakeMainThread hook: the loop's own timer comes round).
  void WakeMainThread();
  int PendingSceneIndex() const { return pendingSceneIndex_.load(); }
  // The work after every message: the remote input's requests, pending
  // recall, rebinding, pending paste, the errors of outputs and the recorder
  // that stopped by a fault (and of File Players a recall or paste could not
  // open), rate report, then the console lines other threads queued. Shutdown is
  // left to the host (flags().shutdownRequested).
  void PostMessageWork();
  const MixPassTiming& mixPassTiming() const { return mixPassTiming_; }
  // Writes "FPS: %f\n" once more than 99 mix passes were counted.
  void ReportRate();

  // --- commands -----------------------------------------------------------
  // Every write to the live values from outside the mix pass goes through
  // these. Each holds its value to the allowed range, does what belongs to
  // it (a hand move of the crossfader ends its glide, a speed change
  // restarts the slot's timer) and announces its change group. A command
  // whose value is already in place does nothing and announces nothing, so
  // a window echoing a refreshed value back changes nothing. Any thread
  // unless marked otherwise.
  void SetGammaSetting(int position);  // 1..500
  void ResetGamma() { SetGammaSetting(100); }
  void SetMasterLevel(int level);  // 0..255
  void Blackout() { SetMasterLevel(0); }
  void SetStrobe(bool on);
  void SetStrobeTime(int passes);  // 1..25
  // The strobe on the beat: 0 off, 1 one flash per beat, 2 per half beat,
  // 3 per quarter beat (kStrobeBeatChoices); ignored while no tempo is known.
  void SetStrobeBeat(int choice);
  // Whether slot `slot`'s audio trigger fires on each beat of the tempo in
  // use instead of on the level of its band.
  void SetBeatTrigger(int slot, bool on);
  bool BeatTrigger(int slot) const;
  int StrobeBeat() const;
  void StartMainGlide(int direction) override;
  // The main "Masterfade" moved by hand to a new value: the glide stops.
  void SetMainFadeByHand(int value);
  // The crossfader jumps to `value` and any glide stops, even when the
  // value is in place (a chase step, the chase editor's preview).
  void JumpMainFade(int value) override;
  // Fills `scene` from the live slots and panel (UI thread); `name` may be
  // the record's own name.
  void StoreLiveScene(Scene& scene, std::string_view name) override;
  // The channel glide buttons set their channel's fade at once.
  void SetChannelFade(int mix, int value);
  void SetMergeMode(int mix, int mode);
  void SetInvert(int slot, bool on);
  void SetOutputFps(int fps);  // 1..100, takes effect at the next clock start
  void SetPreviewSource(int side, int source);  // side 0 left, 1 right
  void SetPixelStep(int step);  // 1..4
  // "Remote Control Enabled": open the remote input whenever possible.
  void SetRemoteControlEnabled(bool on);
  // The sound input's automatic gain.
  void SetAudioAgc(bool on);
  // Asks the host to end the program after this turn (any thread).
  void RequestShutdown();
  // Replaces the windows' saved layout (main thread), announcing
  // kWindowLayout when it differs from the one in place.
  void SetWindowLayout(const WindowLayout& layout);
  // UI thread: opens or closes the outputs, announcing kOutputs; a failed
  // open reports a Failure and returns false.
  bool OpenOutputs();
  void CloseOutputs();

  // --- the show document and its undo history (UI thread) -----------------
  // The document is what the operator builds: the scenes, the chases and
  // their steps, the output devices, the patch, the FastPatch settings and
  // the matrix size. Every edit of it from a window goes through
  // EditDocument: it takes a snapshot, runs `edit`, and when the document
  // changed records an undo step named `what` ("Delete Scene"), drops the
  // redo steps and announces kDocument. An edit that changed nothing (it
  // failed or was refused) leaves no step. Nested calls make one step, the
  // outermost. Returns whether the document changed.
  bool EditDocument(std::string_view what, const std::function<void()>& edit);
  // For an edit that spans a dialog's life (Edit Chase): the snapshot at
  // its start, recorded as one step when it ends.
  DocumentSnapshot SnapshotDocument();
  bool RecordDocumentEdit(std::string_view what, DocumentSnapshot before);
  // Put the document back to the state before the last edit (after the last
  // undo). A running chase stops when the scenes or chases change, running
  // outputs are closed and reopened around a change of the devices, the
  // patch is swapped under the tick lock and the matrix size goes through
  // ResizeMatrix. Refused (false, nothing changed) with no step, while
  // "Edit Chase" is open, or when the matrix cannot be resized. Announces
  // kDocument and the groups whose values changed.
  bool Undo();
  bool Redo();
  const EditHistory& history() const { return history_; }
  // The document differs from the one last saved or loaded.
  bool DocumentModified() const { return history_.Modified(); }
  void MarkDocumentSaved();
  // A loaded or new document: no undo steps, not modified.
  void ResetDocumentHistory();

  // --- control address space (core/controls.h) ----------------------------
  // Sets a control as a panel widget would. On the main thread it acts at
  // once; from another thread the controls whose work belongs to the main
  // thread (scene recall, chase play and stop, outputs) are left as
  // requests that the next PostMessageWork carries out, in the order they
  // came, a later request of a kind replacing an earlier one. Announces the
  // control's change group when its value changed.
  bool SetControl(const ControlAddress& address, int value) override;
  std::optional<int> ControlValue(const ControlAddress& address) const override;
  int ControlInstances(ControlId id) const override;
  // True on the thread that created the engine (the one that runs the
  // message loop).
  bool OnMainThread() const { return std::this_thread::get_id() == mainThread_; }
  // Debug builds stop at a main-thread-only entry called from elsewhere.
  void ExpectMainThread() const { assert(OnMainThread() && "an engine entry for the main thread only was called elsewhere"); }
  // Debug builds stop at a tick-only entry (a slot render, the mix pass and
  // what it calls) run on another thread while the clock runs; with the
  // clock stopped, the thread that drives the passes is the clock
  // (FrameClock::MayRunTick).
  void ExpectClockThread() const { clock_.ExpectClockThread(); }

  // First half of an orderly exit (UI thread): stops the recorder and the
  // clock and destroys every generator. Stores, devices and the output
  // state stay as they are, so the autosave that follows records them.
  // Frames stay readable until the Engine is destroyed.
  void StopRendering();
  // The rest: stops the sound input and closes the outputs with their final
  // black frames. Runs StopRendering first if that has not happened.
  void Shutdown();

 private:
  friend struct EngineWriteAccess;
  // For the show and the recorder, which change what belongs to them.
  EngineSettings& liveSettings() override { return settings_; }
  RuntimeFlags& liveFlags() override { return flags_; }
  static size_t Checked(int slot);
  // Chase and scene requests left by other threads, carried out in order.
  void CarryOutControlRequests();
  void StartChaseNumber(int number);  // 1-based
  // 1-based, as a scene button press: selects the scene, asks a running
  // chase to stop and recalls the scene at once (main thread; from inside a
  // pass the recall waits for PostMessageWork).
  void RecallSceneNumber(int number);
  bool InMixPass() const { return passThread_.load() == std::this_thread::get_id(); }
  // Stores `value` and announces `change` when it differs from what is there.
  template <typename T>
  bool Store(std::atomic<T>& target, std::type_identity_t<T> value, Change change) {
    if (target.exchange(value) == value) return false;
    changes_.Announce(change);
    return true;
  }
  Generator* StateFor(int typeId, int slot);
  void RenderSlotLocked(int slot);
  void MixPassLocked();
  void CompletePaste();
  // Hands a load error a recall or paste left in `generator` to the change feed.
  void ReportLoadError(Generator& generator);
  void StartSlotTimers(const std::array<int, kSlotCount>& periodsMs);
  // Restarts the four slot timers at `periodsMs` while the mix timer runs on:
  // staggered 2 ms apart as a clock start places them, counted from the
  // last mix pass, so with 40 ms periods each slot renders once more before
  // the next pass, as after a clock start.
  void RestartSlotTimers(const std::array<int, kSlotCount>& periodsMs);
  // The second half of a recall (tick lock free): each slot's settings
  // loaded and its first picture rendered, then swapped in with the scene's
  // inverts, merge modes and fades while the tick lock is held.
  void StartScene(const Scene& scene);
  // Makes `target` the live document (Undo, Redo).
  bool RestoreDocument(const DocumentSnapshot& target);
  // How a timer is killed from the calling thread.
  FrameClock::Wait KillWait() const;

  const GeneratorRegistry& registry_;
  Console console_;
  RandomSource random_;
  ColorWheel sharedColorWheel_;
  AudioAnalyzer audio_;
  EngineSettings settings_;
  WindowLayout windowLayout_;  // main thread only
  RuntimeFlags flags_;
  MixerPanel panel_;
  EngineHooks hooks_;
  ChangeFeed changes_;
  TempoSource tempo_{console_, changes_, audio_.tempo()};
  // The beat-synced strobe, mix pass only: the parts of the beat, the part
  // of the last pass, and whether the last pass was synced.
  BeatDivider strobeBeats_;
  std::array<std::atomic<bool>, kSlotCount> beatTrigger_{};
  int64_t strobePart_ = 0;
  bool strobeSynced_ = false;
  GeneratorContext context_;

  std::atomic<int> width_{kDefaultMatrixWidth};
  std::atomic<int> height_{kDefaultMatrixHeight};
  std::array<std::vector<uint8_t>, kFrameCount> frames_;
  PatchTable patch_;
  Outputs outputs_{console_, flags_.outputState, patch_};
  RemoteInputSettings remoteInputSettings_;
  OscSettings oscSettings_;
  Mixer mixer_;

  // storage_[type][slot]; types without a factory share the slot's None.
  std::array<std::array<std::unique_ptr<Generator>, kSlotCount>, kEffectListSize> storage_;
  std::array<Generator*, kSlotCount> bound_{};
  std::array<std::atomic<int>, kSlotCount> requestedType_{};
  std::array<std::atomic<int>, kSlotCount> boundType_{};
  GeneratorClipboard clipboard_;
  std::atomic<int> pasteSlot_{-1};
  std::atomic<int> pendingSceneIndex_{-1};
  std::atomic<int> recallCount_{0};
  std::atomic<int> lastRecalledScene_{-1};
  // Requests from other threads: 1-based chase and scene numbers (0 none),
  // whether the waiting scene came first, a chase stop, the outputs wanted
  // on (1) or off (0) (-1 none).
  std::atomic<int> pendingChase_{0};
  std::atomic<int> pendingScene_{0};
  std::atomic<bool> sceneBeforeChase_{false};
  std::atomic<bool> pendingChaseStop_{false};
  std::atomic<int> pendingOutputs_{-1};
  // The thread inside the mix pass (none between passes).
  std::atomic<std::thread::id> passThread_{};
  const std::thread::id mainThread_ = std::this_thread::get_id();

  // tickMutex_ is held by every tick and by UI work that writes frames;
  // slotMutex_[s] guards slot s's generator. Order: tick, then slot.
  std::mutex tickMutex_;
  std::atomic<std::thread::id> tickLockOwner_{};  // the UI thread inside WithTickLock
  // Held by a hand move of the main fade while it writes; the mix pass only
  // tries it, so it never waits.
  std::mutex mainFadeMutex_;
  std::array<std::mutex, kSlotCount> slotMutex_;
  std::array<std::atomic<int>, kSlotCount> slotTimerId_{};
  std::atomic<int> mixTimerId_{0};
  EditHistory history_;
  int documentEditDepth_ = 0;
  std::unique_ptr<Show> show_;  // outlives every tick: the clock goes first
  std::unique_ptr<RemoteControl> remote_;
  ControlActivity controlActivity_;
  std::unique_ptr<OscInput> osc_;
  std::string midiUnavailable_;
  std::unique_ptr<MidiInput> midi_;
  std::unique_ptr<WebRemote> web_;
  FrameTap outputTap_;
  std::unique_ptr<Recorder> recorder_;
  int64_t rateStartUs_ = 0;
  MixPassTiming mixPassTiming_;
  bool renderingStopped_ = false;
  bool shutDown_ = false;

  // Last member: destroyed first, so its thread stops before the rest goes.
  FrameClock clock_;
};

}  // namespace quor
