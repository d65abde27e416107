// The settings dialogs of the built-in generator types, each described in
// generators/<name>_dialog.cpp next to its generator. None / Blackout has
// no dialog, so its "Edit" button opens nothing.
#pragma once

#include <span>

#include "generators/settings_dialog.h"

namespace quor {

extern const SettingsDialogTable kSimpleColorDialog;
extern const SettingsDialogTable kStrobeDialog;
extern const SettingsDialogTable kPlasmaDialog;
extern const SettingsDialogTable kColorScrollDialog;
extern const SettingsDialogTable kFireDialog;
extern const SettingsDialogTable kMetaballsDialog;
extern const SettingsDialogTable kFallingRainDialog;
extern const SettingsDialogTable kStarfieldDialog;
extern const SettingsDialogTable kFadingPixelsDialog;
extern const SettingsDialogTable kRadarDialog;
extern const SettingsDialogTable kExpandingShapesDialog;
extern const SettingsDialogTable kSimpleLinesDialog;
extern const SettingsDialogTable kSineLinesDialog;
extern const SettingsDialogTable kFilePlayerDialog;
extern const SettingsDialogTable kScrollingTextDialog;
extern const SettingsDialogTable kImageViewerDialog;
extern const SettingsDialogTable kSpectrumAnalyzerDialog;

// Every built-in dialog, one per type that has one.
std::span<const SettingsDialogTable* const> BuiltinSettingsDialogs();
// The dialog of a type id, or nullptr when the type has none.
const SettingsDialogTable* SettingsDialogFor(int typeId);

}  // namespace quor
