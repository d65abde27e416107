// The "Simple Color" dialog: the colour group only.
// Controls name only the members they use; GCC 12 warns about the rest of
// a designated initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include "generators/generator_catalogue.h"
#include "generators/simple_color.h"

namespace quor {
namespace {

constexpr int kColorTop = 7;
constexpr int kHeight = FrameHeightFor(kColorTop + ColorGroupHeight(true));

constexpr DialogControl kControls[] = {
    {.kind = ControlKind::kColorGroup, .id = 1, .rect = DialogRow(kColorTop, ColorGroupHeight(true)),
     .color = ColorGroupMember<SimpleColorGenerator>()},
    {.kind = ControlKind::kPushButton, .id = 2, .text = kCloseText, .rect = CloseButtonRect(kHeight), .closes = true},
};

}  // namespace

constinit const SettingsDialogTable kSimpleColorDialog =
    CatalogueDialog("Simple Color", kDialogFrameWidth, kHeight, kControls);

}  // namespace quor
