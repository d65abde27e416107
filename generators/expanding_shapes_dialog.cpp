// The "Expanding Shapes" dialog: shape (group "Shape"), count, start and end
// sizes (the "End" trackbar shows end - start), fading, the audio trigger,
// the text and font of "Text / Chars" and the colour group.
// Controls name only the members they use; GCC 12 warns about the rest of
// a designated initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <array>
#include <string_view>

#include "generators/generator_catalogue.h"
#include "generators/expanding_shapes.h"

namespace quor {
namespace {

using G = ExpandingShapesGenerator;
constexpr std::array<std::string_view, 10> kShapeNames = {
    "Open Rectangle", "Filled Rectangle", "Open Circle", "Filled Circle", "Open Diamond",
    "Filled Diamond", "Simple Star",      "Open 5-Star", "Filled 5-Star", "Text / Chars"};
constexpr std::array<std::string_view, 8> kFontNames = {"Arial",           "Comic Sans MS", "Courier New", "Tahoma",
                                                        "Times New Roman", "Verdana",       "Wingdings",   "Webdings"};
constexpr int kSlidersTop = 7 + 32;
constexpr int kFadeTop = kSlidersTop + 3 * kDialogRowPitch;
constexpr int kTriggerTop = kFadeTop + 16;
constexpr int kTextTop = kTriggerTop + 18;
constexpr int kTextHeight = 77;
constexpr int kColorTop = kTextTop + kTextHeight + 4;
constexpr int kHeight = FrameHeightFor(kColorTop + ColorGroupHeight(true));

constexpr DialogControl kControls[] = {
    {.kind = ControlKind::kGroupBox, .id = 1, .text = "Shape", .rect = DialogRow(7, 28)},
    {.kind = ControlKind::kDropDown, .id = 2, .rect = {12, 18, 156, 14}, .group = 1,
     .field = MemberField<G, &G::shape, &G::SetShape>(), .items = kShapeNames},
    {.kind = ControlKind::kSlider, .id = 3, .text = "Count", .rect = DialogRow(kSlidersTop), .range = {1, 100},
     .field = MemberField<G, &G::count, &G::SetCount>()},
    {.kind = ControlKind::kSlider, .id = 4, .text = "Start", .rect = DialogRow(kSlidersTop + kDialogRowPitch),
     .range = {1, 100}, .field = MemberField<G, &G::start, &G::SetStart>()},
    {.kind = ControlKind::kSlider, .id = 5, .text = "End", .rect = DialogRow(kSlidersTop + 2 * kDialogRowPitch),
     .range = {1, 200}, .field = MemberField<G, &G::endOffset, &G::SetEndOffset>()},
    {.kind = ControlKind::kCheckBox, .id = 6, .text = " Fade out on expanding", .rect = DialogRow(kFadeTop, 12),
     .field = MemberField<G, &G::fade, &G::SetFade>()},
    {.kind = ControlKind::kCheckBox, .id = 7, .text = " Audio Trigger", .rect = {7, kTriggerTop, 100, 12},
     .field = MemberField<G, &G::audioTrigger, &G::SetAudioTrigger>()},
    {.kind = ControlKind::kAudioTriggerButton, .id = 8, .text = "Setup", .rect = {123, kTriggerTop - 1, 50, 14},
     .trigger = [](Generator& g) -> AudioTrigger* {
       auto* p = dynamic_cast<G*>(&g);
       return p != nullptr ? &p->trigger() : nullptr;
     }},
    {.kind = ControlKind::kGroupBox, .id = 9, .text = "Text / Chars", .rect = DialogRow(kTextTop, kTextHeight)},
    {.kind = ControlKind::kTextBox, .id = 10, .rect = {12, kTextTop + 11, 156, 14}, .group = 9,
     .textField = MemberText<G, &G::text, &G::SetText>(), .maxLength = static_cast<int>(G::kMaxDialogTextLength)},
    {.kind = ControlKind::kTextDropDown, .id = 11, .text = "Font", .rect = {12, kTextTop + 29, 156, 14}, .group = 9,
     .textField = MemberText<G, &G::fontName, &G::SetFont>(), .items = kFontNames},
    {.kind = ControlKind::kCheckBox, .id = 12, .text = "Bold", .rect = {12, kTextTop + 47, 46, 12}, .group = 9,
     .field = MemberField<G, &G::bold, &G::SetBold>()},
    {.kind = ControlKind::kCheckBox, .id = 13, .text = "Italic", .rect = {60, kTextTop + 47, 46, 12}, .group = 9,
     .field = MemberField<G, &G::italic, &G::SetItalic>()},
    {.kind = ControlKind::kCheckBox, .id = 14, .text = "AntiAliasing", .rect = {108, kTextTop + 47, 60, 12},
     .group = 9, .field = MemberField<G, &G::antialias, &G::SetAntialias>()},
    {.kind = ControlKind::kCheckBox, .id = 15, .text = "Use given chars in random order",
     .rect = {12, kTextTop + 61, 156, 12}, .group = 9,
     .field = MemberField<G, &G::randomCharacters, &G::SetRandomCharacters>()},
    {.kind = ControlKind::kColorGroup, .id = 16, .rect = DialogRow(kColorTop, ColorGroupHeight(true)),
     .color = ColorGroupMember<G>()},
    {.kind = ControlKind::kPushButton, .id = 17, .text = kCloseText, .rect = CloseButtonRect(kHeight), .closes = true},
};

}  // namespace

constinit const SettingsDialogTable kExpandingShapesDialog =
    CatalogueDialog("Expanding Shapes", kDialogFrameWidth, kHeight, kControls);

}  // namespace quor
