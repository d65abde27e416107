// Generator types: the ids 0..18, the order in which the effect lists show
// them, and the table of factories. A type becomes available with one
// Register call; an id without a factory, and any id above 18, binds as
// None / Blackout. The registry is filled before the Engine is built and is
// read-only afterwards.
#pragma once

#include <array>
#include <string_view>

#include "core/generator.h"

namespace quor {

inline constexpr int kEffectListSize = kMaxGeneratorType + 1;

// List position -> type id.
inline constexpr std::array<int, kEffectListSize> kEffectListOrder = {
    0, 7, 14, 1, 2, 9, 10, 13, 15, 5, 6, 16, 18, 4, 3, 8, 11, 12, 17};

// The effect list texts, by list position.
inline constexpr std::array<std::string_view, kEffectListSize> kEffectListTexts = {
    "None / Blackout", "Simple Color",   "Color Scroll",      "Plasma",         "Fire",
    "Metaballs",       "Expanding Shapes", "Falling Rain",    "Radar/Scan Lines", "Scrolling Text",
    "Image Viewer",    "Starfield",      "Fading Pixels",     "Simple Lines",   "Sine Lines",
    "Strobe",          "Spectrum Analyzer", "Capture Screen", "Quor! File Player"};

// Type id -> list position; ids outside 0..18 map to the position of type 0.
int EffectListPosition(int typeId);
// List position -> type id; positions outside the list give type 0.
int EffectTypeAt(int listPosition);

class GeneratorRegistry {
 public:
  GeneratorRegistry();  // knows None / Blackout only
  void Register(int typeId, GeneratorFactory factory);
  // The factory that serves `typeId`: None / Blackout for unknown ids.
  GeneratorFactory FactoryFor(int typeId) const;
  bool IsRegistered(int typeId) const;
  // The type whose code runs for `typeId` (0 when unregistered or out of range).
  int EffectiveType(int typeId) const { return IsRegistered(typeId) ? typeId : 0; }

 private:
  std::array<GeneratorFactory, kEffectListSize> factories_{};
};

}  // namespace quor
