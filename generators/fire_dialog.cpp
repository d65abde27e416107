// The "Fire" dialog: hot spot count and size (the list shows size - 1).
// Controls name only the members they use; GCC 12 warns about the rest of
// a designated initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <array>
#include <string_view>

#include "generators/generator_catalogue.h"
#include "generators/fire.h"

namespace quor {
namespace {

using G = FireGenerator;
constexpr std::array<std::string_view, 3> kSizeNames = {"Small", "Medium", "Big"};
constexpr int kHeight = FrameHeightFor(7 + 2 * kDialogRowPitch);

constexpr DialogControl kControls[] = {
    {.kind = ControlKind::kSlider, .id = 1, .text = "Hotspots", .rect = DialogRow(7), .range = {0, 100},
     .field = MemberField<G, &G::hotspots, &G::SetHotspots>()},
    {.kind = ControlKind::kDropDown, .id = 2, .text = "Hotspot Size", .rect = DialogRow(7 + kDialogRowPitch),
     .mapping = ListPlusOne(), .field = MemberField<G, &G::hotspotSize, &G::SetHotspotSize>(), .items = kSizeNames},
    {.kind = ControlKind::kPushButton, .id = 3, .text = kCloseText, .rect = CloseButtonRect(kHeight), .closes = true},
};

}  // namespace

constinit const SettingsDialogTable kFireDialog =
    CatalogueDialog("Fire", kDialogFrameWidth, kHeight, kControls);

}  // namespace quor
