// The "Metaballs" dialog: ball count and size (each rebuilds), collision
// and the colour group.
// Controls name only the members they use; GCC 12 warns about the rest of
// a designated initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include "generators/generator_catalogue.h"
#include "generators/metaballs.h"

namespace quor {
namespace {

using G = MetaballsGenerator;
constexpr int kColorTop = 7 + 3 * kDialogRowPitch;
constexpr int kHeight = FrameHeightFor(kColorTop + ColorGroupHeight(true));

constexpr DialogControl kControls[] = {
    {.kind = ControlKind::kSlider, .id = 1, .text = "Balls", .rect = DialogRow(7), .range = {0, 100},
     .field = MemberField<G, &G::balls, &G::SetBalls>()},
    {.kind = ControlKind::kSlider, .id = 2, .text = "Size", .rect = DialogRow(7 + kDialogRowPitch), .range = {1, 100},
     .field = MemberField<G, &G::size, &G::SetSize>()},
    {.kind = ControlKind::kCheckBox, .id = 3, .text = " Collision Detection",
     .rect = DialogRow(7 + 2 * kDialogRowPitch, 12), .field = MemberField<G, &G::collision, &G::SetCollision>()},
    {.kind = ControlKind::kColorGroup, .id = 4, .rect = DialogRow(kColorTop, ColorGroupHeight(true)),
     .color = ColorGroupMember<G>()},
    {.kind = ControlKind::kPushButton, .id = 5, .text = kCloseText, .rect = CloseButtonRect(kHeight), .closes = true},
};

}  // namespace

constinit const SettingsDialogTable kMetaballsDialog =
    CatalogueDialog("Metaballs", kDialogFrameWidth, kHeight, kControls);

}  // namespace quor
