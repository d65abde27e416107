// The "Fading Pixels" dialog: count, fade (the trackbar shows 129 - fade,
// strongest fade on the left), size, random colours and the colour group.
// Controls name only the members they use; GCC 12 warns about the rest of
// a designated initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include "generators/generator_catalogue.h"
#include "generators/fading_pixels.h"

namespace quor {
namespace {

using G = FadingPixelsGenerator;
constexpr int kColorTop = 7 + 4 * kDialogRowPitch;
constexpr int kHeight = FrameHeightFor(kColorTop + ColorGroupHeight(true));

constexpr DialogControl kControls[] = {
    {.kind = ControlKind::kSlider, .id = 1, .text = "Count", .rect = DialogRow(7), .range = {0, 100},
     .field = MemberField<G, &G::count, &G::SetCount>()},
    {.kind = ControlKind::kSlider, .id = 2, .text = "Fade", .rect = DialogRow(7 + kDialogRowPitch),
     .range = {G::kMinFade, G::kMaxFade}, .mapping = Inverted(G::kMaxFade + 1),
     .field = MemberField<G, &G::fade, &G::SetFade>()},
    {.kind = ControlKind::kSlider, .id = 3, .text = "Size", .rect = DialogRow(7 + 2 * kDialogRowPitch),
     .range = {0, G::kMaxSize}, .field = MemberField<G, &G::size, &G::SetSize>()},
    {.kind = ControlKind::kCheckBox, .id = 4, .text = " Randomize Pixel Color",
     .rect = DialogRow(7 + 3 * kDialogRowPitch, 12), .field = MemberField<G, &G::randomColor, &G::SetRandomColor>()},
    {.kind = ControlKind::kColorGroup, .id = 5, .rect = DialogRow(kColorTop, ColorGroupHeight(true)),
     .color = ColorGroupMember<G>()},
    {.kind = ControlKind::kPushButton, .id = 6, .text = kCloseText, .rect = CloseButtonRect(kHeight), .closes = true},
};

}  // namespace

constinit const SettingsDialogTable kFadingPixelsDialog =
    CatalogueDialog("Fading Pixels", kDialogFrameWidth, kHeight, kControls);

}  // namespace quor
