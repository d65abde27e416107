// The OSC input against an independent OSC implementation: liblo's oscsend sets every control address with every
// argument type it can encode, oscsendfile sends the same as liblo bundles with time tags, and oscdump receives the
// feedback. Everything goes to 127.0.0.1. The tools come with tools/deps --test; a missing one fails the test.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "input/osc_input.h"
#include "show/show.h"
#include "test_support.h"

extern char** environ;

namespace quor {
namespace {

using I = ControlId;

// Runs a program found on PATH and waits for it; its exit code, or -1 when it could not be started.
int RunTool(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

testing::AssertionResult PeerToolsInstalled() {
  for (const char* tool : {"oscsend", "oscsendfile", "oscdump"}) {
    if (RunTool({"sh", "-c", std::string("command -v ") + tool + " >/dev/null"}) != 0) {
      return testing::AssertionFailure() << tool << " (liblo-tools) is not installed: run tools/deps --test";
    }
  }
  return testing::AssertionSuccess();
}

// One message from the peer and what it must leave: `read` holds `expected` afterwards. `before` first puts the
// control in a state that differs from it.
struct Row {
  std::string address;
  std::string types;
  std::vector<std::string> values;
  ControlAddress read;
  int expected;
  std::function<void()> before;
  bool moves = true;  // false: the message leaves the control as `before` put it
};

std::string Describe(const Row& row) {
  std::string text = row.address + " " + row.types;
  for (const std::string& value : row.values) text += " " + value;
  return text + " -> " + ControlName(row.read) + " = " + std::to_string(row.expected);
}

class OscPeerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(PeerToolsInstalled());
    engine_.console().SetSink([](std::string_view) {});
    Show& show = engine_.show();
    for (const char* name : {"A", "B", "C"}) ASSERT_TRUE(show.sceneList().Add(name));
    for (int c = 0; c < 2; ++c) {
      ASSERT_TRUE(show.chases().InsertChase(c, "Chase"));
      // Long enough to play (a chase under two seconds stops at once).
      for (int s = 0; s < 3; ++s) ASSERT_TRUE(show.chases().InsertStep(c, s, ChaseStep{kStepScene, s, 0, 0, 1000}));
    }
    ASSERT_TRUE(ParseOscListen("127.0.0.1:" + std::to_string(test::FreeLoopbackPort()), engine_.oscSettings()));
  }
  void TearDown() override { engine_.osc().Close(); }

  void Open() {
    ASSERT_TRUE(engine_.osc().Open());
    port_ = std::to_string(engine_.osc().LocalPort());
  }
  // Runs `send` (a peer tool sending `packets` datagrams), waits until the input has taken them, then gives the
  // main thread its turn and the player a pass (scene and chase requests are carried out there).
  testing::AssertionResult Deliver(const std::vector<std::string>& send, int packets = 1) {
    const int64_t before = engine_.osc().counters().received.load();
    if (const int code = RunTool(send); code != 0) return testing::AssertionFailure() << send[0] << " ended with " << code;
    if (!test::Eventually([&] { return engine_.osc().counters().received.load() >= before + packets; })) {
      return testing::AssertionFailure() << "the input did not receive what " << send[0] << " sent";
    }
    engine_.PostMessageWork();
    engine_.RunMixPass();
    return testing::AssertionSuccess();
  }
  int Value(ControlAddress address) const { return engine_.ControlValue(address).value_or(-999); }

  // Every control under its name, the aliases and the numbered addresses, each with the argument types a
  // surface sends.
  std::vector<Row> EveryAddress() {
    std::vector<Row> rows;
    const auto reset = [this](ControlAddress control, int value) {
      return [this, control, value] { engine_.SetControl(control, value); };
    };
    // Puts a button or trigger where reading it gives 0.
    const auto release = [this](ControlAddress control) -> std::function<void()> {
      switch (control.id) {
        case I::kMainGlideStart:
        case I::kMainGlideCentre:
        case I::kMainGlideEnd: return [this] { engine_.SetControl({I::kMainFade}, 100); };
        case I::kBlackout: return [this] { engine_.SetControl({I::kMasterLevel}, 100); };
        case I::kSceneRecall:
          return [this, control] { engine_.SetControl({I::kSceneRecall, (control.instance + 1) % 3}, 1); };
        case I::kChasePlay:
          return [this] { engine_.SetControl({I::kChaseStop}, 1), engine_.RunMixPass(); };
        case I::kChaseStop:
          return [this] { engine_.SetControl({I::kChasePlay, 0}, 1), engine_.RunMixPass(); };
        case I::kTempoTap: return [this] { engine_.SetControl({I::kTempoAuto}, 1); };
        case I::kTempoAuto: return [this] { engine_.SetControl({I::kTempoTap}, 1); };
        default: return [] {};
      }
    };
    // The rows of one address of a control of the given kind.
    const auto add = [&](const std::string& address, ControlAddress control) {
      const ControlSpec& range = SpecOf(control.id);
      const int third = range.min + (range.max - range.min) / 3;
      const int threeQuarters = range.min + static_cast<int>(std::lround(0.75 * (range.max - range.min)));
      switch (range.kind) {
        case ControlType::kFader:
          rows.push_back({address, "i", {std::to_string(third)}, control, third, reset(control, range.max)});
          rows.push_back({address, "f", {"0.75"}, control, threeQuarters, reset(control, range.min)});
          rows.push_back({address, "h", {std::to_string(range.max + 1000)}, control, range.max, reset(control, range.min)});
          rows.push_back({address, "d", {"-3.5"}, control, range.min, reset(control, range.max)});
          rows.push_back({address, "f", {"1.0"}, control, range.max, reset(control, range.min)});
          break;
        case ControlType::kToggle:
          rows.push_back({address, "i", {"1"}, control, 1, reset(control, 0)});
          rows.push_back({address, "f", {"0.0"}, control, 0, reset(control, 1)});
          rows.push_back({address, "f", {"0.8"}, control, 1, reset(control, 0)});
          rows.push_back({address, "F", {}, control, 0, reset(control, 1)});
          rows.push_back({address, "T", {}, control, 1, reset(control, 0)});
          break;
        case ControlType::kButton:
        case ControlType::kTrigger:
          rows.push_back({address, "i", {"1"}, control, 1, release(control)});
          rows.push_back({address, "f", {"1.0"}, control, 1, release(control)});
          rows.push_back({address, "T", {}, control, 1, release(control)});
          rows.push_back({address, "i", {"0"}, control, 0, release(control), false});  // a release does nothing
          break;
      }
    };
    for (const ControlSpec& range : ControlSpecs()) {
      for (int n = 0; n < engine_.ControlInstances(range.id); ++n) add("/quor/" + ControlName({range.id, n}), {range.id, n});
    }
    add("/quor/master", {I::kMasterLevel});
    add("/quor/ch1/fade", {I::kChannelFade, 0});
    add("/quor/ch2/fade", {I::kChannelFade, 1});
    add("/quor/strobe", {I::kStrobe});
    add("/quor/gamma", {I::kGamma});
    for (int n = 0; n < 3; ++n) add("/quor/scene/" + std::to_string(n + 1), {I::kSceneRecall, n});
    // Numbered: the argument says which scene or chase.
    for (const auto& [address, id, count] : {std::tuple("/quor/scene/recall", I::kSceneRecall, 3),
                                             std::tuple("/quor/chase/play", I::kChasePlay, 2)}) {
      for (int n = 0; n < count; ++n) {
        const ControlAddress control{id, n};
        rows.push_back({address, "i", {std::to_string(n + 1)}, control, 1, release(control)});
        rows.push_back({address, "f", {std::to_string(n + 1) + ".0"}, control, 1, release(control)});
      }
    }
    return rows;
  }

  Engine engine_{test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1}};
  std::string port_;
};

TEST_F(OscPeerTest, OscsendSetsEveryControlAddressWithEachArgumentType) {
  Open();
  const std::vector<Row> rows = EveryAddress();
  for (const Row& row : rows) {
    row.before();
    engine_.RunMixPass();
    if (row.moves) {
      ASSERT_NE(Value(row.read), row.expected) << "the state before does not differ: " << Describe(row);
    }
    std::vector<std::string> send{"oscsend", "127.0.0.1", port_, row.address, row.types};
    send.insert(send.end(), row.values.begin(), row.values.end());
    ASSERT_TRUE(Deliver(send)) << Describe(row);
    EXPECT_EQ(Value(row.read), row.expected) << Describe(row);
  }
  const OscCounters& counters = engine_.osc().counters();
  EXPECT_EQ(counters.received.load(), static_cast<int64_t>(rows.size()));
  EXPECT_EQ(counters.malformed.load(), 0);
  std::printf("[ figures  ] %zu oscsend messages, %lld reached a control\n", rows.size(),
              static_cast<long long>(counters.messages.load()));
}

// oscsendfile sends each line with a time tag as a liblo bundle of its own, and the lines after the last tag together
// in one bundle tagged "now": four bundles, every message of which acts when it arrives.
TEST_F(OscPeerTest, LibloBundlesWithTimeTagsAct) {
  Open();
  const std::string dir = test::FreshTestDir("osc_peer_bundles");
  std::ofstream(dir + "/messages.txt") << "0.0 /quor/master i 51\n"
                                          "0.001 /quor/gamma f 0.5\n"
                                          "0.002 /quor/slot/2/speed h 9\n"
                                          "/quor/slot/3/invert T\n"
                                          "/quor/master/strobe_time d 0.5\n";
  ASSERT_TRUE(Deliver({"oscsendfile", "127.0.0.1", port_, dir + "/messages.txt"}, 4));
  EXPECT_EQ(Value({I::kMasterLevel}), 51);
  EXPECT_EQ(Value({I::kGamma}), 1 + static_cast<int>(std::lround(0.5 * 499)));
  EXPECT_EQ(Value({I::kSlotSpeed, 1}), 9);
  EXPECT_EQ(Value({I::kSlotInvert, 2}), 1);
  EXPECT_EQ(Value({I::kStrobeTime}), 13);
  EXPECT_EQ(engine_.osc().counters().malformed.load(), 0);
  EXPECT_EQ(engine_.osc().counters().messages.load(), 5);
}

// liblo's forms of a question (no argument, the string or symbol "?") are answered and change nothing.
TEST_F(OscPeerTest, OscsendQuestionsAreAnswered) {
  Open();
  engine_.SetControl({I::kMasterLevel}, 77);
  for (const std::vector<std::string>& question :
       {std::vector<std::string>{}, std::vector<std::string>{"s", "?"}, std::vector<std::string>{"S", "?"}}) {
    const int64_t answers = engine_.osc().counters().answers.load();
    std::vector<std::string> send{"oscsend", "127.0.0.1", port_, "/quor/master"};
    send.insert(send.end(), question.begin(), question.end());
    ASSERT_TRUE(Deliver(send));
    EXPECT_EQ(engine_.osc().counters().answers.load(), answers + 1) << send.size();
    EXPECT_EQ(Value({I::kMasterLevel}), 77);
  }
  EXPECT_EQ(engine_.osc().counters().malformed.load(), 0);
}

// The feedback reaches oscdump: a change made elsewhere and one made through OSC, each under its name and alias.
TEST_F(OscPeerTest, OscdumpReceivesTheFeedbackOfAChange) {
  const std::string dir = test::FreshTestDir("osc_peer_feedback");
  const int dumpPort = test::FreeLoopbackPort();
  const std::string dumpFile = dir + "/oscdump.txt";
  std::fflush(nullptr);
  const pid_t dump = fork();
  if (dump == 0) {
    if (std::freopen(dumpFile.c_str(), "w", stdout)) dup2(fileno(stdout), fileno(stderr));
    execlp("oscdump", "oscdump", "-L", std::to_string(dumpPort).c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(dump, 0);
  // The lines oscdump has printed, as (address, types, value text); the time tag in front is left out.
  const auto received = [&] {
    std::vector<std::tuple<std::string, std::string, std::string>> lines;
    std::ifstream in(dumpFile);
    for (std::string line; std::getline(in, line);) {
      std::istringstream words(line);
      std::string tag, address, types, value;
      if (words >> tag >> address >> types >> value) lines.emplace_back(address, types, value);
    }
    return lines;
  };
  const auto has = [&](const std::string& address, const std::string& value) {
    for (const auto& [a, types, v] : received()) {
      if (a == address && types == "f" && v == value) return true;
    }
    return false;
  };
  // oscdump is listening once a message sent to it shows up.
  EXPECT_TRUE(test::Eventually([&] {
    RunTool({"oscsend", "127.0.0.1", std::to_string(dumpPort), "/ready", "i", "1"});
    return !received().empty();
  }, 10000)) << "oscdump did not start: " << ReadText(dumpFile);

  engine_.oscSettings().feedback = Ipv4Endpoint{{127, 0, 0, 1}, static_cast<uint16_t>(dumpPort)};
  Open();
  engine_.SetControl({I::kMasterLevel}, 51);
  EXPECT_TRUE(test::Eventually([&] { return has("/quor/master/level", "0.200000") && has("/quor/master", "0.200000"); }))
      << ReadText(dumpFile);
  ASSERT_TRUE(Deliver({"oscsend", "127.0.0.1", port_, "/quor/scene/recall", "i", "2"}));
  EXPECT_TRUE(test::Eventually([&] { return has("/quor/scene/2/recall", "1.000000") && has("/quor/scene/2", "1.000000"); }))
      << ReadText(dumpFile);
  kill(dump, SIGTERM);
  waitpid(dump, nullptr, 0);
}

}  // namespace
}  // namespace quor
