// Undo and redo while the frame clock mixes and the outputs send: the
// devices, the patch and the matrix are swapped under the clock's feet, and
// nothing a tick reads may be freed while it runs.
#include <gtest/gtest.h>

#include "engine/engine.h"
#include "engine/project_file.h"
#include "show/show.h"
#include "test_support.h"
#include "tests/output/udp_receiver.h"

namespace quor {
namespace {

TEST(EditHistoryThread, UndoAndRedoWhileTheClockAndTheOutputsRun) {
  Engine engine(test::TestRegistry(), EngineOptions{FrameClock::Mode::kThread, 1});
  engine.console().SetSink([](std::string_view) {});
  test::UdpReceiver receiver;
  OutputDevice d;
  d.port = receiver.port(), d.channels = 48;
  d.SetAddress("127.0.0.1");
  engine.outputs().devices().Add(d);
  engine.patch().At(0, 0) = PatchEntry{0, 0, 1, 2};
  engine.RequestType(0, test::kSolidType);
  engine.RebindSlots();
  ASSERT_TRUE(engine.show().sceneList().Add("A"));
  engine.ResetDocumentHistory();
  engine.StartClock();
  ASSERT_TRUE(engine.OpenOutputs());
  const std::vector<uint8_t> start = SerializeProject(engine);

  for (int round = 0; round < 10; ++round) {
    ASSERT_TRUE(engine.EditDocument("Patch", [&] { engine.patch().At(1, 0) = PatchEntry{0, 3, 4, round}; }));
    ASSERT_TRUE(engine.EditDocument("Delete Device", [&] { engine.outputs().devices().Remove(0, engine.patch()); }));
    ASSERT_TRUE(engine.EditDocument("Matrix Size", [&] { engine.ResizeMatrix(8 + round % 3, 8); }));
    ASSERT_TRUE(engine.EditDocument("Delete Scene", [&] {
      engine.show().sceneList().ShowSelection(0);
      engine.show().sceneList().Delete();
    }));
    while (engine.Undo()) {
    }
    const std::vector<uint8_t> now = SerializeProject(engine);
    size_t at = 0;
    while (at < now.size() && at < start.size() && now[at] == start[at]) ++at;
    ASSERT_TRUE(now == start) << "round " << round << ": differs at byte " << at << " of " << now.size();
    while (engine.Redo()) {
    }
    while (engine.Undo()) {
    }
  }
  EXPECT_EQ(engine.flags().outputState.load(), kOutputRunning);
  test::Datagram got;
  while (receiver.Receive(got, 0)) {
  }  // what was sent before
  EXPECT_TRUE(receiver.Receive(got)) << "the restored device does not send";
  engine.CloseOutputs();
  engine.StopClock();
}

}  // namespace
}  // namespace quor
