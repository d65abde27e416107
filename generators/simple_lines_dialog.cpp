// The "Simple Lines" dialog: mode (group "Mode"), fade, the line/snake count
// (only for "Dancing Lines" and "Dancing Snakes"), the "Spotlights" group
// (only for "Spotlights") and the colour group.
// Controls name only the members they use; GCC 12 warns about the rest of
// a designated initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <array>
#include <string_view>

#include "generators/generator_catalogue.h"
#include "generators/simple_lines.h"

namespace quor {
namespace {

using G = SimpleLinesGenerator;
constexpr std::array<std::string_view, 5> kModeNames = {"Cross", "Rectangular", "Dancing Lines", "Spotlights",
                                                        "Dancing Snakes"};
constexpr std::array<std::string_view, 5> kCountNames = {"1", "2", "3", "4", "5"};
constexpr int kModeList = 2;
constexpr int kFadeTop = 7 + 32;
constexpr int kCountTop = kFadeTop + kDialogRowPitch;
constexpr int kSpotTop = kCountTop + kDialogRowPitch;
constexpr int kSpotHeight = 75;
constexpr int kColorTop = kSpotTop + kSpotHeight + 4;
constexpr int kHeight = FrameHeightFor(kColorTop + ColorGroupHeight(true));
constexpr IntField kCorners = MemberField<G, &G::corners, &G::SetCorners>();

constexpr DialogControl kControls[] = {
    {.kind = ControlKind::kGroupBox, .id = 1, .text = "Mode", .rect = DialogRow(7, 28)},
    {.kind = ControlKind::kDropDown, .id = kModeList, .rect = {12, 18, 156, 14}, .group = 1,
     .field = MemberField<G, &G::mode, &G::SetMode>(), .items = kModeNames},
    {.kind = ControlKind::kSlider, .id = 3, .text = "Fade", .rect = DialogRow(kFadeTop), .range = {0, 100},
     .field = MemberField<G, &G::fade, &G::SetFade>()},
    {.kind = ControlKind::kDropDown, .id = 4, .text = "Line/Snake Count", .rect = DialogRow(kCountTop),
     .mapping = ListPlusOne(), .field = MemberField<G, &G::count, &G::SetCount>(), .items = kCountNames,
     .enable = EnabledWhen(kModeList, {G::kDancingLines, G::kDancingSnakes})},
    {.kind = ControlKind::kGroupBox, .id = 5, .text = "Spotlights", .rect = DialogRow(kSpotTop, kSpotHeight),
     .enable = EnabledWhen(kModeList, {G::kSpotlights})},
    {.kind = ControlKind::kCheckBox, .id = 6, .text = " Left-Top", .rect = {12, kSpotTop + 11, 76, 12}, .group = 5,
     .mapping = Bit(G::kLeftTop), .field = kCorners},
    {.kind = ControlKind::kCheckBox, .id = 7, .text = " Right-Top", .rect = {92, kSpotTop + 11, 76, 12}, .group = 5,
     .mapping = Bit(G::kRightTop), .field = kCorners},
    {.kind = ControlKind::kCheckBox, .id = 8, .text = " Left-Bottom", .rect = {12, kSpotTop + 25, 76, 12},
     .group = 5, .mapping = Bit(G::kLeftBottom), .field = kCorners},
    {.kind = ControlKind::kCheckBox, .id = 9, .text = " Right-Bottom", .rect = {92, kSpotTop + 25, 76, 12},
     .group = 5, .mapping = Bit(G::kRightBottom), .field = kCorners},
    {.kind = ControlKind::kSlider, .id = 10, .text = "Beam", .rect = {12, kSpotTop + 39, 156, 14}, .group = 5,
     .range = {20, 60}, .field = MemberField<G, &G::beam, &G::SetBeam>()},
    {.kind = ControlKind::kSlider, .id = 11, .text = "Phase", .rect = {12, kSpotTop + 57, 156, 14}, .group = 5,
     .range = {0, 180}, .field = MemberField<G, &G::phase, &G::SetPhase>()},
    {.kind = ControlKind::kColorGroup, .id = 12, .rect = DialogRow(kColorTop, ColorGroupHeight(true)),
     .color = ColorGroupMember<G>()},
    {.kind = ControlKind::kPushButton, .id = 13, .text = kCloseText, .rect = CloseButtonRect(kHeight), .closes = true},
};

}  // namespace

constinit const SettingsDialogTable kSimpleLinesDialog =
    CatalogueDialog("Simple Lines", kDialogFrameWidth, kHeight, kControls);

}  // namespace quor
