// The "Color Scroll" dialog: style and palette lists, direction, zoom (the
// trackbar shows 100 - zoom) and speed.
// Controls name only the members they use; GCC 12 warns about the rest of
// a designated initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include "generators/generator_catalogue.h"
#include "generators/color_scroll.h"

namespace quor {
namespace {

using G = ColorScrollGenerator;
constexpr int kHeight = FrameHeightFor(7 + 5 * kDialogRowPitch);

constexpr DialogControl kControls[] = {
    {.kind = ControlKind::kDropDown, .id = 1, .text = "Style", .rect = DialogRow(7),
     .field = MemberField<G, &G::style, &G::SetStyle>(), .items = kColorScrollStyleNames},
    {.kind = ControlKind::kDropDown, .id = 2, .text = "Color Palette", .rect = DialogRow(7 + kDialogRowPitch),
     .field = MemberField<G, &G::palette, &G::SetPalette>(), .items = kColorScrollPaletteNames},
    {.kind = ControlKind::kCheckBox, .id = 3, .text = " Reverse Direction", .rect = DialogRow(7 + 2 * kDialogRowPitch, 12),
     .field = MemberField<G, &G::ReverseChecked, &G::SetReverseChecked>()},
    {.kind = ControlKind::kSlider, .id = 4, .text = "Zoom", .rect = DialogRow(7 + 3 * kDialogRowPitch),
     .range = {0, 99}, .mapping = Inverted(100),
     .field = {[](const Generator& g) -> int {
                 const auto* p = dynamic_cast<const G*>(&g);
                 return p != nullptr ? p->zoom() : 0;
               },
               [](Generator& g, int zoom) {
                 if (auto* p = dynamic_cast<G*>(&g)) p->SetZoomPosition(100 - zoom);
               }}},
    {.kind = ControlKind::kSlider, .id = 5, .text = "Speed", .rect = DialogRow(7 + 4 * kDialogRowPitch),
     .range = {1, 20}, .field = MemberField<G, &G::speed, &G::SetSpeed>()},
    {.kind = ControlKind::kPushButton, .id = 6, .text = kCloseText, .rect = CloseButtonRect(kHeight), .closes = true},
};

}  // namespace

constinit const SettingsDialogTable kColorScrollDialog =
    CatalogueDialog("Color Scroll", kDialogFrameWidth, kHeight, kControls);

}  // namespace quor
