// The control surfaces open at start-up as the side file keeps them (the
// command line still wins for OSC), follow a project that is opened, go
// along with a Save As, and a damaged section changes nothing.
#include "engine/control_inputs.h"

#include <gtest/gtest.h>

#include <fstream>

#include "engine/lifecycle.h"
#include "files/side_file.h"
#include "test_support.h"
#include "tests/engine/started_lifecycle.h"

namespace quor {
namespace {

using Running = test::StartedLifecycle;

ControlSettings OscOn(int port, std::optional<Ipv4Endpoint> feedback = std::nullopt) {
  ControlSettings settings;
  settings.osc.enabled = true;
  settings.osc.listenAddress = {127, 0, 0, 1};
  settings.osc.port = port;
  settings.osc.feedback = feedback;
  return settings;
}

TEST(ControlsLifecycle, StartOpensTheKeptInputsAndTheCommandLineWins) {
  const std::string dir = test::FreshTestDir("controls_start");
  const int kept = test::FreeLoopbackPort();
  const Ipv4Endpoint feedback{{127, 0, 0, 1}, 9999};
  ControlSettings settings = OscOn(kept, feedback);
  settings.midi.enabled = true;
  settings.midi.mappings.push_back(
      {{ControlId::kMasterLevel, 0}, {MidiSourceKind::kControlChange, 0, 7}, MidiButtonMode::kMomentary, 0, 255, false,
       false});
  ASSERT_FALSE(WriteControlSettings(dir + "/autosave.dat.json", settings));
  {
    Running run(dir, {});
    ASSERT_FALSE(run.lifecycle.Start());
    // The kept MIDI mapping moves the master level.
    EXPECT_EQ(run.engine.midi().Settings(), settings.midi);
    const uint8_t cc[] = {0xB0, 7, 127};
    run.engine.midi().Inject(cc);
    EXPECT_EQ(run.engine.ControlValue({ControlId::kMasterLevel, 0}), 255);
    EXPECT_EQ(run.lifecycle.controlSettingsPath(), dir + "/autosave.dat.json");
    EXPECT_TRUE(run.engine.osc().IsOpen());
    EXPECT_EQ(run.engine.osc().LocalPort(), kept);
    EXPECT_EQ(run.engine.oscSettings().feedback, feedback);
    EXPECT_EQ(run.lifecycle.Finish(), 0);
  }
  {
    const int asked = test::FreeLoopbackPort();
    Running run(dir, {"--osc=127.0.0.1:" + std::to_string(asked)});
    ASSERT_FALSE(run.lifecycle.Start());
    EXPECT_EQ(run.engine.osc().LocalPort(), asked);
    EXPECT_EQ(run.engine.oscSettings().feedback, feedback);  // not overridden
    EXPECT_EQ(run.lifecycle.Finish(), 0);
    // The override is for this run: the kept settings stay.
    EXPECT_TRUE(ReadControlSettings(dir + "/autosave.dat.json").settings == settings);
  }
}

TEST(ControlsLifecycle, DamagedSectionIsReportedAndChangesNothing) {
  const std::string dir = test::FreshTestDir("controls_damaged");
  const std::string side = dir + "/autosave.dat.json";
  std::ofstream(side) << R"({"controls": {"osc": {"enabled": true, "listen": "0.0.0.0", "port": 0, "feedback": ""},
                            "midi": {"enabled": false, "input": "", "output": "", "mappings": []}}})";
  const QJsonObject before = SideSection(ReadSideFile(side), kControlsSection);
  ASSERT_FALSE(before.isEmpty());
  Running run(dir, {});
  ASSERT_FALSE(run.lifecycle.Start());
  EXPECT_FALSE(run.engine.osc().IsOpen());
  const std::vector<Failure> errors = run.engine.changes().Drain().errors;
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].message.find(side), std::string::npos) << errors[0].message;
  EXPECT_NE(errors[0].message.find("\"port\""), std::string::npos) << errors[0].message;
  EXPECT_EQ(run.lifecycle.Finish(), 0);
  EXPECT_EQ(SideSection(ReadSideFile(side), kControlsSection), before);
}

TEST(ControlsLifecycle, InputsFollowAnOpenedProjectAndGoAlongWithASaveAs) {
  const std::string dir = test::FreshTestDir("controls_follow");
  const int first = test::FreeLoopbackPort(), second = test::FreeLoopbackPort();
  ASSERT_FALSE(WriteControlSettings(dir + "/autosave.dat.json", OscOn(first)));
  ASSERT_FALSE(WriteControlSettings(dir + "/b.qrx.json", OscOn(second)));
  Running run(dir, {});
  ASSERT_FALSE(run.lifecycle.Start());
  EXPECT_EQ(run.engine.osc().LocalPort(), first);
  // File > Open of b.qrx.
  run.lifecycle.FollowProject(dir + "/b.qrx");
  run.lifecycle.FollowControlSettings();
  run.lifecycle.KeepResumeState();
  EXPECT_EQ(run.engine.osc().LocalPort(), second);
  EXPECT_TRUE(ReadControlSettings(dir + "/autosave.dat.json").settings == OscOn(first));
  // File > Open of a project without kept settings leaves the inputs alone.
  run.lifecycle.FollowProject(dir + "/plain.qrx");
  run.lifecycle.FollowControlSettings();
  EXPECT_EQ(run.engine.osc().LocalPort(), second);
  EXPECT_FALSE(ReadControlSettings(dir + "/plain.qrx.json").settings);
  // File > Save As from b.qrx to c.qrx: c's side file gets b's settings.
  run.lifecycle.FollowProject(dir + "/b.qrx");
  run.lifecycle.FollowControlSettings();
  run.lifecycle.FollowProject(dir + "/c.qrx");
  run.lifecycle.KeepResumeState();
  EXPECT_TRUE(ReadControlSettings(dir + "/c.qrx.json").settings == OscOn(second));
  EXPECT_EQ(run.lifecycle.Finish(), 0);
}

}  // namespace
}  // namespace quor
