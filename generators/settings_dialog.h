// A generator's settings dialog described as plain data: title, help topic,
// frame size and an ordered list of controls. Each control carries its text
// exactly as shown, its rectangle in dialog units, its range, the field of
// the live generator it edits and the mapping between control position and
// field value, plus the rule that enables it. One builder in ui/ turns any
// description into a dialog; everything here is pure and tested without
// widgets.
//
// Threads: descriptions are immutable constants. The Read/Apply functions
// touch a generator and so run on the UI thread inside Engine::EditGenerator
// (never while the slot renders).
//
// Adding a dialog for a generator type
// ------------------------------------
// 1. Create generators/<name>_dialog.cpp next to the generator. Define the
//    controls as a `constexpr DialogControl k...[]` array and the dialog as
//    `constinit const SettingsDialogTable k<Name>Dialog =
//    CatalogueDialog(&k<Name>Dialog, width, height, k...)` (declared extern
//    in the generator's header), then name it in the generator's row of
//    generators/generator_catalogue.h, which also gives the dialog its type
//    id, title and help topic.
// 2. Controls appear in array order (also the tab order). Every control has
//    a unique `id` > 0; a control inside a group box names the box's id in
//    `group`. Rectangles are dialog units (x, y, width, height) inside the
//    frame (`width` x `height` of the dialogTable); DialogRow() gives the standard
//    one-control-per-row layout.
// 3. Kinds and the members they use:
//    - kGroupBox: `text` is the caption. Disabling a group (its `enable`
//      rule) disables every member.
//    - kLabel: `text`, or `label` for text computed from the generator.
//    - kSlider: `text` is the caption left of the trackbar, `range` the
//      trackbar positions, `field` + `mapping` the value. With `accepts`
//      only those positions are taken now: the trackbar marks them as its
//      selection and a move outside them springs back.
//    - kCheckBox: `text`, or `label` for text computed from the generator;
//      position 0/1 through `field` + `mapping`, or, for an indicator the
//      user cannot change, `indicator`.
//    - kDropDown: `text` is the caption ("" for none), `items` the list,
//      the list position through `field` + `mapping`. With `accepts` the
//      list offers only the items up to its last accepted position.
//    - kTextDropDown: like kDropDown, but the selected item's text goes to
//      `textField` (for example a font name); a stored text that is not in
//      the list selects nothing.
//    - kColorGroup: the trackbars "Red", "Green", "Blue" (0..255, position
//      = value) on `color`; with `color.getMode` set also the boxes
//      " Autocolor" and " Autocolor Sync" on the auto colour mode.
//    - kTextBox: a one-line edit on `textField`, at most `maxLength`
//      characters.
//    - kAudioTriggerButton: `text` ("Setup") opens "Audio Trigger Setup" on
//      the record `trigger` returns.
//    - kFileChooser: `text` ("Load") opens a file dialog with `filter`, or,
//      while `choosesFolder` holds, a folder browser titled `folderTitle`.
//      `check` (when set) examines the chosen path first, away from the
//      running generator; its error text is shown and nothing changes.
//      Then the path goes to `load`, which returns an error text or "".
//      `textField` gives the file name shown next to it.
//    - kPushButton: `text`; `closes` ends the dialog. Every dialog has one
//      "Close" push button.
// 4. Mappings (position = what the control shows, value = the field):
//    kDirect position = value; kOffset position = value - constant (a list
//    showing value - 1 is {kOffset, 1}); kInverted position = constant -
//    value (a slider whose right end is the smallest value); kBit position =
//    whether bit `constant` of the value is set.
// 5. Enable rules: kAlways; kNever (an indicator); kWhenControl: enabled
//    while control `control` shows a position p whose bit (1 << p) is set in
//    `positions`; kWhen: `test` on the generator and the matrix size.
// 6. Field accessors: MemberField<G, &G::getter, &G::Setter>() and
//    MemberText for the common getter/setter pairs, ColorGroupMember for a
//    generator's colour group (a ColorGroupOwner); write a
//    captureless lambda where a field needs more. Accessors cast with
//    dynamic_cast and do nothing on a generator of another type.
// The table-driven test in tests/generators/settings_dialog_test.cpp then
// checks the new table's layout and round-trips all its mappings.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "audio/audio_trigger.h"
#include "core/generator.h"
#include "core/rgb_frame.h"

namespace quor {

// A rectangle in dialog units: 1/4 of the average character width across,
// 1/8 of the character height down.
struct ControlRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const ControlRect&, const ControlRect&) = default;
};

enum class ControlKind : int {
  kGroupBox,
  kLabel,
  kSlider,
  kCheckBox,
  kDropDown,
  kTextDropDown,
  kColorGroup,
  kTextBox,
  kAudioTriggerButton,
  kFileChooser,
  kPushButton,
};

enum class MappingKind : int { kDirect, kOffset, kInverted, kBit };

struct PositionMapping {
  MappingKind kind = MappingKind::kDirect;
  int constant = 0;
};

inline constexpr PositionMapping kDirectMapping{};
inline constexpr PositionMapping ListPlusOne() { return {MappingKind::kOffset, 1}; }
inline constexpr PositionMapping Inverted(int sum) { return {MappingKind::kInverted, sum}; }
inline constexpr PositionMapping Bit(int mask) { return {MappingKind::kBit, mask}; }

// The position a control shows for a field value.
int PositionFromValue(PositionMapping mapping, int value);
// The field value a control position stands for; a bit mapping changes only
// its bit of `currentValue`.
int ValueFromPosition(PositionMapping mapping, int position, int currentValue);

struct PositionRange {
  int first = 0;
  int last = 0;
  friend bool operator==(const PositionRange&, const PositionRange&) = default;
};

struct IntField {
  int (*get)(const Generator&) = nullptr;
  void (*set)(Generator&, int) = nullptr;
};

struct TextField {
  std::string (*get)(const Generator&) = nullptr;
  void (*set)(Generator&, std::string_view) = nullptr;
};

struct ColorField {
  Rgb (*get)(const Generator&) = nullptr;
  void (*set)(Generator&, Rgb) = nullptr;
  // Both null: the group has no auto colour boxes.
  int (*getMode)(const Generator&) = nullptr;
  void (*setMode)(Generator&, int) = nullptr;
};

struct EnableRule {
  enum class Kind : int { kAlways, kNever, kWhenControl, kWhen };
  Kind kind = Kind::kAlways;
  int control = 0;
  uint64_t positions = 0;
  bool (*test)(const Generator&, int matrixWidth, int matrixHeight) = nullptr;
};

inline constexpr EnableRule kNeverEnabled{EnableRule::Kind::kNever};
// Enabled while `control` shows one of `positions` (each 0..63).
inline constexpr EnableRule EnabledWhen(int control, std::initializer_list<int> positions) {
  uint64_t mask = 0;
  for (int p : positions) mask |= uint64_t{1} << p;
  return {EnableRule::Kind::kWhenControl, control, mask, nullptr};
}

struct DialogControl {
  ControlKind kind = ControlKind::kLabel;
  int id = 0;
  std::string_view text;
  ControlRect rect;
  int group = 0;
  PositionRange range;  // kSlider
  PositionMapping mapping;
  IntField field;
  TextField textField;
  ColorField color;
  std::span<const std::string_view> items;
  int maxLength = 0;        // kTextBox
  std::string_view filter;  // kFileChooser, e.g. "Quor Recordings (*.qrr)"
  AudioTrigger* (*trigger)(Generator&) = nullptr;
  std::string (*label)(const Generator&, int matrixWidth, int matrixHeight) = nullptr;
  std::string (*load)(Generator&, const std::string& path) = nullptr;
  std::string (*check)(const std::string& path, bool folder) = nullptr;  // kFileChooser
  bool (*choosesFolder)(const Generator&) = nullptr;                     // kFileChooser
  std::string_view folderTitle;                                          // kFileChooser
  PositionRange (*accepts)(const Generator&) = nullptr;                  // kSlider, kDropDown
  bool (*indicator)(const Generator&, int matrixWidth, int matrixHeight) = nullptr;
  bool closes = false;
  EnableRule enable;
};

struct SettingsDialogTable {
  // From the generator's catalogue row.
  int typeId = 0;
  std::string_view title;
  int helpTopic = 0;
  int width = 0;
  int height = 0;
  std::span<const DialogControl> controls;
};

// Texts inside a colour group.
inline constexpr std::string_view kRedText = "Red";
inline constexpr std::string_view kGreenText = "Green";
inline constexpr std::string_view kBlueText = "Blue";
inline constexpr std::string_view kAutoColorText = " Autocolor";
inline constexpr std::string_view kAutoColorSyncText = " Autocolor Sync";
inline constexpr std::string_view kCloseText = "Close";

// The standard layout: one control per row of 18 units at the dialog's
// left margin, 166 units wide.
inline constexpr int kDialogMargin = 7;
inline constexpr int kDialogRowPitch = 18;
inline constexpr int kDialogRowWidth = 166;
inline constexpr int kDialogFrameWidth = kDialogRowWidth + 2 * kDialogMargin;
inline constexpr ControlRect DialogRow(int top, int height = 14) {
  return {kDialogMargin, top, kDialogRowWidth, height};
}
// The frame height for controls that end at `contentBottom`: room for the
// "Close" row below them.
inline constexpr int FrameHeightFor(int contentBottom) { return contentBottom + 28; }
// A colour group's height: a caption line, three trackbar rows and, with
// the auto colour boxes, two check box rows.
inline constexpr int ColorGroupHeight(bool autoColor) { return 12 + 3 * 16 + (autoColor ? 2 * 12 : 0) + 4; }
// The "Close" button centred in the bottom row of a frame `height` high.
inline constexpr ControlRect CloseButtonRect(int height) {
  return {(kDialogFrameWidth - 50) / 2, height - 21, 50, 14};
}

// The positions a control offers: a slider's range, a list's positions,
// 0..1 for a check box; {0, -1} for kinds without a position.
PositionRange ControlRange(const DialogControl& control);
// The position a control shows for the generator (-1 for a text list whose
// text is not in the list, 0 for kinds without a position).
int ReadControlPosition(const DialogControl& control, const Generator& generator, int matrixWidth = 0,
                        int matrixHeight = 0);
// The positions a control takes now: ControlRange narrowed by `accepts`.
PositionRange AcceptedPositions(const DialogControl& control, const Generator& generator);
// The control was moved to `position` (brought into ControlRange first); a
// position outside AcceptedPositions changes nothing.
void ApplyControlPosition(const DialogControl& control, Generator& generator, int position);

enum class ColorChannel : int { kRed = 0, kGreen = 1, kBlue = 2 };
enum class AutoColorBox : int { kAutoColor, kAutoColorSync };
int ReadColorChannel(const DialogControl& control, const Generator& generator, ColorChannel channel);
// One colour trackbar moved; the value is brought into 0..255.
void ApplyColorChannel(const DialogControl& control, Generator& generator, ColorChannel channel, int value);
bool AutoColorBoxChecked(int autoColorMode, AutoColorBox box);
// The auto colour mode after one of the boxes was (un)checked: " Autocolor"
// on 1, off 0 (which also clears " Autocolor Sync"); " Autocolor Sync" on 2
// (which also checks " Autocolor"), off 1.
int AutoColorModeAfter(AutoColorBox box, bool checked);
void ApplyAutoColorBox(const DialogControl& control, Generator& generator, AutoColorBox box, bool checked);

std::string ReadControlText(const DialogControl& control, const Generator& generator);
// A text box changed; at most maxLength characters are kept.
void ApplyControlText(const DialogControl& control, Generator& generator, std::string_view text);

// Whether a control is enabled now: its own rule and its group's.
bool ControlEnabled(const SettingsDialogTable& dialogTable, const DialogControl& control, const Generator& generator,
                    int matrixWidth, int matrixHeight);
const DialogControl* FindControl(const SettingsDialogTable& dialogTable, int id);

// Checks a description for mistakes a table can make: ids, groups and rule
// sources that do not exist, rectangles outside the frame, controls without
// the accessors their kind needs. Returns "" or the first mistake found.
std::string CheckSettingsDialog(const SettingsDialogTable& dialogTable);

// The screen position all generator settings dialogs share, (-1, -1) until
// the first one opens.
struct SettingsDialogPosition {
  int x = -1;
  int y = -1;
  friend bool operator==(const SettingsDialogPosition&, const SettingsDialogPosition&) = default;
};
// Where a generator dialog opens: the shared position when both values are
// >= 0; otherwise the centred one, which is then remembered.
SettingsDialogPosition PlaceSettingsDialog(SettingsDialogPosition& shared, SettingsDialogPosition centred);

// Accessors from a generator class's getter/setter pairs.
template <class G, auto Get, auto Set>
constexpr IntField MemberField() {
  return {[](const Generator& g) -> int {
            const auto* p = dynamic_cast<const G*>(&g);
            return p != nullptr ? static_cast<int>((p->*Get)()) : 0;
          },
          [](Generator& g, int value) {
            if (auto* p = dynamic_cast<G*>(&g)) (p->*Set)(value);
          }};
}

template <class G, auto Get, auto Set>
constexpr TextField MemberText() {
  return {[](const Generator& g) -> std::string {
            const auto* p = dynamic_cast<const G*>(&g);
            return p != nullptr ? std::string((p->*Get)()) : std::string();
          },
          [](Generator& g, std::string_view text) {
            if (auto* p = dynamic_cast<G*>(&g)) (p->*Set)(text);
          }};
}

// Colour and mode through colorGroup() (the ColorGroup of generators/color.h).
template <class G>
constexpr ColorField ColorGroupMember() {
  return {[](const Generator& g) -> Rgb {
            const auto* p = dynamic_cast<const G*>(&g);
            return p != nullptr ? p->colorGroup().color : Rgb{};
          },
          [](Generator& g, Rgb color) {
            if (auto* p = dynamic_cast<G*>(&g)) p->colorGroup().SetColor(color);
          },
          [](const Generator& g) -> int {
            const auto* p = dynamic_cast<const G*>(&g);
            return p != nullptr ? p->colorGroup().autoColorMode : 0;
          },
          [](Generator& g, int mode) {
            if (auto* p = dynamic_cast<G*>(&g)) p->colorGroup().autoColorMode = mode;
          }};
}

}  // namespace quor
