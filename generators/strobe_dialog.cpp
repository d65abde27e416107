// The "Strobe" dialog: on and off times, the audio trigger and the colour.
// Controls name only the members they use; GCC 12 warns about the rest of
// a designated initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include "generators/generator_catalogue.h"
#include "generators/strobe.h"

namespace quor {
namespace {

using G = StrobeGenerator;
constexpr int kColorTop = 7 + 3 * kDialogRowPitch;
constexpr int kHeight = FrameHeightFor(kColorTop + ColorGroupHeight(true));

constexpr DialogControl kControls[] = {
    {.kind = ControlKind::kSlider, .id = 1, .text = "Time 1", .rect = DialogRow(7), .range = {1, 25},
     .field = MemberField<G, &G::timeOn, &G::SetTimeOn>()},
    {.kind = ControlKind::kSlider, .id = 2, .text = "Time 2", .rect = DialogRow(7 + kDialogRowPitch), .range = {1, 25},
     .field = MemberField<G, &G::timeOff, &G::SetTimeOff>()},
    {.kind = ControlKind::kCheckBox, .id = 3, .text = " Audio Trigger", .rect = {7, 7 + 2 * kDialogRowPitch, 100, 12},
     .field = MemberField<G, &G::AudioTriggerChecked, &G::SetAudioTriggerChecked>()},
    {.kind = ControlKind::kAudioTriggerButton, .id = 4, .text = "Setup", .rect = {123, 7 + 2 * kDialogRowPitch, 50, 14},
     .trigger = [](Generator& g) -> AudioTrigger* {
       auto* p = dynamic_cast<G*>(&g);
       return p != nullptr ? &p->audioTrigger() : nullptr;
     }},
    {.kind = ControlKind::kColorGroup, .id = 5, .rect = DialogRow(kColorTop, ColorGroupHeight(true)),
     .color = ColorGroupMember<G>()},
    {.kind = ControlKind::kPushButton, .id = 6, .text = kCloseText, .rect = CloseButtonRect(kHeight), .closes = true},
};

}  // namespace

constinit const SettingsDialogTable kStrobeDialog =
    CatalogueDialog("Strobe", kDialogFrameWidth, kHeight, kControls);

}  // namespace quor
