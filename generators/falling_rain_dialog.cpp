// The "Falling Rain" dialog: direction (group "Direction"), drops, tail
// length and the colour group.
// Controls name only the members they use; GCC 12 warns about the rest of
// a designated initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <array>
#include <string_view>

#include "generators/generator_catalogue.h"
#include "generators/falling_rain.h"

namespace quor {
namespace {

using G = FallingRainGenerator;
constexpr std::array<std::string_view, 4> kDirectionNames = {"Top -> Bottom", "Bottom -> Top", "Left -> Right",
                                                             "Right -> Left"};
constexpr int kSlidersTop = 7 + 32;
constexpr int kColorTop = kSlidersTop + 2 * kDialogRowPitch;
constexpr int kHeight = FrameHeightFor(kColorTop + ColorGroupHeight(true));

constexpr DialogControl kControls[] = {
    {.kind = ControlKind::kGroupBox, .id = 1, .text = "Direction", .rect = DialogRow(7, 28)},
    {.kind = ControlKind::kDropDown, .id = 2, .rect = {12, 18, 156, 14}, .group = 1,
     .field = MemberField<G, &G::direction, &G::SetDirection>(), .items = kDirectionNames},
    {.kind = ControlKind::kSlider, .id = 3, .text = "Drops", .rect = DialogRow(kSlidersTop), .range = {0, 100},
     .field = MemberField<G, &G::drops, &G::SetDrops>()},
    {.kind = ControlKind::kSlider, .id = 4, .text = "Length", .rect = DialogRow(kSlidersTop + kDialogRowPitch),
     .range = {0, 100}, .field = MemberField<G, &G::length, &G::SetLength>()},
    {.kind = ControlKind::kColorGroup, .id = 5, .rect = DialogRow(kColorTop, ColorGroupHeight(true)),
     .color = ColorGroupMember<G>()},
    {.kind = ControlKind::kPushButton, .id = 6, .text = kCloseText, .rect = CloseButtonRect(kHeight), .closes = true},
};

}  // namespace

constinit const SettingsDialogTable kFallingRainDialog =
    CatalogueDialog("Falling Rain", kDialogFrameWidth, kHeight, kControls);

}  // namespace quor
