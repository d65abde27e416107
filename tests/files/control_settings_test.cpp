// The control surfaces' settings in the side file: what is written reads
// back the same, and a damaged section is refused whole with a message
// naming the file and the field.
#include "files/control_settings.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <fstream>
#include <functional>

#include "files/side_file.h"
#include "test_support.h"

namespace quor {
namespace {

ControlSettings Full() {
  ControlSettings settings;
  settings.osc.enabled = true;
  settings.osc.listenAddress = {127, 0, 0, 1};
  settings.osc.port = 9001;
  settings.osc.feedback = Ipv4Endpoint{{192, 168, 1, 20}, 9000};
  settings.midi.enabled = true;
  settings.midi.inputPort = "Pad Controller:Pad Controller MIDI 1 24:0";
  settings.midi.outputPort = "Pad Controller:Pad Controller MIDI 1 24:0";
  settings.midi.mappings = {
      {{ControlId::kMasterLevel, 0}, {MidiSourceKind::kControlChange, 0, 7}, MidiButtonMode::kMomentary, 10, 200,
       true, false},
      {{ControlId::kStrobe, 0}, {MidiSourceKind::kNote, 9, 36}, MidiButtonMode::kToggle, 0, 1, false, true},
      {{ControlId::kSceneRecall, 9999}, {MidiSourceKind::kProgramChange, 15, 127}, MidiButtonMode::kMomentary, 0, 1,
       false, true},
  };
  return settings;
}

TEST(ControlSettings, RoundTripsThroughTheSideFile) {
  const std::string path = test::FreshTestDir("control_settings_trip") + "/show.qrx.json";
  ControlSettings off;  // the defaults: both inputs off, no feedback, no mappings
  for (const ControlSettings& settings : {Full(), off}) {
    ASSERT_FALSE(WriteSideSection(path, "resume", QJsonObject{{"scene", 2}}));
    ASSERT_FALSE(WriteControlSettings(path, settings));
    const ControlSettingsRead read = ReadControlSettings(path);
    EXPECT_EQ(read.problem, "");
    ASSERT_TRUE(read.settings);
    EXPECT_TRUE(*read.settings == settings);
    // The other sections stay.
    EXPECT_EQ(SideInt(SideSection(ReadSideFile(path), "resume"), "scene", 0, 9), 2);
  }
  // No side file, or one without the section: nothing, and no problem.
  EXPECT_FALSE(ReadControlSettings(path + ".none").settings);
  EXPECT_EQ(ReadControlSettings(path + ".none").problem, "");
  ASSERT_FALSE(WriteSideSection(path + ".other", "resume", QJsonObject{}));
  EXPECT_FALSE(ReadControlSettings(path + ".other").settings);
  EXPECT_EQ(ReadControlSettings(path + ".other").problem, "");
}

// Each row damages one field of a sound section; the whole section is refused.
TEST(ControlSettings, RefusesADamagedSectionWhole) {
  using Edit = std::function<void(QJsonObject& osc, QJsonObject& midi, QJsonArray& mappings)>;
  const auto mappingEdit = [](const char* key, QJsonValue value) -> Edit {
    return [key, value](QJsonObject&, QJsonObject&, QJsonArray& mappings) {
      QJsonObject first = mappings.at(0).toObject();
      first[key] = value;
      mappings[0] = first;
    };
  };
  const struct {
    const char* name;
    Edit edit;
    const char* reason;
  } rows[] = {
      {"port zero", [](QJsonObject& osc, QJsonObject&, QJsonArray&) { osc["port"] = 0; }, "\"port\""},
      {"port text", [](QJsonObject& osc, QJsonObject&, QJsonArray&) { osc["port"] = "7700"; }, "\"port\""},
      {"port huge", [](QJsonObject& osc, QJsonObject&, QJsonArray&) { osc["port"] = 70000; }, "\"port\""},
      {"enabled number", [](QJsonObject& osc, QJsonObject&, QJsonArray&) { osc["enabled"] = 1; }, "\"enabled\""},
      {"listen host name", [](QJsonObject& osc, QJsonObject&, QJsonArray&) { osc["listen"] = "localhost"; },
       "\"listen\""},
      {"feedback no port", [](QJsonObject& osc, QJsonObject&, QJsonArray&) { osc["feedback"] = "10.0.0.1"; },
       "\"feedback\""},
      {"midi port list", [](QJsonObject&, QJsonObject& midi, QJsonArray&) { midi["input"] = QJsonArray{}; },
       "\"input\""},
      {"midi port long",
       [](QJsonObject&, QJsonObject& midi, QJsonArray&) { midi["output"] = QString(300, 'x'); }, "\"output\""},
      {"unknown control", mappingEdit("control", "master/volume"), "master/volume"},
      {"scene past the last", mappingEdit("control", "scene/10001/recall"), "scene/10001/recall"},
      {"channel 0", mappingEdit("channel", 0), "\"channel\""},
      {"channel 17", mappingEdit("channel", 17), "\"channel\""},
      {"number 128", mappingEdit("number", 128), "\"number\""},
      {"source sysex", mappingEdit("source", "sysex"), "\"source\""},
      {"mode latch", mappingEdit("mode", "latch"), "\"mode\""},
      {"low below range", mappingEdit("low", -1), "\"low\""},
      {"high above range", mappingEdit("high", 256), "\"high\""},
      {"inverted text", mappingEdit("inverted", "yes"), "\"inverted\""},
      {"mapping not object", [](QJsonObject&, QJsonObject&, QJsonArray& mappings) { mappings.append(5); },
       "mapping 4"},
      {"same source twice",
       [](QJsonObject&, QJsonObject&, QJsonArray& mappings) {
         QJsonObject copy = mappings.at(0).toObject();
         copy["control"] = "master/gamma";
         copy["low"] = 1;
         copy["high"] = 500;
         mappings.append(copy);
       },
       "CC 7 ch 1 is mapped twice"},
      {"too many",
       [](QJsonObject&, QJsonObject&, QJsonArray& mappings) {
         while (mappings.size() <= kMaxMidiMappings) mappings.append(mappings.at(0));
       },
       "more than"},
      {"mappings object", [](QJsonObject&, QJsonObject& midi, QJsonArray&) { midi["mappings"] = QJsonObject{}; },
       "\"mappings\""},
  };
  const std::string dir = test::FreshTestDir("control_settings_refused");
  const QJsonObject sound = ControlSettingsToJson(Full());
  for (const auto& row : rows) {
    QJsonObject osc = sound["osc"].toObject();
    QJsonObject midi = sound["midi"].toObject();
    QJsonArray mappings = midi["mappings"].toArray();
    row.edit(osc, midi, mappings);
    if (!midi["mappings"].isObject()) midi["mappings"] = mappings;
    const std::string path = dir + "/show.qrx.json";
    ASSERT_FALSE(WriteSideSection(path, kControlsSection, QJsonObject{{"osc", osc}, {"midi", midi}})) << row.name;
    const ControlSettingsRead read = ReadControlSettings(path);
    EXPECT_FALSE(read.settings) << row.name;
    EXPECT_NE(read.problem.find(row.reason), std::string::npos) << row.name << ": " << read.problem;
    EXPECT_NE(read.problem.find(path), std::string::npos) << row.name;
  }
  // A section that is no object, and a file that is no JSON.
  const std::string path = dir + "/other.qrx.json";
  std::ofstream(path) << R"({"controls": [1, 2]})";
  EXPECT_NE(ReadControlSettings(path).problem.find("not an object"), std::string::npos);
  std::ofstream(path) << R"({"controls": )";
  EXPECT_FALSE(ReadControlSettings(path).settings);
  EXPECT_NE(ReadControlSettings(path).problem, "");
}

}  // namespace
}  // namespace quor
