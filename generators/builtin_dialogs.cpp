#include "generators/builtin_dialogs.h"

#include <array>

namespace quor {
namespace {

const std::array<const SettingsDialogSpec*, 14> kDialogs = {
    &kSimpleColorDialog, &kStrobeDialog,      &kPlasmaDialog,         &kColorScrollDialog, &kFireDialog,
    &kMetaballsDialog,   &kFallingRainDialog, &kStarfieldDialog,      &kFadingPixelsDialog, &kRadarDialog,
    &kExpandingShapesDialog, &kSimpleLinesDialog, &kSineLinesDialog, &kFilePlayerDialog,
};

}  // namespace

std::span<const SettingsDialogSpec* const> BuiltinSettingsDialogs() { return kDialogs; }

const SettingsDialogSpec* SettingsDialogFor(int typeId) {
  for (const SettingsDialogSpec* spec : kDialogs) {
    if (spec->typeId == typeId) return spec;
  }
  return nullptr;
}

}  // namespace quor
