// The settings dialogs of the built-in generator types, each described in
// generators/<name>_dialog.cpp next to its generator. None / Blackout has
// no dialog, so its "Edit" button opens nothing.
#pragma once

#include <span>

#include "generators/settings_dialog.h"

namespace quor {

extern const SettingsDialogSpec kSimpleColorDialog;
extern const SettingsDialogSpec kStrobeDialog;
extern const SettingsDialogSpec kPlasmaDialog;
extern const SettingsDialogSpec kColorScrollDialog;
extern const SettingsDialogSpec kFireDialog;
extern const SettingsDialogSpec kMetaballsDialog;
extern const SettingsDialogSpec kFallingRainDialog;
extern const SettingsDialogSpec kStarfieldDialog;
extern const SettingsDialogSpec kFadingPixelsDialog;
extern const SettingsDialogSpec kRadarDialog;
extern const SettingsDialogSpec kExpandingShapesDialog;
extern const SettingsDialogSpec kSimpleLinesDialog;
extern const SettingsDialogSpec kSineLinesDialog;
extern const SettingsDialogSpec kFilePlayerDialog;

// Every built-in dialog, one per type that has one.
std::span<const SettingsDialogSpec* const> BuiltinSettingsDialogs();
// The dialog of a type id, or nullptr when the type has none.
const SettingsDialogSpec* SettingsDialogFor(int typeId);

}  // namespace quor
