// The "Radar/Scan Lines" dialog: direction (group "Direction"), band width,
// trail fade, offset and the colour group.
// Controls name only the members they use; GCC 12 warns about the rest of
// a designated initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <array>
#include <string_view>

#include "generators/generator_catalogue.h"
#include "generators/radar.h"

namespace quor {
namespace {

using G = RadarGenerator;
constexpr std::array<std::string_view, 6> kModeNames = {"Left -> Right", "Right -> Left", "Left <-> Right",
                                                        "Top -> Bottom", "Bottom -> Top", "Bottom <-> Top"};
constexpr int kSlidersTop = 7 + 32;
constexpr int kColorTop = kSlidersTop + 3 * kDialogRowPitch;
constexpr int kHeight = FrameHeightFor(kColorTop + ColorGroupHeight(true));

constexpr DialogControl kControls[] = {
    {.kind = ControlKind::kGroupBox, .id = 1, .text = "Direction", .rect = DialogRow(7, 28)},
    {.kind = ControlKind::kDropDown, .id = 2, .rect = {12, 18, 156, 14}, .group = 1,
     .field = MemberField<G, &G::mode, &G::SetMode>(), .items = kModeNames},
    {.kind = ControlKind::kSlider, .id = 3, .text = "Width", .rect = DialogRow(kSlidersTop), .range = {0, 100},
     .field = MemberField<G, &G::bandWidth, &G::SetBandWidth>()},
    {.kind = ControlKind::kSlider, .id = 4, .text = "Fade", .rect = DialogRow(kSlidersTop + kDialogRowPitch),
     .range = {0, 100}, .field = MemberField<G, &G::fade, &G::SetFade>()},
    {.kind = ControlKind::kSlider, .id = 5, .text = "Offset", .rect = DialogRow(kSlidersTop + 2 * kDialogRowPitch),
     .range = {0, 100}, .field = MemberField<G, &G::offset, &G::SetOffset>()},
    {.kind = ControlKind::kColorGroup, .id = 6, .rect = DialogRow(kColorTop, ColorGroupHeight(true)),
     .color = ColorGroupMember<G>()},
    {.kind = ControlKind::kPushButton, .id = 7, .text = kCloseText, .rect = CloseButtonRect(kHeight), .closes = true},
};

}  // namespace

constinit const SettingsDialogTable kRadarDialog =
    CatalogueDialog("Radar/Scan Lines", kDialogFrameWidth, kHeight, kControls);

}  // namespace quor
