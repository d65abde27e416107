#include "generators/builtin_dialogs.h"

#include <array>

namespace quor {
namespace {

const std::array<const SettingsDialogTable*, 17> kDialogs = {
    &kSimpleColorDialog, &kStrobeDialog,      &kPlasmaDialog,         &kColorScrollDialog, &kFireDialog,
    &kMetaballsDialog,   &kFallingRainDialog, &kStarfieldDialog,      &kFadingPixelsDialog, &kRadarDialog,
    &kExpandingShapesDialog, &kSimpleLinesDialog, &kSineLinesDialog, &kFilePlayerDialog,
    &kScrollingTextDialog, &kImageViewerDialog, &kSpectrumAnalyzerDialog,
};

}  // namespace

std::span<const SettingsDialogTable* const> BuiltinSettingsDialogs() { return kDialogs; }

const SettingsDialogTable* SettingsDialogFor(int typeId) {
  for (const SettingsDialogTable* dialogTable : kDialogs) {
    if (dialogTable->typeId == typeId) return dialogTable;
  }
  return nullptr;
}

}  // namespace quor
