// The "Plasma" dialog: style and palette lists, zoom and speed.
// Controls name only the members they use; GCC 12 warns about the rest of
// a designated initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include "generators/generator_catalogue.h"
#include "generators/plasma.h"

namespace quor {
namespace {

using G = PlasmaGenerator;
constexpr int kHeight = FrameHeightFor(7 + 4 * kDialogRowPitch);

constexpr DialogControl kControls[] = {
    {.kind = ControlKind::kDropDown, .id = 1, .text = "Style", .rect = DialogRow(7),
     .field = MemberField<G, &G::style, &G::SetStyle>(), .items = kPlasmaStyleNames},
    {.kind = ControlKind::kDropDown, .id = 2, .text = "Color Palette", .rect = DialogRow(7 + kDialogRowPitch),
     .field = MemberField<G, &G::palette, &G::SetPalette>(), .items = kPlasmaPaletteNames},
    {.kind = ControlKind::kSlider, .id = 3, .text = "Zoom", .rect = DialogRow(7 + 2 * kDialogRowPitch),
     .range = {1, 100}, .field = MemberField<G, &G::zoom, &G::SetZoom>()},
    {.kind = ControlKind::kSlider, .id = 4, .text = "Speed", .rect = DialogRow(7 + 3 * kDialogRowPitch),
     .range = {1, 100}, .field = MemberField<G, &G::speed, &G::SetSpeed>()},
    {.kind = ControlKind::kPushButton, .id = 5, .text = kCloseText, .rect = CloseButtonRect(kHeight), .closes = true},
};

}  // namespace

constinit const SettingsDialogTable kPlasmaDialog =
    CatalogueDialog("Plasma", kDialogFrameWidth, kHeight, kControls);

}  // namespace quor
