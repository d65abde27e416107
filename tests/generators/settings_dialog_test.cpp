// Controls name only the members they use; GCC 12 warns about the rest of a designated initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/generator_registry.h"
#include "generators/generator_catalogue.h"
#include "test_support.h"

namespace quor {
namespace {

constexpr int kW = 32;
constexpr int kH = 16;

struct Live {
  explicit Live(int typeId) : generator(BuiltinGenerators().FactoryFor(typeId)(harness.context)) {
    EXPECT_TRUE(generator->Create(kW, kH)) << typeId;
  }
  ~Live() { generator->Destroy(); }
  test::GeneratorHarness harness;
  std::unique_ptr<Generator> generator;
};

bool HasPosition(const DialogControl& c) {
  return c.indicator == nullptr && (c.kind == ControlKind::kSlider || c.kind == ControlKind::kCheckBox ||
                                    c.kind == ControlKind::kDropDown || c.kind == ControlKind::kTextDropDown);
}

TEST(SettingsDialogs, EveryGeneratorHasASoundTableWithItsHelpTopic) {
  // The help file's topic numbers are fixed.
  const std::map<int, int> topics = {{1, 48},  {2, 49},  {3, 59},  {4, 58},  {5, 54},  {6, 55},  {7, 46},
                                     {8, 60},  {9, 50},  {10, 51}, {11, 61}, {13, 52}, {14, 47}, {15, 53},
                                     {16, 56}, {17, 63}, {18, 57}, {19, 67}};
  EXPECT_EQ(SettingsDialogFor(0), nullptr);  // None / Blackout opens nothing
  std::set<int> seen;
  for (int type = 1; type <= kMaxGeneratorType; ++type) {
    if (!BuiltinGenerators().IsRegistered(type) || type == 12) continue;  // Screen Capture has a frame window
    const SettingsDialogTable* dialogTable = SettingsDialogFor(type);
    ASSERT_NE(dialogTable, nullptr) << "type " << type << " has no dialog table: add generators/<name>_dialog.cpp";
    EXPECT_EQ(CheckSettingsDialog(*dialogTable), "");
    EXPECT_EQ(dialogTable->typeId, type) << "the catalogue row names another type's table";
    EXPECT_EQ(dialogTable->title, kEffectListTexts[static_cast<size_t>(EffectListPosition(type))]);
    EXPECT_EQ(dialogTable->helpTopic, topics.at(type)) << dialogTable->title;
    seen.insert(type);
  }
  for (const SettingsDialogTable* dialogTable : BuiltinSettingsDialogs()) EXPECT_TRUE(seen.contains(dialogTable->typeId));
}

TEST(SettingsDialogs, MappingsRoundTripTheirFieldsOverWholeRanges) {
  for (const SettingsDialogTable* dialogTable : BuiltinSettingsDialogs()) {
    Live live(dialogTable->typeId);
    Generator& g = *live.generator;
    for (const DialogControl& c : dialogTable->controls) {
      const std::string where = std::string(dialogTable->title) + " / " + std::string(c.text) + " #" + std::to_string(c.id);
      if (HasPosition(c)) {
        const PositionRange range = ControlRange(c);
        ASSERT_LE(range.first, range.last) << where;
        // Positions the control does not accept now leave it where it was.
        auto expected = [&](int p, int before) {
          const PositionRange accepted = AcceptedPositions(c, g);
          p = std::clamp(p, range.first, range.last);
          return p >= accepted.first && p <= accepted.last ? p : before;
        };
        for (int p = range.first; p <= range.last; ++p) {
          const int before = c.field.get != nullptr ? c.field.get(g) : 0;
          const int want = expected(p, ReadControlPosition(c, g, kW, kH));
          ApplyControlPosition(c, g, p);
          ASSERT_EQ(ReadControlPosition(c, g, kW, kH), want) << where << " position " << p;
          // The field holds what the mapping says (inverted and offset ones too), not merely something that reads back.
          if (c.field.get != nullptr) { EXPECT_EQ(c.field.get(g), ValueFromPosition(c.mapping, want, before)) << where; }
        }
        // Positions outside the range are taken at its ends.
        for (int p : {range.first - 7, range.last + 7}) {
          const int want = expected(p, ReadControlPosition(c, g, kW, kH));
          ApplyControlPosition(c, g, p);
          EXPECT_EQ(ReadControlPosition(c, g, kW, kH), want) << where;
        }
      } else if (c.kind == ControlKind::kColorGroup) {
        for (ColorChannel ch : {ColorChannel::kRed, ColorChannel::kGreen, ColorChannel::kBlue}) {
          for (int v = -4; v <= 300; ++v) {
            ApplyColorChannel(c, g, ch, v);
            ASSERT_EQ(ReadColorChannel(c, g, ch), std::clamp(v, 0, 255)) << where;
          }
        }
        ApplyColorChannel(c, g, ColorChannel::kGreen, 17);
        EXPECT_EQ(c.color.get(g), (Rgb{255, 17, 255})) << where;  // the other channels stay
        // {box, checked, mode}: the boxes drive one mode field.
        for (auto [sync, checked, mode] : {std::array{1, 1, 2}, {0, 0, 0}, {0, 1, 1}, {1, 1, 2}, {1, 0, 1}}) {
          if (c.color.getMode == nullptr) break;
          ApplyAutoColorBox(c, g, sync != 0 ? AutoColorBox::kAutoColorSync : AutoColorBox::kAutoColor, checked != 0);
          EXPECT_EQ(c.color.getMode(g), mode) << where;
        }
      } else if (c.kind == ControlKind::kTextBox) {
        ApplyControlText(c, g, "Hello");
        EXPECT_EQ(ReadControlText(c, g), "Hello") << where;
        ApplyControlText(c, g, std::string(400, 'x'));
        EXPECT_EQ(ReadControlText(c, g).size(), static_cast<size_t>(c.maxLength)) << where;
      } else if (c.kind == ControlKind::kAudioTriggerButton) {
        EXPECT_NE(c.trigger(g), nullptr) << where;
      }
    }
  }
}

TEST(SettingsDialogs, PositionMappingsAndAutoColorBoxes) {
  struct Case { PositionMapping mapping; int value, current, position, back; };
  const Case cases[] = {
      {kDirectMapping, 42, 0, 42, 42}, {ListPlusOne(), 1, 0, 0, 1}, {Inverted(100), 1, 0, 99, 1},
      {Inverted(129), 128, 0, 1, 128}, {Bit(4), 6, 6, 1, 6},        {Bit(8), 6, 6, 0, 6}};
  for (const Case& c : cases) {
    EXPECT_EQ(PositionFromValue(c.mapping, c.value), c.position) << c.value;
    EXPECT_EQ(ValueFromPosition(c.mapping, c.position, c.current), c.back) << c.value;
  }
  EXPECT_EQ(ValueFromPosition(Bit(8), 1, 6), 14);  // checking sets only its bit
  EXPECT_EQ(ValueFromPosition(Bit(2), 0, 7), 5);   // unchecking clears only its bit
  // Opening: " Autocolor" shows mode >= 1, " Autocolor Sync" mode >= 2.
  for (int mode = 0; mode <= 3; ++mode) {
    EXPECT_EQ(AutoColorBoxChecked(mode, AutoColorBox::kAutoColor), mode >= 1);
    EXPECT_EQ(AutoColorBoxChecked(mode, AutoColorBox::kAutoColorSync), mode >= 2);
  }
}

void WriteRecording(const std::string& path, char version, int w, int h) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write("QRR!\0", 5).put(version);
  for (int word : {w, h, 25})
    for (int shift = 0; shift < 32; shift += 8) out.put(static_cast<char>((word >> shift) & 0xff));
  out.write("QX\0", 3);
  out << std::string(static_cast<size_t>(w) * h * 3, '\x40');
}

TEST(SettingsDialogs, EnableRulesFollowTheControlsAndTheFile) {
  {
    const SettingsDialogTable& dialogTable = kSimpleLinesDialog;
    Live live(dialogTable.typeId);
    for (int m = 0; m <= 4; ++m) {
      ApplyControlPosition(*FindControl(dialogTable, 2), *live.generator, m);
      for (const DialogControl& c : dialogTable.controls) {
        bool expected = true;
        if (c.text == "Line/Snake Count") expected = m == 2 || m == 4;
        if (c.id == 5 || c.group == 5) expected = m == 3;  // the "Spotlights" group and its members
        EXPECT_EQ(ControlEnabled(dialogTable, c, *live.generator, kW, kH), expected) << "mode " << m << " " << c.text;
      }
    }
  }
  {
    const SettingsDialogTable& dialogTable = kFilePlayerDialog;
    Live live(dialogTable.typeId);
    Generator& g = *live.generator;
    const DialogControl &chooser = *FindControl(dialogTable, 2), &resolution = *FindControl(dialogTable, 4),
                        &resize = *FindControl(dialogTable, 5), &smooth = *FindControl(dialogTable, 6);
    const std::string dir = test::FreshTestDir("settings_dialog");
    struct Case { const char* name; char version; int w, h; const char *message, *label; bool differs; };
    const Case cases[] = {  // differs: resize checked and smooth enabled
        {"same.qrr", '1', kW, kH, "", "File Resolution: 32 x 16", false},
        {"small.qrr", '1', 16, 8, "", "File Resolution: 16 x 8", true},
        {"v2.qrr", '2', kW, kH, "Wrong File Version.", "File Resolution: 0 x 0", true}};
    for (const Case& c : cases) {
      const std::string path = dir + "/" + c.name;
      WriteRecording(path, c.version, c.w, c.h);
      EXPECT_EQ(chooser.load(g, path), c.message) << c.name;
      EXPECT_EQ(resolution.label(g, kW, kH), c.label) << c.name;
      EXPECT_EQ(ReadControlText(chooser, g), *c.message == '\0' ? path : "") << c.name;
      EXPECT_EQ(ReadControlPosition(resize, g, kW, kH), c.differs ? 1 : 0) << c.name;
      EXPECT_FALSE(ControlEnabled(dialogTable, resize, g, kW, kH));  // an indicator only
      EXPECT_EQ(ControlEnabled(dialogTable, smooth, g, kW, kH), c.differs) << c.name;
    }
    ApplyControlPosition(resize, g, 0);  // an indicator ignores the user
    EXPECT_EQ(ReadControlPosition(resize, g, kW, kH), 1);
  }
}

TEST(SettingsDialogs, CheckNamesTheMistakesATableCanMake) {
  static constexpr std::string_view kItems[] = {"a"};
  const IntField field = kSimpleLinesDialog.controls[2].field;
  const DialogControl close{.kind = ControlKind::kPushButton, .id = 9, .text = kCloseText,
                            .rect = {60, 60, 50, 14}, .closes = true};
  auto check = [&](DialogControl control, bool withClose = true) {
    const std::vector<DialogControl> controls =
        withClose ? std::vector<DialogControl>{control, close} : std::vector<DialogControl>{control};
    return CheckSettingsDialog({.typeId = 4, .title = "T", .helpTopic = 1, .width = 180, .height = 80,
                                .controls = controls});
  };
  const DialogControl good{.kind = ControlKind::kDropDown, .id = 1, .rect = {7, 7, 100, 14}, .field = field,
                           .items = kItems};
  EXPECT_EQ(check(good), "");
  EXPECT_NE(check(good, false).find("Close"), std::string::npos);
  DialogControl bad = good;
  bad.rect.width = 200, bad.enable = EnabledWhen(3, {1});
  EXPECT_NE(check(bad).find("outside the frame"), std::string::npos);
  bad.rect = good.rect;
  EXPECT_NE(check(bad).find("missing control"), std::string::npos);
}

}  // namespace
}  // namespace quor
