// The "Spectrum Analyzer" dialog: band count (group "Mode"), where the mid
// and peak colours begin (group "Color Transition Pos"), gain and drawing
// options (group "Options") and the three colour groups. Line mode turns off
// what only bars use (the gap, the colour transition, the mid colour) and
// turns on " Line Fill".
// Controls name only the members they use; GCC 12 warns about the rest of
// a designated initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <array>
#include <string_view>

#include "generators/generator_catalogue.h"
#include "generators/spectrum_analyzer.h"

namespace quor {
namespace {

using G = SpectrumAnalyzerGenerator;
constexpr int kWidth = 283;
constexpr int kHeight = 236;
constexpr int kLineModeId = 11;

// "4" up to "64"; the list offers as many as the matrix is wide.
constexpr std::array<std::string_view, kSpectrumMaxBands - kSpectrumMinBands + 1> kBandNames = {
    "4",  "5",  "6",  "7",  "8",  "9",  "10", "11", "12", "13", "14", "15", "16", "17", "18", "19",
    "20", "21", "22", "23", "24", "25", "26", "27", "28", "29", "30", "31", "32", "33", "34", "35",
    "36", "37", "38", "39", "40", "41", "42", "43", "44", "45", "46", "47", "48", "49", "50", "51",
    "52", "53", "54", "55", "56", "57", "58", "59", "60", "61", "62", "63", "64"};

template <Rgb G::*Member>
constexpr ColorField ColorMember() {
  return {[](const Generator& g) -> Rgb {
            const auto* p = dynamic_cast<const G*>(&g);
            return p != nullptr ? p->*Member : Rgb{};
          },
          [](Generator& g, Rgb color) {
            if (auto* p = dynamic_cast<G*>(&g)) p->*Member = color;
          }};
}

const G* Spectrum(const Generator& g) { return dynamic_cast<const G*>(&g); }

constexpr EnableRule kBarsOnly = EnabledWhen(kLineModeId, {0});

constexpr DialogControl kControls[] = {
    {.kind = ControlKind::kGroupBox, .id = 1, .text = "Mode", .rect = {7, 7, 129, 32}},
    {.kind = ControlKind::kLabel, .id = 2, .text = "FFT Bands", .rect = {13, 21, 60, 8}, .group = 1},
    {.kind = ControlKind::kDropDown, .id = 3, .rect = {76, 19, 54, 14}, .group = 1,
     .mapping = {MappingKind::kOffset, kSpectrumMinBands}, .field = MemberField<G, &G::bands, &G::SetBands>(),
     .items = kBandNames,
     .accepts = [](const Generator& g) -> PositionRange {
       const G* p = Spectrum(g);
       return {0, (p != nullptr ? p->maxBands() : kSpectrumMinBands) - kSpectrumMinBands};
     }},
    {.kind = ControlKind::kGroupBox, .id = 4, .text = "Color Transition Pos", .rect = {145, 7, 130, 53},
     .enable = kBarsOnly},
    {.kind = ControlKind::kSlider, .id = 5, .rect = {146, 19, 100, 16}, .group = 4, .range = {1, 100},
     .field = MemberField<G, &G::midPosition, &G::SetMidPosition>(),
     .accepts = [](const Generator& g) -> PositionRange {
       const G* p = Spectrum(g);
       return {1, p != nullptr ? p->peakPosition() : 100};
     }},
    {.kind = ControlKind::kLabel, .id = 6, .text = "Mid", .rect = {249, 23, 24, 8}, .group = 4},
    {.kind = ControlKind::kSlider, .id = 7, .rect = {146, 37, 100, 16}, .group = 4, .range = {1, 100},
     .field = MemberField<G, &G::peakPosition, &G::SetPeakPosition>(),
     .accepts = [](const Generator& g) -> PositionRange {
       const G* p = Spectrum(g);
       return {p != nullptr ? p->midPosition() : 1, 100};
     }},
    {.kind = ControlKind::kLabel, .id = 8, .text = "Peak", .rect = {249, 41, 24, 8}, .group = 4},
    {.kind = ControlKind::kGroupBox, .id = 9, .text = "Options", .rect = {7, 63, 130, 71}},
    {.kind = ControlKind::kSlider, .id = 10, .rect = {8, 75, 100, 16}, .group = 9, .range = {1, 50},
     .field = MemberField<G, &G::gain, &G::SetGain>()},
    {.kind = ControlKind::kCheckBox, .id = kLineModeId, .text = " Line Mode", .rect = {13, 96, 60, 10}, .group = 9,
     .field = MemberField<G, &G::lineMode, &G::SetLineMode>()},
    {.kind = ControlKind::kCheckBox, .id = 12, .text = " Line Fill", .rect = {76, 96, 56, 10}, .group = 9,
     .field = MemberField<G, &G::lineFill, &G::SetLineFill>(), .enable = EnabledWhen(kLineModeId, {1})},
    {.kind = ControlKind::kCheckBox, .id = 13, .text = " Bars with Gap", .rect = {13, 114, 62, 10}, .group = 9,
     .field = MemberField<G, &G::barsWithGap, &G::SetBarsWithGap>(), .enable = kBarsOnly},
    {.kind = ControlKind::kCheckBox, .id = 14, .text = " Peak Hold", .rect = {76, 114, 56, 10}, .group = 9,
     .field = MemberField<G, &G::peakHold, &G::SetPeakHold>()},
    {.kind = ControlKind::kLabel, .id = 15, .text = "Gain", .rect = {111, 79, 24, 8}, .group = 9},
    {.kind = ControlKind::kColorGroup, .id = 16, .text = "Base Color", .rect = {145, 63, 130, 71},
     .color = ColorMember<&G::baseColor>()},
    {.kind = ControlKind::kColorGroup, .id = 17, .text = "Mid Color", .rect = {7, 137, 130, 71},
     .color = ColorMember<&G::midColor>(), .enable = kBarsOnly},
    {.kind = ControlKind::kColorGroup, .id = 18, .text = "Peak Color", .rect = {145, 137, 130, 71},
     .color = ColorMember<&G::peakColor>()},
    {.kind = ControlKind::kPushButton, .id = 19, .text = kCloseText, .rect = {118, 215, 47, 14}, .closes = true},
};

}  // namespace

constinit const SettingsDialogTable kSpectrumAnalyzerDialog =
    CatalogueDialog("Spectrum Analyzer", kWidth, kHeight, kControls);

}  // namespace quor
