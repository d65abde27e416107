// The "Scrolling Text" dialog in two columns: on the left the text with its
// font and style (group "Text"), size, position, scrolling mode and the
// alignment of several lines; on the right the sine wave, the perspective
// and the colour group.
// Controls name only the members they use; GCC 12 warns about the rest of
// a designated initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <array>
#include <string_view>

#include "generators/generator_catalogue.h"
#include "generators/scrolling_text.h"

namespace quor {
namespace {

using G = ScrollingTextGenerator;
constexpr std::array<std::string_view, 7> kFontNames = {"Arial",           "Comic Sans MS", "Courier New", "Tahoma",
                                                        "Times New Roman", "Verdana",       "Small Fonts"};
constexpr std::array<std::string_view, kScrollModeCount> kScrollNames = {
    "Right -> Left", "Left -> Right", "Right <-> Left", "Right <-> Left (inside)",
    "None/Center",   "Bottom -> Top", "Top -> Bottom"};
constexpr std::array<std::string_view, 3> kAlignNames = {"Left", "Center", "Right"};

constexpr int kLeft = kDialogMargin;
constexpr int kRight = kLeft + kDialogRowWidth + 10;
constexpr int kWidth = kRight + kDialogRowWidth + kDialogMargin;
constexpr int kTextHeight = 63;
constexpr int kSlidersTop = 7 + kTextHeight + 6;
constexpr int kAlignTop = kSlidersTop + 3 * kDialogRowPitch;
constexpr int kPerspectiveTop = 7 + 3 * kDialogRowPitch - 2;
constexpr int kColorTop = kPerspectiveTop + 3 * kDialogRowPitch;
constexpr int kHeight = FrameHeightFor(kColorTop + ColorGroupHeight(true));

constexpr ControlRect Row(int x, int top, int height = 14) { return {x, top, kDialogRowWidth, height}; }

constexpr DialogControl kControls[] = {
    {.kind = ControlKind::kGroupBox, .id = 1, .text = "Text", .rect = Row(kLeft, 7, kTextHeight)},
    {.kind = ControlKind::kTextBox, .id = 2, .rect = {12, 18, 156, 14}, .group = 1,
     .textField = MemberText<G, &G::text, &G::SetText>(), .maxLength = kScrollingTextMaxChars},
    {.kind = ControlKind::kTextDropDown, .id = 3, .text = "Font", .rect = {12, 36, 156, 14}, .group = 1,
     .textField = MemberText<G, &G::fontName, &G::SetFontName>(), .items = kFontNames},
    {.kind = ControlKind::kCheckBox, .id = 4, .text = "Bold", .rect = {12, 54, 46, 12}, .group = 1,
     .field = MemberField<G, &G::bold, &G::SetBold>()},
    {.kind = ControlKind::kCheckBox, .id = 5, .text = "Italic", .rect = {60, 54, 46, 12}, .group = 1,
     .field = MemberField<G, &G::italic, &G::SetItalic>()},
    {.kind = ControlKind::kCheckBox, .id = 6, .text = "AntiAliasing", .rect = {108, 54, 60, 12}, .group = 1,
     .field = MemberField<G, &G::antialias, &G::SetAntialias>()},
    {.kind = ControlKind::kSlider, .id = 7, .text = "Size", .rect = Row(kLeft, kSlidersTop), .range = {0, 100},
     .field = MemberField<G, &G::textSize, &G::SetSize>()},
    {.kind = ControlKind::kSlider, .id = 8, .text = "Pos", .rect = Row(kLeft, kSlidersTop + kDialogRowPitch),
     .range = {0, 100}, .field = MemberField<G, &G::pos, &G::SetPos>()},
    {.kind = ControlKind::kDropDown, .id = 9, .text = "Scrolling", .rect = Row(kLeft, kSlidersTop + 2 * kDialogRowPitch),
     .field = MemberField<G, &G::scrollMode, &G::SetScrollMode>(), .items = kScrollNames},
    {.kind = ControlKind::kLabel, .id = 10, .text = "Textalign for Multiline", .rect = {kLeft, kAlignTop + 3, 92, 10}},
    {.kind = ControlKind::kDropDown, .id = 11, .rect = {kLeft + 96, kAlignTop, kDialogRowWidth - 96, 14},
     .field = MemberField<G, &G::align, &G::SetAlign>(), .items = kAlignNames},
    {.kind = ControlKind::kCheckBox, .id = 12, .text = "Sine Wave", .rect = Row(kRight, 7, 12),
     .field = MemberField<G, &G::sineWave, &G::SetSineOn>()},
    {.kind = ControlKind::kSlider, .id = 13, .text = "Width", .rect = Row(kRight, 7 + 14), .range = {1, 10},
     .field = MemberField<G, &G::waveWidth, &G::SetWaveWidth>()},
    {.kind = ControlKind::kSlider, .id = 14, .text = "Height", .rect = Row(kRight, 7 + 14 + kDialogRowPitch),
     .range = {1, 50}, .field = MemberField<G, &G::waveHeight, &G::SetWaveHeight>()},
    {.kind = ControlKind::kCheckBox, .id = 15, .text = "Perspective", .rect = Row(kRight, kPerspectiveTop, 12),
     .field = MemberField<G, &G::perspective, &G::SetPerspectiveOn>()},
    {.kind = ControlKind::kSlider, .id = 16, .text = "Angle", .rect = Row(kRight, kPerspectiveTop + 14),
     .range = {0, 100}, .field = MemberField<G, &G::angle, &G::SetAngle>()},
    {.kind = ControlKind::kSlider, .id = 17, .text = "Fade", .rect = Row(kRight, kPerspectiveTop + 14 + kDialogRowPitch),
     .range = {0, 100}, .field = MemberField<G, &G::fade, &G::SetFade>()},
    {.kind = ControlKind::kColorGroup, .id = 18, .rect = Row(kRight, kColorTop, ColorGroupHeight(true)),
     .color = ColorGroupMember<G>()},
    {.kind = ControlKind::kPushButton, .id = 19, .text = kCloseText, .rect = {(kWidth - 50) / 2, kHeight - 21, 50, 14},
     .closes = true},
};

}  // namespace

constinit const SettingsDialogTable kScrollingTextDialog =
    CatalogueDialog("Scrolling Text", kWidth, kHeight, kControls);

}  // namespace quor
