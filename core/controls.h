// The control address space: every control an operator can move, press or
// switch, under a stable name with a kind and a range, so the panel
// widgets, the remote-control input and network or MIDI surfaces all set
// and read the same things the same way.
//
// A control is addressed by its id and, for controls that exist more than
// once (slots, channels, scenes, chases), a 0-based instance. Its name puts
// the 1-based instance in the path: "slot/2/speed", "scene/12/recall".
//
// Kinds:
//   fader   - any value in min..max, held to the range when set
//   toggle  - 0 or 1; any value other than 0 sets 1
//   button  - a press does something once; the value is ignored (a value of
//             0 is a release and does nothing)
//   trigger - like a button, for one of many numbered things (a scene, a
//             chase); the instance says which
//
// Reading a button or trigger gives 1 while what it started is in place
// (the glide direction, the highlighted scene, the running chase), else 0.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/change_feed.h"

namespace quor {

enum class ControlType : uint8_t { kFader, kToggle, kButton, kTrigger };

enum class ControlId : uint8_t {
  kSlotEffect,       // effect list position of a slot
  kSlotSpeed,        // renders per second of a slot
  kSlotInvert,       // a slot's picture inverted
  kChannelMode,      // merge mode of channel 1 or 2
  kChannelFade,      // masterfade of channel 1 or 2
  kMainMode,         // merge mode of the main mix
  kMainFade,         // the main crossfader, moved by hand (ends a glide)
  kMainGlideStart,   // glide the crossfader to its start
  kMainGlideCentre,  // ... to its centre
  kMainGlideEnd,     // ... to its end
  kMasterLevel,
  kBlackout,         // master level to 0
  kGamma,
  kStrobe,
  kStrobeTime,
  kSceneRecall,      // recall scene n
  kChasePlay,        // start chase n
  kChaseStop,        // stop the running chase
  kShowMode,         // the show mode window open
  kOutput,           // the outputs sending
  kTempoTap,         // a tap of the tap tempo
  kTempoAuto,        // the detected tempo again
  kStrobeBeat,       // strobe on the beat: 0 off, 1 beat, 1/2 beat, 1/4 beat
};

struct ControlSpec {
  ControlId id;
  // The name with "#" where the 1-based instance goes.
  std::string_view pattern;
  ControlType kind;
  int min;
  int max;
  // How many instances: a fixed count, or 0 when it follows the show (the
  // scenes or chases it holds, up to maxInstances).
  int instances;
  int maxInstances;
  // The change group announced when the control's value changes.
  Change group;
  std::string_view description;
};

struct ControlAddress {
  ControlId id = ControlId::kMasterLevel;
  int instance = 0;
  friend bool operator==(const ControlAddress&, const ControlAddress&) = default;
};

// Every control, in the order `quor --list-controls` prints them.
std::span<const ControlSpec> ControlSpecs();
const ControlSpec& SpecOf(ControlId id);
std::string_view ControlTypeName(ControlType kind);

// "slot/2/speed" for {kSlotSpeed, 1}.
std::string ControlName(const ControlAddress& address);
// The address a name stands for; nothing when no control has that name or
// the instance is outside 1..maxInstances (a leading "/" is allowed).
std::optional<ControlAddress> ParseControlName(std::string_view name);
// The listing `quor --list-controls` prints: one line per control with its
// name, kind, range and what it does; controls that follow the show are
// listed once with "N" for the scene or chase number.
std::string ControlListText();
// The value held to the control's range (toggles to 0 or 1).
int ClampControlValue(ControlId id, int value);

// What sets and reads controls: the engine implements it; input surfaces
// hold a reference to it and nothing else of the engine.
//
// Threads: SetControl from any thread. Controls whose work belongs to the
// main thread (scene recall, chase play and stop, show mode, outputs) are
// carried out at once on the main thread and left as a request for the
// main thread's next turn from any other thread; the rest act at once.
class ControlSurface {
 public:
  virtual ~ControlSurface() = default;
  // False when the address names no existing control instance (a scene
  // number past the show's scenes, an id out of range); nothing changes.
  virtual bool SetControl(const ControlAddress& address, int value) = 0;
  // The control's value; nothing for an address that names no control.
  virtual std::optional<int> ControlValue(const ControlAddress& address) const = 0;
  // How many instances the control has now (scenes and chases follow the show).
  virtual int ControlInstances(ControlId id) const = 0;
};

}  // namespace quor
