// The "Starfield" dialog: star count (rebuilds), zoom, speed and the colour
// group.
// Controls name only the members they use; GCC 12 warns about the rest of
// a designated initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include "generators/generator_catalogue.h"
#include "generators/starfield.h"

namespace quor {
namespace {

using G = StarfieldGenerator;
constexpr int kColorTop = 7 + 3 * kDialogRowPitch;
constexpr int kHeight = FrameHeightFor(kColorTop + ColorGroupHeight(true));

constexpr DialogControl kControls[] = {
    {.kind = ControlKind::kSlider, .id = 1, .text = "Stars", .rect = DialogRow(7), .range = {10, 100},
     .field = MemberField<G, &G::stars, &G::SetStars>()},
    {.kind = ControlKind::kSlider, .id = 2, .text = "Zoom", .rect = DialogRow(7 + kDialogRowPitch), .range = {50, 150},
     .field = MemberField<G, &G::zoom, &G::SetZoom>()},
    {.kind = ControlKind::kSlider, .id = 3, .text = "Speed", .rect = DialogRow(7 + 2 * kDialogRowPitch),
     .range = {1, 20}, .field = MemberField<G, &G::speed, &G::SetSpeed>()},
    {.kind = ControlKind::kColorGroup, .id = 4, .rect = DialogRow(kColorTop, ColorGroupHeight(true)),
     .color = ColorGroupMember<G>()},
    {.kind = ControlKind::kPushButton, .id = 5, .text = kCloseText, .rect = CloseButtonRect(kHeight), .closes = true},
};

}  // namespace

constinit const SettingsDialogTable kStarfieldDialog =
    CatalogueDialog("Starfield", kDialogFrameWidth, kHeight, kControls);

}  // namespace quor
