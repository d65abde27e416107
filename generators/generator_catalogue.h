// The generator types this build provides, one row each: the type id, the
// position and text in the effect lists, the factory, the settings dialog
// and the help page. Everything that needs one of these reads it here: the
// registry the engine binds slots from, the effect lists, the dialogs and
// the help lookup. Adding a generator means its own files plus one row (and
// the include of its header below).
//
// Threads: the rows are compile-time constants; any thread may read them.
#pragma once

#include <array>
#include <span>
#include <string_view>

#include "core/generator_registry.h"
#include "generators/color_scroll.h"
#include "generators/expanding_shapes.h"
#include "generators/fading_pixels.h"
#include "generators/falling_rain.h"
#include "generators/file_player.h"
#include "generators/fire.h"
#include "generators/image_viewer.h"
#include "generators/metaballs.h"
#include "generators/none_generator.h"
#include "generators/plasma.h"
#include "generators/radar.h"
#include "generators/screen_capture.h"
#include "generators/scrolling_text.h"
#include "generators/settings_dialog.h"
#include "generators/simple_color.h"
#include "generators/simple_lines.h"
#include "generators/sine_lines.h"
#include "generators/spectrum_analyzer.h"
#include "generators/starfield.h"
#include "generators/strobe.h"
#include "generators/video_player.h"

namespace quor {

struct GeneratorEntry {
  int type = 0;
  int listPosition = 0;   // where the effect lists show the type
  std::string_view text;  // its text there (also its dialog's title)
  GeneratorFactory factory = nullptr;
  const SettingsDialogTable* dialog = nullptr;  // nullptr: "Edit" opens no table-built dialog
  int helpTopic = 0;                            // 0: no help page
};

// Indexed by type id.
inline constexpr std::array<GeneratorEntry, kEffectListSize> kGeneratorCatalogue = {{
    {0, 0, "None / Blackout", &CreateNoneGenerator, nullptr, 0},
    {1, 3, "Plasma", &CreatePlasmaGenerator, &kPlasmaDialog, 48},
    {2, 4, "Fire", &CreateFireGenerator, &kFireDialog, 49},
    {3, 14, "Sine Lines", &CreateSineLinesGenerator, &kSineLinesDialog, 59},
    {4, 13, "Simple Lines", &CreateSimpleLinesGenerator, &kSimpleLinesDialog, 58},
    {5, 9, "Scrolling Text", &CreateScrollingTextGenerator, &kScrollingTextDialog, 54},
    {6, 10, "Image Viewer", &CreateImageViewerGenerator, &kImageViewerDialog, 55},
    {7, 1, "Simple Color", &CreateSimpleColorGenerator, &kSimpleColorDialog, 46},
    {8, 15, "Strobe", &CreateStrobeGenerator, &kStrobeDialog, 60},
    {9, 5, "Metaballs", &CreateMetaballsGenerator, &kMetaballsDialog, 50},
    {10, 6, "Expanding Shapes", &CreateExpandingShapesGenerator, &kExpandingShapesDialog, 51},
    {11, 16, "Spectrum Analyzer", &CreateSpectrumAnalyzerGenerator, &kSpectrumAnalyzerDialog, 61},
    {12, 17, "Capture Screen", &CreateScreenCaptureGenerator, nullptr, 62},  // a frame window instead
    {13, 7, "Falling Rain", &CreateFallingRainGenerator, &kFallingRainDialog, 52},
    {14, 2, "Color Scroll", &CreateColorScrollGenerator, &kColorScrollDialog, 47},
    {15, 8, "Radar/Scan Lines", &CreateRadarGenerator, &kRadarDialog, 53},
    {16, 11, "Starfield", &CreateStarfieldGenerator, &kStarfieldDialog, 56},
    {17, 18, "Quor! File Player", &CreateFilePlayerGenerator, &kFilePlayerDialog, 63},
    {18, 12, "Fading Pixels", &CreateFadingPixelsGenerator, &kFadingPixelsDialog, 57},
    {19, 19, "Video Player", &CreateVideoPlayerGenerator, &kVideoPlayerDialog, 67},
}};

namespace catalogue_detail {

constexpr std::array<int, kEffectListSize> TypesByPosition() {
  std::array<int, kEffectListSize> types{};
  for (const GeneratorEntry& row : kGeneratorCatalogue) types[static_cast<size_t>(row.listPosition)] = row.type;
  return types;
}

constexpr bool RowsAreSound() {
  std::array<bool, kEffectListSize> positionUsed{};
  for (size_t i = 0; i < kGeneratorCatalogue.size(); ++i) {
    const GeneratorEntry& row = kGeneratorCatalogue[i];
    if (row.type != static_cast<int>(i) || row.text.empty()) return false;
    if (row.listPosition < 0 || row.listPosition >= kEffectListSize) return false;
    if (positionUsed[static_cast<size_t>(row.listPosition)]) return false;
    positionUsed[static_cast<size_t>(row.listPosition)] = true;
  }
  return kGeneratorCatalogue[kNoneType].listPosition == kNoneListPosition;
}
static_assert(RowsAreSound(), "one row per type id in order, each list position once, None / Blackout first");

}  // namespace catalogue_detail

// List position -> type id.
inline constexpr std::array<int, kEffectListSize> kEffectListOrder = catalogue_detail::TypesByPosition();

// The effect list texts, by list position.
inline constexpr std::array<std::string_view, kEffectListSize> kEffectListTexts = [] {
  std::array<std::string_view, kEffectListSize> texts{};
  for (const GeneratorEntry& row : kGeneratorCatalogue) texts[static_cast<size_t>(row.listPosition)] = row.text;
  return texts;
}();

// The row of a type id; ids outside 0..19 give the row of type 0.
constexpr const GeneratorEntry& CatalogueEntry(int typeId) {
  if (typeId < 0 || typeId > kMaxGeneratorType) typeId = kNoneType;
  return kGeneratorCatalogue[static_cast<size_t>(typeId)];
}
// Type id -> list position; ids outside 0..19 map to the position of type 0.
constexpr int EffectListPosition(int typeId) { return CatalogueEntry(typeId).listPosition; }
// List position -> type id; positions outside the list give type 0.
constexpr int EffectTypeAt(int listPosition) {
  if (listPosition < 0 || listPosition >= kEffectListSize) return kNoneType;
  return kEffectListOrder[static_cast<size_t>(listPosition)];
}

// A settings dialog description whose type id, title and help topic come
// from the catalogue row with the list text `text` (found by text, not by
// address: addresses are no constants in sanitizer builds); use it to
// define the table:
//   constinit const SettingsDialogTable kFooDialog = CatalogueDialog("Foo", width, height, kControls);
consteval SettingsDialogTable CatalogueDialog(std::string_view text, int width, int height,
                                              std::span<const DialogControl> controls) {
  for (const GeneratorEntry& row : kGeneratorCatalogue) {
    if (row.text == text) {
      return {.typeId = row.type, .title = row.text, .helpTopic = row.helpTopic, .width = width, .height = height,
              .controls = controls};
    }
  }
  throw "no catalogue row has this text";
}

// Every type id with its factory.
void RegisterBuiltinGenerators(GeneratorRegistry& registry);
// A registry with every built-in type, for hosts and tests.
const GeneratorRegistry& BuiltinGenerators();

// Every built-in settings dialog, one per type that has one, by type id.
std::span<const SettingsDialogTable* const> BuiltinSettingsDialogs();
// The dialog of a type id, or nullptr when the type has none.
const SettingsDialogTable* SettingsDialogFor(int typeId);

}  // namespace quor
