// Undo and redo of the show document through the engine's own commands.
#include "engine/edit_history.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/project_file.h"
#include "output/fast_patch.h"
#include "show/show.h"
#include "test_support.h"
#include "tests/output/udp_receiver.h"

namespace quor {
namespace {

using test::ConsoleCapture;

OutputDevice ArtNet(int port, int universe) {
  OutputDevice d;
  d.port = port, d.channels = 48, d.universe = universe;
  d.SetAddress("127.0.0.1");
  return d;
}

class EditHistoryTest : public testing::Test {
 protected:
  void SetUp() override {
    // Three scenes, a chase on the first, two devices and a patched corner.
    for (const char* name : {"Intro", "Verse", "Chorus"}) ASSERT_TRUE(engine_.show().sceneList().Add(name));
    ASSERT_TRUE(engine_.show().chases().InsertChase(0, "Run"));
    ASSERT_TRUE(engine_.show().chases().InsertStep(0, 0, ChaseStep{kStepScene, 0, 0, 0, 5000}));
    engine_.outputs().devices().Add(ArtNet(9, 0));
    engine_.outputs().devices().Add(ArtNet(9, 1));
    engine_.patch().At(0, 0) = PatchEntry{0, 0, 1, 2};
    engine_.patch().At(1, 0) = PatchEntry{1, 5, 4, 3};
    engine_.ResetDocumentHistory();
  }
  // The whole project file and the FastPatch settings the file has no field for.
  std::string State() {
    const std::vector<uint8_t> bytes = SerializeProject(engine_);
    const FastPatchSettings& f = engine_.outputs().fastPatch();
    return std::string(bytes.begin(), bytes.end()) + "|" + std::to_string(f.dimensionX) + "," +
           std::to_string(f.dimensionY) + "," + std::to_string(f.firstChannel) + "," + std::to_string(f.pixelOrder) + "," +
           std::to_string(f.colourOrder) + "," + std::to_string(f.device);
  }

  Engine engine_{test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1}};
  ConsoleCapture capture_{engine_.console()};
};

struct EditCase {
  const char* what;
  std::function<void(Engine&)> edit;
};

TEST_F(EditHistoryTest, EachKindOfEditIsUndoneAndRedoneToTheExactBytes) {
  const std::vector<EditCase> cases = {
      {"Store Scene", [](Engine& e) { e.show().sceneList().Add("Bridge"); }},
      {"Replace and Rename Scene",
       [](Engine& e) {
         e.show().sceneList().ShowSelection(1);
         e.show().sceneList().Replace("Verse 2");
       }},
      {"Delete Scene",
       [](Engine& e) {
         e.show().sceneList().ShowSelection(2);
         e.show().sceneList().Delete();
       }},
      {"Move Scene Down",
       [](Engine& e) {
         e.show().sceneList().ShowSelection(0);
         e.show().sceneList().MoveDown();
       }},
      {"Delete Chase",
       [](Engine& e) {
         e.show().chaseList().Select(0);
         e.show().chaseList().Delete();
       }},
      {"Edit Chase",
       [](Engine& e) {
         ASSERT_TRUE(e.show().editor().Open(0));
         e.show().editor().SelectRow(0);
         ASSERT_TRUE(e.show().editor().InsertStep());
         e.show().editor().Close();
       }},
      {"Add Device", [](Engine& e) { e.outputs().devices().Add(ArtNet(10, 2)); }},
      {"Delete Device", [](Engine& e) { e.outputs().devices().Remove(0, e.patch()); }},
      {"Patch", [](Engine& e) { e.patch().At(2, 3).device = 1; }},
      {"FastPatch",
       [](Engine& e) {
         FastPatchSettings& s = e.outputs().fastPatch();
         s.dimensionX = 4, s.dimensionY = 2, s.device = 1, s.firstChannel = 3;
         ApplyFastPatch(e.patch(), e.outputs().devices(), 0, 1, s);
       }},
      {"FastPatch settings only", [](Engine& e) { e.outputs().fastPatch().pixelOrder = 3; }},
      {"Clear Patch",
       [](Engine& e) {
         e.patch().Clear();
         e.outputs().fastPatch().firstChannel = 0;
       }},
      {"Matrix Size", [](Engine& e) { ASSERT_TRUE(e.ResizeMatrix(8, 6)); }},
  };
  for (const EditCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string before = State();
    ASSERT_TRUE(engine_.EditDocument(c.what, [&] { c.edit(engine_); }));
    const std::string after = State();
    ASSERT_TRUE(after != before);  // (no dump of the bytes)
    EXPECT_TRUE(engine_.DocumentModified());
    EXPECT_EQ(engine_.history().UndoText(), c.what);

    ASSERT_TRUE(engine_.Undo());
    EXPECT_TRUE(State() == before);
    EXPECT_FALSE(engine_.DocumentModified());  // back at the loaded state
    EXPECT_EQ(engine_.history().RedoText(), c.what);
    ASSERT_TRUE(engine_.Redo());
    EXPECT_TRUE(State() == after);
    EXPECT_TRUE(engine_.DocumentModified());
    ASSERT_TRUE(engine_.Undo());  // the next case starts from the same show
    EXPECT_TRUE(State() == before);
  }
  // Undo and redo walk several steps in order.
  const std::string start = State();
  engine_.EditDocument("Store Scene", [&] { engine_.show().sceneList().Add("A"); });
  const std::string one = State();
  engine_.EditDocument("Matrix Size", [&] { engine_.ResizeMatrix(12, 10); });
  ASSERT_TRUE(engine_.Undo() && engine_.Undo());
  EXPECT_TRUE(State() == start);
  EXPECT_FALSE(engine_.Undo());
  ASSERT_TRUE(engine_.Redo());
  EXPECT_TRUE(State() == one);
}

TEST_F(EditHistoryTest, EditsThatChangeNothingOrFailLeaveNoStepAndKeepRedo) {
  engine_.EditDocument("Store Scene", [&] { engine_.show().sceneList().Add("A"); });
  ASSERT_TRUE(engine_.Undo());
  const uint64_t changes = engine_.changes().Count(Change::kDocument);
  EXPECT_FALSE(engine_.EditDocument("Matrix Size", [&] { EXPECT_FALSE(engine_.ResizeMatrix(1000, 1000)); }));
  EXPECT_FALSE(engine_.EditDocument("Store Scene", [&] { engine_.show().sceneList().Add(""); }));  // no name
  EXPECT_FALSE(engine_.EditDocument("Master", [&] { engine_.SetMasterLevel(12); }));  // not the document
  EXPECT_EQ(engine_.history().UndoCount(), 0u);
  EXPECT_TRUE(engine_.history().CanRedo());
  EXPECT_EQ(engine_.changes().Count(Change::kDocument), changes);
  EXPECT_FALSE(engine_.DocumentModified());

  // Nested edits make one step, named by the outermost.
  engine_.EditDocument("Import", [&] {
    engine_.EditDocument("Store Scene", [&] { engine_.show().sceneList().Add("B"); });
    engine_.EditDocument("Store Scene", [&] { engine_.show().sceneList().Add("C"); });
  });
  EXPECT_EQ(engine_.history().UndoCount(), 1u);
  EXPECT_EQ(engine_.history().UndoText(), "Import");
  EXPECT_FALSE(engine_.history().CanRedo());  // a new edit drops the redo steps

  // While "Edit Chase" is open nothing is undone under it.
  ASSERT_TRUE(engine_.show().editor().Open(0));
  EXPECT_FALSE(engine_.Undo());
  engine_.show().editor().Close();
  EXPECT_TRUE(engine_.Undo());
}

TEST_F(EditHistoryTest, SavedStateLoadsAndTheBoundsOfTheHistory) {
  engine_.EditDocument("Store Scene", [&] { engine_.show().sceneList().Add("A"); });
  engine_.MarkDocumentSaved();
  EXPECT_FALSE(engine_.DocumentModified());
  engine_.Undo();
  EXPECT_TRUE(engine_.DocumentModified());  // the saved show had the scene
  engine_.Redo();
  EXPECT_FALSE(engine_.DocumentModified());

  // A load starts a fresh history.
  ASSERT_EQ(LoadProjectBytes(engine_, SerializeProject(engine_)).status, ProjectFileStatus::kDone);
  EXPECT_FALSE(engine_.history().CanUndo());
  EXPECT_FALSE(engine_.DocumentModified());

  // At most kMaxUndoSteps steps; the newest stay.
  for (int i = 0; i < static_cast<int>(kMaxUndoSteps) + 5; ++i) {
    engine_.EditDocument("Move Scene Down", [&] {
      engine_.show().sceneList().ShowSelection(i % 2);
      engine_.show().sceneList().MoveDown();
    });
  }
  EXPECT_EQ(engine_.history().UndoCount(), kMaxUndoSteps);

  // The byte budget drops the oldest steps but always keeps the newest.
  EditHistory small(100, 250);
  for (int i = 0; i < 5; ++i) small.Record("step", DocumentSnapshot{std::vector<uint8_t>(100, 1), {}, {}});
  EXPECT_EQ(small.UndoCount(), 2u);
  EXPECT_LE(small.HeldBytes(), 250u);
  small.Record("huge", DocumentSnapshot{std::vector<uint8_t>(1000, 1), {}, {}});
  EXPECT_EQ(small.UndoCount(), 1u);
  EXPECT_EQ(small.UndoText(), "huge");
}

TEST_F(EditHistoryTest, UndoWhileTheOutputsRunReopensThemWithTheRestoredDevices) {
  test::UdpReceiver receiver;
  OutputDevice live = ArtNet(receiver.port(), 0);
  engine_.outputs().devices().Replace(0, live, engine_.patch());
  engine_.ResetDocumentHistory();
  ASSERT_TRUE(engine_.OpenOutputs());
  const std::string before = State();
  ASSERT_TRUE(engine_.EditDocument("Delete Device", [&] { engine_.outputs().devices().Remove(0, engine_.patch()); }));
  ASSERT_TRUE(engine_.EditDocument("Patch", [&] { engine_.patch().At(3, 3) = PatchEntry{0, 9, 10, 11}; }));
  ASSERT_TRUE(engine_.Undo());
  ASSERT_TRUE(engine_.Undo());
  EXPECT_TRUE(State() == before);
  EXPECT_EQ(engine_.flags().outputState.load(), kOutputRunning);
  // The reopened outputs send the restored patch to the restored device.
  engine_.RunMixPass();
  test::Datagram got;
  EXPECT_TRUE(receiver.Receive(got)) << "the restored Art-Net device sent nothing";
}

}  // namespace
}  // namespace quor
