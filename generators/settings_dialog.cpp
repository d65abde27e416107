// Controls name only the members they use; GCC 12 warns about the rest of
// a designated initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include "generators/settings_dialog.h"

#include <algorithm>
#include <set>

#include "generators/color.h"

namespace quor {
namespace {

constexpr int kMaxChannel = 255;

bool HasAutoColor(const DialogControl& control) {
  return control.color.getMode != nullptr && control.color.setMode != nullptr;
}

bool RuleHolds(const SettingsDialogTable& dialogTable, const EnableRule& rule, const Generator& generator, int matrixWidth,
               int matrixHeight) {
  switch (rule.kind) {
    case EnableRule::Kind::kAlways:
      return true;
    case EnableRule::Kind::kNever:
      return false;
    case EnableRule::Kind::kWhenControl: {
      const DialogControl* source = FindControl(dialogTable, rule.control);
      if (source == nullptr) return true;
      const int position = ReadControlPosition(*source, generator, matrixWidth, matrixHeight);
      return position >= 0 && position < 64 && ((rule.positions >> position) & 1) != 0;
    }
    case EnableRule::Kind::kWhen:
      return rule.test == nullptr || rule.test(generator, matrixWidth, matrixHeight);
  }
  return true;
}

std::string Named(const SettingsDialogTable& dialogTable, const DialogControl& control, const char* problem) {
  return std::string(dialogTable.title) + ": control " + std::to_string(control.id) + " \"" + std::string(control.text) +
         "\" " + problem;
}

}  // namespace

int PositionFromValue(PositionMapping mapping, int value) {
  switch (mapping.kind) {
    case MappingKind::kDirect:
      return value;
    case MappingKind::kOffset:
      return value - mapping.constant;
    case MappingKind::kInverted:
      return mapping.constant - value;
    case MappingKind::kBit:
      return (value & mapping.constant) != 0 ? 1 : 0;
  }
  return value;
}

int ValueFromPosition(PositionMapping mapping, int position, int currentValue) {
  switch (mapping.kind) {
    case MappingKind::kDirect:
      return position;
    case MappingKind::kOffset:
      return position + mapping.constant;
    case MappingKind::kInverted:
      return mapping.constant - position;
    case MappingKind::kBit:
      return position != 0 ? (currentValue | mapping.constant) : (currentValue & ~mapping.constant);
  }
  return position;
}

PositionRange ControlRange(const DialogControl& control) {
  switch (control.kind) {
    case ControlKind::kSlider:
      return control.range;
    case ControlKind::kCheckBox:
      return {0, 1};
    case ControlKind::kDropDown:
    case ControlKind::kTextDropDown:
      return {0, static_cast<int>(control.items.size()) - 1};
    default:
      return {0, -1};
  }
}

int ReadControlPosition(const DialogControl& control, const Generator& generator, int matrixWidth,
                        int matrixHeight) {
  switch (control.kind) {
    case ControlKind::kCheckBox:
      if (control.indicator != nullptr) return control.indicator(generator, matrixWidth, matrixHeight) ? 1 : 0;
      [[fallthrough]];
    case ControlKind::kSlider:
    case ControlKind::kDropDown:
      return control.field.get != nullptr ? PositionFromValue(control.mapping, control.field.get(generator)) : 0;
    case ControlKind::kTextDropDown: {
      if (control.textField.get == nullptr) return -1;
      const std::string text = control.textField.get(generator);
      const auto found = std::ranges::find(control.items, std::string_view(text));
      return found == control.items.end() ? -1 : static_cast<int>(found - control.items.begin());
    }
    default:
      return 0;
  }
}

PositionRange AcceptedPositions(const DialogControl& control, const Generator& generator) {
  PositionRange range = ControlRange(control);
  if (control.accepts != nullptr && range.first <= range.last) {
    const PositionRange accepted = control.accepts(generator);
    range = {std::max(range.first, accepted.first), std::min(range.last, accepted.last)};
  }
  return range;
}

void ApplyControlPosition(const DialogControl& control, Generator& generator, int position) {
  const PositionRange range = ControlRange(control);
  if (range.last < range.first) return;
  position = std::clamp(position, range.first, range.last);
  if (control.accepts != nullptr) {
    const PositionRange accepted = AcceptedPositions(control, generator);
    if (position < accepted.first || position > accepted.last) return;
  }
  if (control.kind == ControlKind::kTextDropDown) {
    if (control.textField.set != nullptr) {
      control.textField.set(generator, control.items[static_cast<size_t>(position)]);
    }
    return;
  }
  if (control.field.set == nullptr || control.indicator != nullptr) return;
  const int current = control.field.get != nullptr ? control.field.get(generator) : 0;
  control.field.set(generator, ValueFromPosition(control.mapping, position, current));
}

int ReadColorChannel(const DialogControl& control, const Generator& generator, ColorChannel channel) {
  if (control.color.get == nullptr) return 0;
  const Rgb color = control.color.get(generator);
  switch (channel) {
    case ColorChannel::kRed:
      return color.r;
    case ColorChannel::kGreen:
      return color.g;
    case ColorChannel::kBlue:
      return color.b;
  }
  return 0;
}

void ApplyColorChannel(const DialogControl& control, Generator& generator, ColorChannel channel, int value) {
  if (control.color.get == nullptr || control.color.set == nullptr) return;
  value = std::clamp(value, 0, kMaxChannel);
  Rgb color = control.color.get(generator);
  switch (channel) {
    case ColorChannel::kRed:
      color.r = value;
      break;
    case ColorChannel::kGreen:
      color.g = value;
      break;
    case ColorChannel::kBlue:
      color.b = value;
      break;
  }
  control.color.set(generator, color);
}

bool AutoColorBoxChecked(int autoColorMode, AutoColorBox box) {
  ColorGroup group;
  group.autoColorMode = autoColorMode;
  return box == AutoColorBox::kAutoColor ? group.AutoColorChecked() : group.AutoColorSyncChecked();
}

int AutoColorModeAfter(AutoColorBox box, bool checked) {
  ColorGroup group;
  if (box == AutoColorBox::kAutoColor) {
    group.SetAutoColorChecked(checked);
  } else {
    group.SetAutoColorSyncChecked(checked);
  }
  return group.autoColorMode;
}

void ApplyAutoColorBox(const DialogControl& control, Generator& generator, AutoColorBox box, bool checked) {
  if (!HasAutoColor(control)) return;
  control.color.setMode(generator, AutoColorModeAfter(box, checked));
}

std::string ReadControlText(const DialogControl& control, const Generator& generator) {
  return control.textField.get != nullptr ? control.textField.get(generator) : std::string();
}

void ApplyControlText(const DialogControl& control, Generator& generator, std::string_view text) {
  if (control.textField.set == nullptr) return;
  if (control.maxLength > 0 && text.size() > static_cast<size_t>(control.maxLength)) {
    text = text.substr(0, static_cast<size_t>(control.maxLength));
  }
  control.textField.set(generator, text);
}

const DialogControl* FindControl(const SettingsDialogTable& dialogTable, int id) {
  for (const DialogControl& control : dialogTable.controls) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

bool ControlEnabled(const SettingsDialogTable& dialogTable, const DialogControl& control, const Generator& generator,
                    int matrixWidth, int matrixHeight) {
  if (!RuleHolds(dialogTable, control.enable, generator, matrixWidth, matrixHeight)) return false;
  // Groups may nest; a table cannot make this loop endless because
  // CheckSettingsDialog refuses a group that is its own ancestor, and the
  // depth bound keeps a broken table from hanging the dialog anyway.
  const DialogControl* group = FindControl(dialogTable, control.group);
  for (int depth = 0; group != nullptr && depth < 8; ++depth) {
    if (!RuleHolds(dialogTable, group->enable, generator, matrixWidth, matrixHeight)) return false;
    group = FindControl(dialogTable, group->group);
  }
  return true;
}

std::string CheckSettingsDialog(const SettingsDialogTable& dialogTable) {
  if (dialogTable.title.empty() || dialogTable.helpTopic <= 0 || dialogTable.width <= 0 || dialogTable.height <= 0) {
    return std::string(dialogTable.title) + ": title, help topic and frame size must be set";
  }
  std::set<int> ids;
  int closeButtons = 0;
  for (const DialogControl& control : dialogTable.controls) {
    if (control.id <= 0 || !ids.insert(control.id).second) return Named(dialogTable, control, "needs a unique id > 0");
    const ControlRect& r = control.rect;
    if (r.x < 0 || r.y < 0 || r.width <= 0 || r.height <= 0 || r.x + r.width > dialogTable.width ||
        r.y + r.height > dialogTable.height) {
      return Named(dialogTable, control, "lies outside the frame");
    }
    if (control.group != 0) {
      const DialogControl* group = FindControl(dialogTable, control.group);
      if (group == nullptr || group->kind != ControlKind::kGroupBox || group == &control) {
        return Named(dialogTable, control, "names a group box that does not exist");
      }
      const ControlRect& g = group->rect;
      if (r.x < g.x || r.y < g.y || r.x + r.width > g.x + g.width || r.y + r.height > g.y + g.height) {
        return Named(dialogTable, control, "lies outside its group box");
      }
    }
    if (control.enable.kind == EnableRule::Kind::kWhenControl) {
      const DialogControl* source = FindControl(dialogTable, control.enable.control);
      if (source == nullptr || source == &control) return Named(dialogTable, control, "depends on a missing control");
    }
    bool complete = true;
    switch (control.kind) {
      case ControlKind::kSlider:
        complete = control.field.get && control.field.set && control.range.first <= control.range.last;
        break;
      case ControlKind::kCheckBox:
        complete = (control.field.get && control.field.set) || control.indicator != nullptr;
        break;
      case ControlKind::kDropDown:
        complete = control.field.get && control.field.set && !control.items.empty();
        break;
      case ControlKind::kTextDropDown:
        complete = control.textField.get && control.textField.set && !control.items.empty();
        break;
      case ControlKind::kColorGroup:
        complete = control.color.get && control.color.set &&
                   (control.color.getMode == nullptr) == (control.color.setMode == nullptr);
        break;
      case ControlKind::kTextBox:
        complete = control.textField.get && control.textField.set && control.maxLength > 0;
        break;
      case ControlKind::kAudioTriggerButton:
        complete = control.trigger != nullptr;
        break;
      case ControlKind::kFileChooser:
        complete = control.load != nullptr && control.textField.get && !control.filter.empty() &&
                   (control.choosesFolder == nullptr || !control.folderTitle.empty());
        break;
      case ControlKind::kPushButton:
        complete = control.closes;  // the only push button action so far
        closeButtons += control.closes && control.text == kCloseText ? 1 : 0;
        break;
      case ControlKind::kGroupBox:
      case ControlKind::kLabel:
        break;
    }
    if (!complete) return Named(dialogTable, control, "lacks what its kind needs");
  }
  // A group that is its own ancestor would make the group chain circular.
  for (const DialogControl& control : dialogTable.controls) {
    const DialogControl* group = FindControl(dialogTable, control.group);
    for (int depth = 0; group != nullptr; ++depth) {
      if (depth > static_cast<int>(dialogTable.controls.size())) return Named(dialogTable, control, "sits in a circle of groups");
      group = FindControl(dialogTable, group->group);
    }
  }
  if (closeButtons != 1) return std::string(dialogTable.title) + ": needs exactly one \"Close\" button";
  return {};
}

SettingsDialogPosition PlaceSettingsDialog(SettingsDialogPosition& shared, SettingsDialogPosition centred) {
  if (shared.x >= 0 && shared.y >= 0) return shared;
  shared = centred;
  return centred;
}

}  // namespace quor
