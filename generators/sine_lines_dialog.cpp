// The "Sine Lines" dialog: number of curves (the list shows lines - 1),
// half waves, the audio mode with its gain and one colour group per curve.
// Controls name only the members they use; GCC 12 warns about the rest of
// a designated initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <array>
#include <string_view>

#include "generators/generator_catalogue.h"
#include "generators/sine_lines.h"

namespace quor {
namespace {

using G = SineLinesGenerator;
constexpr std::array<std::string_view, 3> kLineNames = {"1", "2", "3"};
constexpr int kColorsTop = 7 + 4 * kDialogRowPitch - 2;
constexpr int kColorHeight = ColorGroupHeight(false);
constexpr int kHeight = FrameHeightFor(kColorsTop + 3 * (kColorHeight + 4) - 4);

template <int kCurve>
constexpr ColorField CurveColor() {
  return {[](const Generator& g) -> Rgb {
            const auto* p = dynamic_cast<const G*>(&g);
            return p != nullptr ? p->color(kCurve) : Rgb{};
          },
          [](Generator& g, Rgb color) {
            if (auto* p = dynamic_cast<G*>(&g)) p->SetColor(kCurve, color);
          }};
}

constexpr DialogControl kControls[] = {
    {.kind = ControlKind::kDropDown, .id = 1, .text = "Sine Lines", .rect = DialogRow(7), .mapping = ListPlusOne(),
     .field = MemberField<G, &G::lines, &G::SetLines>(), .items = kLineNames},
    {.kind = ControlKind::kSlider, .id = 2, .text = "Width", .rect = DialogRow(7 + kDialogRowPitch), .range = {1, 10},
     .field = MemberField<G, &G::waves, &G::SetWaves>()},
    {.kind = ControlKind::kCheckBox, .id = 3, .text = " Audio Trigger", .rect = DialogRow(7 + 2 * kDialogRowPitch, 12),
     .field = MemberField<G, &G::audio, &G::SetAudio>()},
    {.kind = ControlKind::kSlider, .id = 4, .text = "Gain", .rect = DialogRow(7 + 3 * kDialogRowPitch - 2),
     .range = {1, 50}, .field = MemberField<G, &G::gain, &G::SetGain>()},
    {.kind = ControlKind::kColorGroup, .id = 5, .text = "Sine Line 1 (LowBand)",
     .rect = DialogRow(kColorsTop, kColorHeight), .color = CurveColor<0>()},
    {.kind = ControlKind::kColorGroup, .id = 6, .text = "Sine Line 2 (MidBand)",
     .rect = DialogRow(kColorsTop + kColorHeight + 4, kColorHeight), .color = CurveColor<1>()},
    {.kind = ControlKind::kColorGroup, .id = 7, .text = "Sine Line 3 (HighBand)",
     .rect = DialogRow(kColorsTop + 2 * (kColorHeight + 4), kColorHeight), .color = CurveColor<2>()},
    {.kind = ControlKind::kPushButton, .id = 8, .text = kCloseText, .rect = CloseButtonRect(kHeight), .closes = true},
};

}  // namespace

constinit const SettingsDialogTable kSineLinesDialog =
    CatalogueDialog("Sine Lines", kDialogFrameWidth, kHeight, kControls);

}  // namespace quor
