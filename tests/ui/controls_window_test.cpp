// The "Controls" window on a real engine: a row for every control instance,
// MIDI learn from injected bytes, clearing, the mapping's details reaching
// the MIDI input, OSC reopening on a new port, the activity lights, and the
// settings kept in the side file (a damaged one said and left alone).
#include "ui/controls_window.h"

#include <QSpinBox>
#include <QTableWidget>
#include <fstream>

#include "engine/control_inputs.h"
#include "files/control_settings.h"
#include "files/side_file.h"
#include "input/control_activity.h"
#include "input/midi_input.h"
#include "ui/preview_renderer.h"
#include "ui_support.h"

namespace quor {
namespace {

class ControlsWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    engine_.console().SetSink([](std::string_view) {});
    for (const char* name : {"A", "B", "C"}) ASSERT_TRUE(engine_.show().sceneList().Add(name));
    ASSERT_TRUE(engine_.show().chases().InsertChase(0, "X"));
    dir_ = test::FreshTestDir("controls_window");
    side_ = dir_ + "/show.qrx.json";
  }
  void TearDown() override {
    engine_.osc().Close();
    engine_.midi().Close();
  }
  std::unique_ptr<ControlsWindow> Open() {
    ControlsWindowServices services;
    services.settingsPath = [this] { return side_; };
    services.openHelp = [this](int topic) { helpOpened_ = topic; };
    auto window = std::make_unique<ControlsWindow>(engine_, engine_.midi(), engine_.controlActivity(), services, nullptr);
    window->show();
    return window;
  }
  void Note(uint8_t number) {
    const uint8_t on[] = {0x90, number, 100};
    engine_.midi().Inject(on);
  }
  static QString Midi(ControlsWindow& window, const ControlAddress& address) {
    return window.table()->item(window.RowOf(address), ControlsWindow::kMidiColumn)->text();
  }
  std::optional<MidiMapping> MappingOf(const ControlAddress& address) {
    for (const MidiMapping& m : engine_.midi().Settings().mappings) {
      if (m.control == address) return m;
    }
    return std::nullopt;
  }

  Engine engine_{BuiltinGenerators(), test::kManualClock};
  std::string dir_, side_;
  int helpOpened_ = 0;
};

TEST_F(ControlsWindowTest, ListsEveryControlInstanceWithItsOscAddress) {
  std::unique_ptr<ControlsWindow> window = Open();
  int expected = 0;
  for (const ControlSpec& kind : ControlSpecs()) expected += engine_.ControlInstances(kind.id);
  EXPECT_EQ(window->table()->rowCount(), expected);
  const auto osc = [&](ControlAddress a) { return window->table()->item(window->RowOf(a), ControlsWindow::kOscColumn)->text(); };
  EXPECT_EQ(osc({ControlId::kMasterLevel, 0}), "/quor/master/level, /quor/master");
  EXPECT_EQ(osc({ControlId::kSlotSpeed, 3}), "/quor/slot/4/speed");
  EXPECT_EQ(osc({ControlId::kSceneRecall, 2}), "/quor/scene/3/recall, /quor/scene/3");
  EXPECT_EQ(window->RowOf({ControlId::kSceneRecall, 3}), -1);
  EXPECT_GE(window->RowOf({ControlId::kChasePlay, 0}), 0);
  // A scene added later gets its row at the next poll.
  ASSERT_TRUE(engine_.show().sceneList().Add("D"));
  window->Poll();
  EXPECT_EQ(window->table()->rowCount(), expected + 1);
  EXPECT_GE(window->RowOf({ControlId::kSceneRecall, 3}), 0);
  test::Click(window->helpButton());
  EXPECT_EQ(helpOpened_, kHelpControls);
}

TEST_F(ControlsWindowTest, LearnMapsTheNextNoteAndClearRemovesIt) {
  std::unique_ptr<ControlsWindow> window = Open();
  const ControlAddress strobe{ControlId::kStrobe, 0};
  window->table()->selectRow(window->RowOf(strobe));
  test::Click(window->learnButton());
  EXPECT_EQ(Midi(*window, strobe), "Learning…");
  EXPECT_TRUE(window->midiOnBox()->isChecked());  // the input hears nothing while off
  Note(36);
  window->Poll();
  EXPECT_EQ(Midi(*window, strobe), "Note 36 ch 1");
  EXPECT_EQ(window->learnButton()->text(), "Learn");
  // The learn is kept at once.
  const ControlSettingsRead kept = ReadControlSettings(side_);
  ASSERT_TRUE(kept.settings);
  ASSERT_EQ(kept.settings->midi.mappings.size(), 1u);
  EXPECT_EQ(kept.settings->midi.mappings[0].control, strobe);
  // A toggle gets the button mode.
  EXPECT_TRUE(window->buttonModeList()->isEnabled());
  EXPECT_FALSE(window->lowBox()->isEnabled());
  window->buttonModeList()->setCurrentIndex(1);
  EXPECT_EQ(MappingOf(strobe)->buttonMode, MidiButtonMode::kToggle);

  // Escape ends a learn without closing the window; nothing is mapped.
  const ControlAddress gamma{ControlId::kGamma, 0};
  window->table()->selectRow(window->RowOf(gamma));
  test::Click(window->learnButton());
  QTest::keyClick(window.get(), Qt::Key_Escape);
  EXPECT_FALSE(engine_.midi().Learning());
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(Midi(*window, gamma), "");

  window->table()->selectRow(window->RowOf(strobe));
  test::Click(window->clearButton());
  EXPECT_EQ(Midi(*window, strobe), "");
  EXPECT_FALSE(MappingOf(strobe));
  EXPECT_TRUE(ReadControlSettings(side_).settings->midi.mappings.empty());
}

TEST_F(ControlsWindowTest, FaderRangeInversionAndTakeoverReachTheMidiInput) {
  std::unique_ptr<ControlsWindow> window = Open();
  const ControlAddress level{ControlId::kMasterLevel, 0};
  window->table()->selectRow(window->RowOf(level));
  test::Click(window->learnButton());
  const uint8_t cc[] = {0xB1, 7, 30};
  engine_.midi().Inject(cc);
  window->Poll();
  EXPECT_EQ(Midi(*window, level), "CC 7 ch 2");
  ASSERT_TRUE(window->lowBox()->isEnabled());
  EXPECT_FALSE(window->buttonModeList()->isEnabled());
  EXPECT_EQ(window->highBox()->maximum(), 255);
  window->lowBox()->setValue(20);
  window->highBox()->setValue(200);
  window->invertedBox()->click();
  window->softTakeoverBox()->click();
  const std::optional<MidiMapping> mapping = MappingOf(level);
  ASSERT_TRUE(mapping);
  EXPECT_EQ(std::tuple(mapping->low, mapping->high, mapping->inverted, mapping->softTakeover),
            std::tuple(20, 200, true, !MidiMapping{}.softTakeover));
  // Kept, and read back the same.
  const ControlSettingsRead kept = ReadControlSettings(side_);
  ASSERT_TRUE(kept.settings);
  EXPECT_TRUE(*kept.settings == CurrentControlSettings(engine_));
}

TEST_F(ControlsWindowTest, OscSettingsReopenTheInputAndAreKept) {
  std::unique_ptr<ControlsWindow> window = Open();
  EXPECT_EQ(window->portBox()->value(), kDefaultOscPort);
  const int port = test::FreeLoopbackPort();
  test::Retype(window->listenEdit(), "127.0.0.1");
  window->portBox()->setValue(port);
  window->oscOnBox()->click();
  EXPECT_TRUE(engine_.osc().IsOpen()) << window->message().toStdString();
  EXPECT_EQ(engine_.osc().LocalPort(), port);
  test::Retype(window->feedbackHostEdit(), "127.0.0.1");
  window->feedbackPortBox()->setValue(9123);
  EXPECT_EQ(engine_.oscSettings().feedback, (Ipv4Endpoint{{127, 0, 0, 1}, 9123}));
  const int other = test::FreeLoopbackPort();
  window->portBox()->setValue(other);
  EXPECT_EQ(engine_.osc().LocalPort(), other);
  ControlSettings kept = *ReadControlSettings(side_).settings;
  EXPECT_TRUE(kept.osc.enabled);
  EXPECT_EQ(kept.osc.port, other);
  EXPECT_EQ(kept.osc.listenAddress, (std::array<uint8_t, 4>{127, 0, 0, 1}));
  EXPECT_EQ(window->message(), "");
  // A host that is no address changes nothing and says so.
  test::Retype(window->feedbackHostEdit(), "mixer.local");
  QTest::keyClick(window->feedbackHostEdit(), Qt::Key_Return);
  EXPECT_TRUE(window->message().contains("mixer.local"));
  EXPECT_EQ(engine_.oscSettings().feedback, (Ipv4Endpoint{{127, 0, 0, 1}, 9123}));
  // An address that is not this computer's: said in the window, OSC closed.
  window->feedbackHostEdit()->clear();  // no feedback
  test::Retype(window->listenEdit(), "192.0.2.1");
  QTest::keyClick(window->listenEdit(), Qt::Key_Return);
  EXPECT_TRUE(window->message().contains("192.0.2.1 port " + QString::number(other))) << window->message().toStdString();
  EXPECT_FALSE(engine_.osc().IsOpen());
}

TEST_F(ControlsWindowTest, LightsTheRowsASurfaceMoved) {
  std::unique_ptr<ControlsWindow> window = Open();
  const int row = window->RowOf({ControlId::kGamma, 0});
  window->Poll();
  EXPECT_FALSE(window->LightOn(row));
  engine_.controlActivity().Touch({ControlId::kGamma, 0});
  window->Poll();
  EXPECT_TRUE(window->LightOn(row));
  EXPECT_FALSE(window->LightOn(window->RowOf({ControlId::kStrobe, 0})));
  QTest::qWait(static_cast<int>(kActivityLightTime.count()) + 50);
  window->Poll();
  EXPECT_FALSE(window->LightOn(row));
}

TEST_F(ControlsWindowTest, ADamagedSideFileIsSaidAndChangesNothing) {
  std::ofstream(side_) << R"({"controls": {"osc": {"enabled": true}, "midi": {}}, "resume": {"scene": 1}})";
  const std::vector<uint8_t> before = test::ReadFileBytes(side_);
  std::unique_ptr<ControlsWindow> window = Open();
  EXPECT_TRUE(window->message().contains(QString::fromStdString(side_))) << window->message().toStdString();
  EXPECT_FALSE(engine_.osc().IsOpen());
  EXPECT_FALSE(window->oscOnBox()->isChecked());
  EXPECT_EQ(test::ReadFileBytes(side_), before);
  // A write that fails is said once, naming the file.
  side_ = dir_ + "/missing/folder/show.qrx.json";
  window->midiOnBox()->click();
  EXPECT_TRUE(window->message().startsWith("Cannot keep the control settings in " + QString::fromStdString(side_)))
      << window->message().toStdString();
}

// Setup > Controls opens the window (once), F1 in it opens its help page,
// and File > New lets the surfaces follow the show and the window refresh.
TEST(ControlsWindowInMainWindow, OpensFromTheSetupMenuWithItsHelpAndFollowsANewShow) {
  Engine engine{BuiltinGenerators(), test::kManualClock};
  engine.console().SetSink([](std::string_view) {});
  PreviewRenderer renderer{engine};
  const std::string helpDir = test::FreshTestDir("controls_help");
  std::ofstream(helpDir + "/65.html") << "<h1>Controls</h1>";
  MainWindow window{engine, renderer, MainWindowOptions{QString::fromStdString(helpDir), 40}};
  const std::string side = test::FreshTestDir("controls_main") + "/show.qrx.json";
  int opened = 0;
  window.controlSettingsPath = [&] { return side; };
  window.projectOpened = [&] { ++opened; };
  window.show();
  window.RunCommand(kCmdControls);
  ControlsWindow* controls = window.controlsWindow();
  ASSERT_NE(controls, nullptr);
  EXPECT_TRUE(controls->isVisible());
  window.RunCommand(kCmdControls);
  EXPECT_EQ(window.controlsWindow(), controls);
  controls->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(controls));
  QTest::keyClick(controls->table(), Qt::Key_F1);
  EXPECT_EQ(window.helpViewer()->currentContext(), kHelpControls);
  // The window keeps into the path the host gives.
  controls->midiOnBox()->click();
  EXPECT_TRUE(ReadControlSettings(side).settings->midi.enabled);
  engine.midi().Close();
  window.RunCommand(kCmdNew);
  EXPECT_EQ(opened, 1);
}

}  // namespace
}  // namespace quor
