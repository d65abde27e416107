// The MIDI input against a real engine (manual clock) through an injected backend whose ports the test
// controls: learn, what each kind of control does with notes and control changes, fader ranges, inversion and
// soft takeover, feedback of changes made elsewhere, ports that appear later, and a flood of messages from
// another thread while the mappings change. The last test uses the system's ALSA sequencer when it has one.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "input/midi_input.h"
#include "show/show.h"
#include "test_support.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;
using I = ControlId;

// Ports the test adds and removes; what the input sends is kept. The input owns it; the test keeps a pointer.
class FakePorts final : public MidiBackend {
 public:
  std::mutex mutex;
  MidiPortList list;
  std::function<void(std::span<const uint8_t>)> receive;
  bool outputOpen = false;
  std::vector<Bytes> sent;

  template <typename F>
  auto Locked(F f) {
    const std::lock_guard lock(mutex);
    return f();
  }
  std::vector<Bytes> TakeSent() { return Locked([&] { return std::exchange(sent, {}); }); }
  // Bytes as if the surface had sent them on the open input.
  bool Play(const Bytes& bytes) {
    const auto to = Locked([&] { return receive; });
    if (to) to(bytes);
    return static_cast<bool>(to);
  }

  MidiPortList Ports() override { return Locked([&] { return list; }); }
  bool OpenInput(const std::string& name, std::function<void(std::span<const uint8_t>)> to) override {
    return Locked([&] { return std::ranges::count(list.inputs, name) > 0 && (receive = std::move(to), true); });
  }
  void CloseInput() override { Locked([&] { receive = nullptr; }); }
  bool OpenOutput(const std::string& name) override {
    return Locked([&] { return outputOpen = std::ranges::count(list.outputs, name) > 0; });
  }
  void CloseOutput() override { Locked([&] { outputOpen = false; }); }
  bool Send(std::span<const uint8_t> bytes) override {
    return Locked([&] { return outputOpen && (sent.emplace_back(bytes.begin(), bytes.end()), true); });
  }
};

MidiMapping Map(ControlAddress control, MidiSource source, int low, int high, bool inverted = false,
                bool soft = false, MidiButtonMode mode = MidiButtonMode::kMomentary) {
  return {control, source, mode, low, high, inverted, soft};
}
constexpr MidiSource Cc(uint8_t number, uint8_t channel = 0) {
  return {MidiSourceKind::kControlChange, channel, number};
}
constexpr MidiSource Note(uint8_t number, uint8_t channel = 0) { return {MidiSourceKind::kNote, channel, number}; }
Bytes CcBytes(uint8_t number, uint8_t value, uint8_t channel = 0) {
  return {static_cast<uint8_t>(0xB0 | channel), number, value};
}
Bytes NoteOn(uint8_t number, uint8_t velocity = 100) { return {0x90, number, velocity}; }
Bytes NoteOff(uint8_t number) { return {0x80, number, 0}; }

class MidiInputTest : public testing::Test {
 protected:
  void SetUp() override {
    engine_.console().SetSink([this](std::string_view text) {
      const std::lock_guard lock(consoleMutex_);
      console_ += text;
    });
    for (const char* name : {"A", "B", "C"}) ASSERT_TRUE(engine_.show().sceneList().Add(name));
    auto ports = std::make_unique<FakePorts>();
    ports_ = ports.get();
    ports_->list = {{"Pad:Pad MIDI 1 24:0"}, {"Pad:Pad MIDI 1 24:0"}};
    input_ = std::make_unique<MidiInput>(engine_, engine_.console(), engine_.controlActivity(), std::move(ports));
  }
  void TearDown() override {
    input_->Close();
    // The engine flushes its console when it goes, after console_ is gone.
    engine_.console().SetSink([](std::string_view) {});
  }

  void Apply(std::vector<MidiMapping> mappings, std::string inputPort = "Pad:Pad MIDI 1 24:0",
             std::string outputPort = "") {
    input_->Apply({true, std::move(inputPort), std::move(outputPort), std::move(mappings)});
  }
  void Inject(const Bytes& bytes) {
    input_->Inject(bytes);
    engine_.PostMessageWork();
  }
  int Value(ControlAddress address) const { return engine_.ControlValue(address).value_or(-999); }
  std::string Console() {
    engine_.console().Drain();
    const std::lock_guard lock(consoleMutex_);
    return console_;
  }

  Engine engine_{test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1}};
  FakePorts* ports_ = nullptr;
  std::unique_ptr<MidiInput> input_;
  std::mutex consoleMutex_;
  std::string console_;
};

TEST_F(MidiInputTest, LearnMapsTheNextMessageAndReplacesEarlierMappings) {
  Apply({});
  const uint64_t version = input_->MappingsVersion();
  input_->Learn({I::kMasterLevel});
  EXPECT_EQ(input_->Learning(), (ControlAddress{I::kMasterLevel}));
  const int before = Value({I::kMasterLevel});
  Inject(NoteOff(40));  // a release teaches nothing
  Inject(CcBytes(7, 3, 1));
  EXPECT_FALSE(input_->Learning());
  EXPECT_EQ(Value({I::kMasterLevel}), before) << "the message that taught the mapping must not act";
  EXPECT_EQ(input_->MappingsVersion(), version + 1);
  const ControlSpec& master = SpecOf(I::kMasterLevel);
  ASSERT_EQ(input_->Settings().mappings.size(), 1u);
  const MidiMapping learned = input_->Settings().mappings[0];
  EXPECT_EQ(learned.source, Cc(7, 1));
  EXPECT_EQ(learned.low, master.min);
  EXPECT_EQ(learned.high, master.max);
  EXPECT_EQ(MidiSourceText(learned.source), "CC 7 ch 2");
  Inject(CcBytes(7, 127, 1));
  EXPECT_EQ(Value({I::kMasterLevel}), master.max);

  // Learning the same control again moves it to the new source; another control learned from a source in use
  // takes that source over.
  input_->Learn({I::kMasterLevel});
  Inject(NoteOn(36));
  input_->Learn({I::kStrobe});
  Inject(NoteOn(36));
  input_->Learn({I::kSceneRecall, 1});
  Inject({0xC0, 4});
  const std::vector<MidiMapping> mappings = input_->Settings().mappings;
  ASSERT_EQ(mappings.size(), 2u);
  EXPECT_EQ(mappings[0].control, (ControlAddress{I::kStrobe}));
  EXPECT_EQ(mappings[0].source, Note(36));
  EXPECT_EQ(mappings[1].source, (MidiSource{MidiSourceKind::kProgramChange, 0, 4}));
  EXPECT_EQ(input_->MappingsVersion(), version + 4);

  input_->Learn({I::kGamma});
  input_->CancelLearn();
  Inject(CcBytes(9, 1));
  EXPECT_EQ(input_->Settings().mappings.size(), 2u);
  input_->Clear({I::kStrobe});
  EXPECT_EQ(input_->Settings().mappings.size(), 1u);
  EXPECT_EQ(input_->MappingsVersion(), version + 5);
}

TEST_F(MidiInputTest, FadersSpanTheirRangeInEitherDirection) {
  Apply({Map({I::kMasterLevel}, Cc(1), 0, 255), Map({I::kChannelFade, 1}, Cc(2), 0, 255, true),
         Map({I::kGamma}, Cc(3), 100, 300), Map({I::kSlotSpeed, 2}, Note(50), 0, 30),
         Map({I::kStrobeTime}, Cc(4, 3), 5000, -5000)});  // outside the control's range: held to it
  const struct {
    Bytes message;
    ControlAddress control;
    int expected;
  } cases[] = {
      {CcBytes(1, 0), {I::kMasterLevel}, 0},      {CcBytes(1, 127), {I::kMasterLevel}, 255},
      {CcBytes(1, 64), {I::kMasterLevel}, 129},   {CcBytes(2, 0), {I::kChannelFade, 1}, 255},
      {CcBytes(2, 127), {I::kChannelFade, 1}, 0}, {CcBytes(3, 0), {I::kGamma}, 100},
      {CcBytes(3, 127), {I::kGamma}, 300},        {NoteOn(50, 127), {I::kSlotSpeed, 2}, 25},
      {NoteOff(50), {I::kSlotSpeed, 2}, 25},  // a note off has no position
      {NoteOn(50, 1), {I::kSlotSpeed, 2}, 5},     {CcBytes(4, 0, 3), {I::kStrobeTime}, SpecOf(I::kStrobeTime).max},
      {CcBytes(4, 127, 3), {I::kStrobeTime}, SpecOf(I::kStrobeTime).min},
  };
  for (const auto& c : cases) {
    Inject(c.message);
    EXPECT_EQ(Value(c.control), c.expected) << ControlName(c.control) << " " << int(c.message[2]);
  }
  EXPECT_GE(engine_.controlActivity().Count({I::kGamma}), 2u);
  EXPECT_EQ(engine_.controlActivity().Count({I::kChannelFade, 0}), 0u);
  // One fader may move several controls; the message counts once.
  Apply({Map({I::kMasterLevel}, Cc(9), 0, 255), Map({I::kGamma}, Cc(9), 1, 500)});
  const int64_t mapped = input_->counters().mapped.load();
  Inject(CcBytes(9, 127));
  EXPECT_EQ(std::pair(Value({I::kMasterLevel}), Value({I::kGamma})), std::pair(255, 500));
  EXPECT_EQ(input_->counters().mapped.load(), mapped + 1);
}

TEST_F(MidiInputTest, SoftTakeoverWaitsUntilTheFaderReachesTheValue) {
  Apply({Map({I::kMasterLevel}, Cc(7), 0, 254, false, true)});  // 2 per step
  ASSERT_TRUE(engine_.SetControl({I::kMasterLevel}, 200));
  Inject(CcBytes(7, 0));
  Inject(CcBytes(7, 50));
  EXPECT_EQ(Value({I::kMasterLevel}), 200) << "a fader away from the value does nothing";
  Inject(CcBytes(7, 110));  // 220: crosses 200 on the way
  EXPECT_EQ(Value({I::kMasterLevel}), 220);
  Inject(CcBytes(7, 10));  // picked up: follows
  EXPECT_EQ(Value({I::kMasterLevel}), 20);

  // Moved elsewhere: lost until found again, here by reaching the value's position exactly.
  ASSERT_TRUE(engine_.SetControl({I::kMasterLevel}, 130));
  Inject(CcBytes(7, 12));
  EXPECT_EQ(Value({I::kMasterLevel}), 130);
  Inject(CcBytes(7, 80));  // 160: crossed 130
  EXPECT_EQ(Value({I::kMasterLevel}), 160);
  ASSERT_TRUE(engine_.SetControl({I::kMasterLevel}, 40));
  Apply({Map({I::kMasterLevel}, Cc(7), 0, 254, false, true), Map({I::kGamma}, Cc(8), 0, 500, false, false)});
  Inject(CcBytes(7, 20));  // position 20 stands for 40: reached at once
  EXPECT_EQ(Value({I::kMasterLevel}), 40);
  Inject(CcBytes(7, 21));
  EXPECT_EQ(Value({I::kMasterLevel}), 42);
  Inject(CcBytes(8, 127));  // without soft takeover a fader jumps
  EXPECT_EQ(Value({I::kGamma}), 500);
}

TEST_F(MidiInputTest, TogglesFollowOrLatchAndButtonsActOnPress) {
  Apply({Map({I::kStrobe}, Note(36), 0, 1), Map({I::kSlotInvert, 0}, Note(37), 0, 1, false, false,
                                                 MidiButtonMode::kToggle),
         Map({I::kSlotInvert, 1}, Cc(20), 0, 1, false, false, MidiButtonMode::kToggle),
         Map({I::kSceneRecall, 1}, Note(40), 0, 1), Map({I::kBlackout}, Cc(21), 0, 1),
         Map({I::kSceneRecall, 2}, MidiSource{MidiSourceKind::kProgramChange, 0, 3}, 0, 1),
         Map({I::kSceneRecall, 9}, Note(41), 0, 1)});  // a scene the show does not hold
  const struct {
    Bytes message;
    ControlAddress control;
    int expected;
  } cases[] = {
      {NoteOn(36), {I::kStrobe}, 1},  // momentary: on while held
      {Bytes{0x90, 36, 0}, {I::kStrobe}, 0},
      {NoteOn(36, 1), {I::kStrobe}, 1},
      {NoteOff(36), {I::kStrobe}, 0},
      {NoteOn(37), {I::kSlotInvert, 0}, 1},  // latch: each press flips, releases do nothing
      {NoteOff(37), {I::kSlotInvert, 0}, 1},
      {NoteOn(37), {I::kSlotInvert, 0}, 0},
      {CcBytes(20, 127), {I::kSlotInvert, 1}, 1},
      {CcBytes(20, 100), {I::kSlotInvert, 1}, 1},  // still held: no second press
      {CcBytes(20, 0), {I::kSlotInvert, 1}, 1},
      {CcBytes(20, 64), {I::kSlotInvert, 1}, 0},
      {NoteOn(40), {I::kSceneRecall, 1}, 1},
      {Bytes{0xC0, 3}, {I::kSceneRecall, 2}, 1},
      {NoteOff(40), {I::kSceneRecall, 1}, 0},  // a release recalls nothing
  };
  for (const auto& c : cases) {
    Inject(c.message);
    EXPECT_EQ(Value(c.control), c.expected) << ControlName(c.control) << " " << int(c.message[0]);
  }
  ASSERT_TRUE(engine_.SetControl({I::kMasterLevel}, 99));
  Inject(CcBytes(21, 0));
  EXPECT_EQ(Value({I::kMasterLevel}), 99);
  Inject(CcBytes(21, 127));
  EXPECT_EQ(Value({I::kMasterLevel}), 0);
  const int64_t mapped = input_->counters().mapped.load();
  Inject(NoteOn(41));
  Inject(NoteOn(99));  // mapped to nothing
  EXPECT_EQ(input_->counters().mapped.load(), mapped);
  EXPECT_EQ(input_->counters().received.load(), static_cast<int64_t>(std::size(cases)) + 4);
}

TEST_F(MidiInputTest, FeedbackSendsChangesFromAnySource) {
  Apply({Map({I::kStrobe}, Note(36, 2), 0, 1), Map({I::kMasterLevel}, Cc(7, 1), 0, 255),
         Map({I::kChannelFade, 0}, Cc(8), 0, 255, true)},
        "Pad:Pad MIDI 1 24:0", "Pad:Pad MIDI 1 20:0");  // the output found again under new numbers
  ASSERT_TRUE(input_->OutputOpen());
  ASSERT_TRUE(engine_.SetControl({I::kMasterLevel}, 0));
  ASSERT_TRUE(engine_.SetControl({I::kChannelFade, 0}, 255));
  // Every light is set when the output opens (the engine's feedback thread may have sent some already).
  input_->SendFeedback();
  std::vector<Bytes> all = ports_->TakeSent();
  EXPECT_NE(std::find(all.begin(), all.end(), Bytes{0x92, 36, 0}), all.end());
  EXPECT_NE(std::find(all.begin(), all.end(), Bytes{0xB1, 7, 0}), all.end());
  EXPECT_NE(std::find(all.begin(), all.end(), Bytes{0xB0, 8, 0}), all.end());

  const struct {
    ControlAddress control;
    int value;
    Bytes expected;
  } cases[] = {
      {{I::kStrobe}, 1, {0x92, 36, 127}},
      {{I::kStrobe}, 0, {0x92, 36, 0}},
      {{I::kMasterLevel}, 255, {0xB1, 7, 127}},
      {{I::kMasterLevel}, 128, {0xB1, 7, 64}},
      {{I::kChannelFade, 0}, 0, {0xB0, 8, 127}},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(engine_.SetControl(c.control, c.value));
    ASSERT_TRUE(test::Eventually([&] {
      input_->SendFeedback();
      all = ports_->TakeSent();
      return !all.empty();
    }));
    EXPECT_EQ(all, std::vector<Bytes>{c.expected}) << ControlName(c.control);
  }
  input_->SendFeedback();
  EXPECT_TRUE(ports_->TakeSent().empty()) << "nothing changed, nothing sent";
  // A fader moved on the surface is not sent back to it.
  Inject(CcBytes(7, 10, 1));
  std::this_thread::sleep_for(std::chrono::milliseconds(2 * kMidiFeedbackIntervalMs));
  input_->SendFeedback();
  EXPECT_TRUE(ports_->TakeSent().empty());
  EXPECT_GE(input_->counters().feedback.load(), 8);
}

TEST_F(MidiInputTest, APortThatAppearsLaterIsOpenedAndMissingPortsAreSaidOnce) {
  ports_->list = {};
  Apply({Map({I::kGamma}, Cc(1), 0, 500)}, "Faders:Faders MIDI 1 28:0", "Faders:Faders MIDI 1 28:0");
  EXPECT_FALSE(input_->InputOpen());
  EXPECT_FALSE(input_->OutputOpen());
  const std::string said = Console();
  EXPECT_NE(said.find("MIDI input: the port \"Faders:Faders MIDI 1 28:0\" is not there"), std::string::npos) << said;
  EXPECT_NE(said.find("MIDI feedback: the port"), std::string::npos) << said;
  input_->Ports();
  EXPECT_EQ(Console(), said) << "said once";
  {
    const std::lock_guard lock(ports_->mutex);
    ports_->list = {{"Faders:Faders MIDI 1 32:0"}, {"Faders:Faders MIDI 1 32:0"}};
  }
  ASSERT_TRUE(test::Eventually([&] { return input_->InputOpen() && input_->OutputOpen(); }, 3 * kMidiRescanIntervalMs));
  ASSERT_TRUE(ports_->Play(CcBytes(1, 127)));
  EXPECT_EQ(Value({I::kGamma}), 500);
  input_->Apply({});  // disabled: the ports close
  EXPECT_FALSE(input_->InputOpen());
  EXPECT_FALSE(ports_->Play(CcBytes(1, 0)));
}

TEST_F(MidiInputTest, AFloodWhileMappingsChangeEndsWhereTheLastMessageSays) {
  Apply({Map({I::kMasterLevel}, Cc(7), 0, 127), Map({I::kStrobe}, Note(36), 0, 1)}, "Pad:Pad MIDI 1 24:0",
        "Pad:Pad MIDI 1 24:0");
  std::atomic<bool> done{false};
  std::thread surface([&] {
    Bytes flood;
    for (int i = 0; i < 20000; ++i) {
      flood.push_back(static_cast<uint8_t>(i % 3 == 0 ? 0xB0 : 0xF8));  // running status and clock bytes
      flood.push_back(7);
      flood.push_back(static_cast<uint8_t>(i % 128));
    }
    for (size_t at = 0; at < flood.size(); at += 61) {
      ports_->Play(Bytes(flood.begin() + static_cast<long>(at),
                         flood.begin() + static_cast<long>(std::min(flood.size(), at + 61))));
    }
    ports_->Play(CcBytes(7, 77));
    done.store(true);
  });
  while (!done.load()) {
    input_->Apply(input_->Settings());
    (void)input_->MappingsVersion();
    input_->Clear({I::kBlackout});
    input_->SendFeedback();
    (void)engine_.controlActivity().Count({I::kMasterLevel});
  }
  surface.join();
  EXPECT_EQ(Value({I::kMasterLevel}), 77);
  EXPECT_EQ(input_->counters().malformed.load(), 0);
}

TEST(MidiSequencer, LoopsAMessageThroughTheSystemPorts) {
  struct stat info {};
  if (::stat("/dev/snd/seq", &info) != 0) GTEST_SKIP() << "no ALSA sequencer here (/dev/snd/seq is missing)";
  std::string why;
  const std::unique_ptr<MidiBackend> backend = MakeSystemMidiBackend(&why);
  ASSERT_TRUE(backend) << why;
  // The kernel's "Midi Through" port, when loaded, hands what is sent to it to its readers.
  const MidiPortList ports = backend->Ports();
  const auto through =
      std::ranges::find_if(ports.inputs, [](const std::string& n) { return n.starts_with("Midi Through"); });
  if (through == ports.inputs.end()) GTEST_SKIP() << "the sequencer has no Midi Through port to loop through";
  std::atomic<bool> got{false};
  ASSERT_TRUE(backend->OpenInput(*through, [&](std::span<const uint8_t> b) {
    if (Bytes(b.begin(), b.end()) == Bytes{0xB3, 7, 99}) got = true;
  }));
  ASSERT_TRUE(backend->OpenOutput(MatchMidiPort(ports.outputs, *through).value_or("")));
  ASSERT_TRUE(backend->Send(Bytes{0xB3, 7, 99}));
  EXPECT_TRUE(test::Eventually([&] { return got.load(); }));
  backend->CloseOutput();
  EXPECT_FALSE(backend->Send(Bytes{0xB3, 7, 1}));
}

}  // namespace
}  // namespace quor
