#include "engine/project_file.h"

#include <gtest/gtest.h>

#include <string_view>

#include "engine/engine.h"
#include "engine/engine_write_access.h"
#include "show/show.h"
#include "test_support.h"

namespace quor {
namespace {

using test::ConsoleCapture;

// File bytes put together field by field, independently of the writer.
struct FileBytes {
  std::vector<uint8_t> bytes;
  FileBytes& I32(std::initializer_list<int32_t> values) {
    for (const int32_t v : values) {
      for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
    }
    return *this;
  }
  // `text` in a zero-padded field of `size` bytes.
  FileBytes& Text(std::string_view text, size_t size) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.resize(bytes.size() + size - text.size(), 0);
    return *this;
  }
};

// Where the hand-built file keeps the fields the damage tests change.
struct Offsets {
  size_t sceneCount = 0, chaseCount = 0, stepCount = 0, deviceCount = 0, width = 0, patch = 0, pixelStep = 0;
};

// A 4 x 4 project in the layout of `version`: one scene, one chase, one device, patched pixels.
std::vector<uint8_t> SmallProject(int version, Offsets* at = nullptr) {
  Offsets o;
  FileBytes f;
  f.bytes = {'Q', 'R', 'X', '!', 0, static_cast<uint8_t>('0' + version)};
  o.sceneCount = f.bytes.size();
  f.I32({1}).Text("Intro", 256);                    // one scene: name,
  f.I32({7, 0, 0, 0, 25, 20, 15, 10, 0, 1, 0, 0});  // generator types, speeds and inverts per slot,
  f.Text("\1\2\3", 4 * 1024);                       // the four settings blocks,
  f.I32({0, 2, 0, 128, 128, 200});                  // merge modes and masterfades per mix
  if (version >= 3) {
    o.chaseCount = f.bytes.size();
    f.I32({1}).Text("Run", 256).I32({1});        // one chase: name, loop,
    o.stepCount = f.bytes.size();
    f.I32({2, 5, 0});                            // step count, step capacity, pointer word,
    f.I32({0, 0, 3, 0, 2000, 2, 1, 0, 1, 500});  // scene 0 with fade 3 for 2 s, glide to the centre for 0.5 s
  }
  o.deviceCount = f.bytes.size();
  f.I32({1, 0}).Text("10.0.0.5", 16);                 // one device: driver Art-Net, address,
  f.I32({6454, 48, 0, 1, 2, 0, 18, 0});               // port, channels, Net, subnet, universe, buffer, header, handle
  if (version >= 4) f.I32({1}).Text("out.bin", 256);  // redirect, path
  o.width = f.bytes.size();
  f.I32({4, 4, 0, 1});                                // matrix 4 x 4, preview aspect 0, grid 1
  f.I32({10, 20, 360, 500, 100, 50});                 // show window left, top, width, height, buttons
  f.I32({200, 150, 1, 10});                           // master, gamma, fade enabled, fade step
  o.pixelStep = f.bytes.size();
  f.I32({2, 0});                                      // PixelStep, audio AGC
  o.patch = f.bytes.size();
  f.I32({0, 0, 1, 2, 0, 5, 4, 3});                    // pixels (0,0) and (1,0) on device 0
  for (int i = 2; i < 15; ++i) f.I32({-1, 0, 0, 0});  // unpatched
  f.I32({-2, 9, 9, 9});                               // pixel (3,3): a foreign negative device
  f.I32({0, 3});                                      // outputs running flag, StrobeTime
  // Remote input (Art-Net, port, listen port, Net, subnet, universe, channel, handle, limit), RemoteControlEnabled.
  if (version >= 2) f.I32({2}).Text("", 16).I32({6454, 0, 0, 3, 0, 0, 1, 0});
  if (at) *at = o;
  return f.bytes;
}

void PutI32At(std::vector<uint8_t>& bytes, size_t offset, int32_t v) {
  for (size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}

// -1 when equal, otherwise the first offset where the two differ.
long FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  return a == b ? -1 : std::ranges::mismatch(a, b).in1 - a.begin();
}

OutputDevice BitmapDevice(const std::string& folder) {
  OutputDevice d;
  d.driver = kDriverBitmapExport;
  d.SetPath(folder);
  return d;
}

class ProjectFileTest : public testing::Test {
 protected:
  Engine engine_{test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1}};
  ConsoleCapture capture_{engine_.console()};
};

// The hand-built bytes are read into the live state and written back byte for byte.
TEST_F(ProjectFileTest, ReadsTheGoldenBytesAndWritesThemBack) {
  std::vector<uint8_t> padded = SmallProject(4);
  padded.insert(padded.end(), {1, 2, 3});
  ASSERT_EQ(LoadProjectBytes(engine_, padded).status, ProjectFileStatus::kDone);
  EXPECT_EQ(FirstDifference(SerializeProject(engine_), SmallProject(4)), -1);
  // The same size again is no resize (the slots keep running); another grid is one.
  EXPECT_FALSE(LoadProjectBytes(engine_, padded).matrixResized);
  WindowLayout noGrid = engine_.windowLayout();
  noGrid.previewGrid = 0;
  engine_.SetWindowLayout(noGrid);
  EXPECT_TRUE(LoadProjectBytes(engine_, padded).matrixResized);

  const Scene& scene = engine_.show().scenes().at(0);
  EXPECT_EQ(std::tuple(scene.Name(), scene.types[0], scene.speeds[3], scene.inverts[1], scene.settings[0][2],
                       scene.mergeModes[1], scene.masterfades[2]),
            std::tuple("Intro", 7, 10, 1, 3, 2, 200));
  EXPECT_EQ(engine_.show().chases().at(0).steps[1], (ChaseStep{kStepCrossfade, 1, 0, 1, 500}));
  const OutputDevice& d = engine_.outputs().devices()[0];
  EXPECT_EQ(std::tuple(std::string(d.AddressText()), std::string(d.PathText()), d.port, d.channels, d.subnet,
                       d.universe, d.headerLength, d.redirect),
            std::tuple("10.0.0.5", "out.bin", 6454, 48, 1, 2, 18, 1));
  const EngineSettings& s = engine_.settings();
  EXPECT_EQ((std::array{engine_.width(), engine_.height(), engine_.windowLayout().showWindow.left,
                        engine_.windowLayout().showWindow.top, s.masterLevel.load(), s.gammaSetting.load(),
                        s.pixelStep.load(), s.strobeTime.load(), engine_.audio().agcEnabled.load()}),
            (std::array{4, 4, 10, 20, 200, 150, 2, 3, 0}));
  EXPECT_EQ(engine_.patch().At(3, 3), (PatchEntry{-2, 9, 9, 9}));
  const RemoteInputSettings& remote = engine_.remoteInputSettings();
  EXPECT_EQ(std::pair(remote.universe, remote.limitTo32), std::pair(3, 1));
}

TEST_F(ProjectFileTest, ReadsVersionsOneToThreeWithTheirDifferences) {
  engine_.show().chases().InsertChase(0, "Old");
  engine_.remoteInputSettings().SetPortName("ttyUSB1");
  engine_.SetRemoteControlEnabled(true);
  const RemoteInputSettings kept = engine_.remoteInputSettings();

  // Version 1: no chases (the list is emptied), 52-byte devices, remote settings kept.
  ASSERT_EQ(LoadProjectBytes(engine_, SmallProject(1)).status, ProjectFileStatus::kDone);
  EXPECT_EQ(engine_.show().chases().count(), 0);
  const OutputDevice& device = engine_.outputs().devices()[0];
  EXPECT_EQ(std::tuple(device.channels, device.redirect, device.PathText()), std::tuple(48, 0, std::string_view()));
  EXPECT_EQ(engine_.remoteInputSettings(), kept);
  EXPECT_EQ(engine_.settings().remoteControlEnabled.load(), 1);
  EXPECT_EQ(engine_.patch().At(1, 0), (PatchEntry{0, 5, 4, 3}));

  // Version 2 brings the remote-control settings; version 3 the chases.
  ASSERT_EQ(LoadProjectBytes(engine_, SmallProject(2)).status, ProjectFileStatus::kDone);
  EXPECT_EQ(std::pair(engine_.remoteInputSettings().limitTo32, engine_.settings().remoteControlEnabled.load()),
            std::pair(1, 0));
  capture_.Clear();
  ASSERT_EQ(LoadProjectBytes(engine_, SmallProject(3)).status, ProjectFileStatus::kDone);
  ASSERT_EQ(engine_.show().chases().count(), 1);
  EXPECT_EQ(engine_.show().chases().at(0).steps[0], (ChaseStep{kStepScene, 0, 3, 0, 2000}));
  EXPECT_EQ(capture_.Text(), "Scenes: 1 Malloc 25\nChases: 1 Malloc 5\nDevices: 1 Malloc 5\n");
}

TEST_F(ProjectFileTest, RefusedFilesLeaveEverythingAsItWas) {
  Offsets at;
  const std::vector<uint8_t> good = SmallProject(4, &at);
  struct Damage {
    const char* what;
    size_t offset;
    int32_t value;
    const char* message = kUnknownFileFormatMessage;
  };
  const Damage damages[] = {
      {"no '!' in the magic", 0, 0x3F585251},
      {"a nonzero fifth byte", 4, 0x3401},                 // bytes 4, 5: 01 "4"
      {"version 5", 4, 0x3500, kNewerFileVersionMessage},  // bytes 4, 5: 00 "5"
      {"more scenes than bytes", at.sceneCount, 2},       {"a negative scene count", at.sceneCount, -1},
      {"a huge chase count", at.chaseCount, 0x7FFFFFFF},  {"steps above the capacity", at.stepCount, 6},
      {"a negative step count", at.stepCount, -1},        {"more devices than bytes", at.deviceCount, 3},
      {"a matrix 3 wide", at.width, 3},                   {"a matrix 321 wide", at.width, 321},
      {"200 x 100 pixels", at.width, 200},
      {"a patch entry past the devices", at.patch, 1},
      {"a driver this build does not know", at.deviceCount + 4, kDriverCount},
  };
  // Every cut-off file, at any length, is refused.
  for (size_t length = 0; length < good.size(); ++length) {
    const Result<ProjectData> cut = ParseProject(std::span(good).first(length));
    ASSERT_FALSE(cut.ok()) << length;
    ASSERT_EQ(cut.failure().message, kUnknownFileFormatMessage) << length;
  }

  // The live state: running outputs, a scene and a chase.
  engine_.outputs().devices().Add(BitmapDevice(test::FreshTestDir("project_refused")));
  ASSERT_EQ(engine_.outputs().OpenOutputs(), std::nullopt);
  engine_.show().scenes().InsertAt(0), engine_.show().chases().InsertChase(0, "Mine");
  const std::vector<uint8_t> before = SerializeProject(engine_);
  capture_.Clear();
  for (const Damage& d : damages) {
    std::vector<uint8_t> bytes = good;
    PutI32At(bytes, d.offset, d.value);
    if (d.offset == at.width && d.value == 200) PutI32At(bytes, at.width + 4, 100);
    const ProjectFileResult result = LoadProjectBytes(engine_, bytes);
    EXPECT_EQ(result.status, ProjectFileStatus::kRefused) << d.what;
    EXPECT_EQ(result.messages, std::vector<std::string>{d.message}) << d.what;
    if (d.offset < at.deviceCount) {  // the damage lies in what an import reads
      EXPECT_EQ(ImportProjectBytes(engine_, bytes).messages, std::vector<std::string>{d.message}) << d.what;
    }
  }
  EXPECT_EQ(FirstDifference(SerializeProject(engine_), before), -1);
  EXPECT_EQ(engine_.flags().outputState.load(), kOutputRunning);
  EXPECT_EQ(capture_.Text(), "");
}

TEST_F(ProjectFileTest, RangedSettingsAreBroughtIntoRangeAndImportIgnoresTheTail) {
  Offsets at;
  std::vector<uint8_t> bytes = SmallProject(4, &at);
  PutI32At(bytes, at.pixelStep - 16, 999);    // MasterLevel
  PutI32At(bytes, at.pixelStep - 12, 0);      // GammaSetting
  PutI32At(bytes, at.pixelStep - 4, -7);      // SceneFadeStep
  PutI32At(bytes, at.pixelStep, 0x7FFFFFFF);  // PixelStep
  const Result<ProjectData> project = ParseProject(bytes);
  ASSERT_TRUE(project.ok());
  EXPECT_EQ(std::make_tuple(project->masterLevel, project->gammaSetting, project->sceneFadeStep, project->pixelStep),
            std::make_tuple(255, 1, 4, 4));

  // A file that breaks off after its chases still imports, but does not load.
  bytes.resize(at.deviceCount);
  EXPECT_FALSE(ParseProject(bytes).ok());
  EXPECT_TRUE(ParseProject(bytes, ProjectScope::kScenesAndChases).ok());
}

TEST_F(ProjectFileTest, AMissingFileOrAFolderIsNoError) {
  const std::string folder = test::FreshTestDir("project_missing");
  EXPECT_EQ(LoadProject(engine_, folder + "/autosave.dat").status, ProjectFileStatus::kNoFile);
  EXPECT_EQ(ImportProject(engine_, folder).status, ProjectFileStatus::kNoFile);
  EXPECT_EQ(capture_.Text(), "");
}

TEST_F(ProjectFileTest, OutputsAreReopenedWithTheLoadedDevicesOrTheFailureIsReported) {
  const std::string folder = test::FreshTestDir("project_outputs");
  Engine source(test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1});
  source.console().SetSink([](std::string_view) {});
  OutputDevice artnet;
  artnet.port = 9, artnet.channels = 3, artnet.SetAddress("127.0.0.1");
  source.outputs().devices().Add(artnet);
  // Running before the load, a running flag of 0 in the file: reopened.
  engine_.outputs().devices().Add(BitmapDevice(folder));
  ASSERT_EQ(engine_.outputs().OpenOutputs(), std::nullopt);
  EXPECT_TRUE(LoadProjectBytes(engine_, SerializeProject(source)).outputsRunning);
  EXPECT_EQ(engine_.outputs().socketsOpened(), 1);  // the Art-Net device's socket

  // Stopped before, a running flag of 1 and a device that cannot open.
  engine_.outputs().CloseOutputs();
  OutputDevice recorder = BitmapDevice(folder + "/missing/rec.dat");
  recorder.driver = kDriverFileRecorder;
  source.outputs().devices().Add(recorder);
  EngineWriteAccess::Flags(source).outputState = kOutputRunning;  // as it was when saved
  const ProjectFileResult result = LoadProjectBytes(engine_, SerializeProject(source));
  EngineWriteAccess::Flags(source).outputState = kOutputStopped;
  EXPECT_FALSE(result.outputsRunning);
  EXPECT_EQ(result.messages, std::vector<std::string>{kOpenOutputsFailedMessage});
  EXPECT_EQ(engine_.flags().outputState.load(), kOutputStopped);
}

TEST_F(ProjectFileTest, LoadStopsTheChaseAndUsesTheRemoteInputAndDesktopHooks) {
  engine_.show().scenes().InsertAt(0), engine_.show().chases().InsertChase(0, "Long");
  engine_.show().chases().InsertStep(0, 0, ChaseStep{kStepScene, 0, 0, 0, 5000});
  engine_.show().player().StartChase(1), engine_.RunMixPass();
  EngineWriteAccess::Flags(engine_).remoteInputActive = true;

  Offsets at;
  std::vector<uint8_t> bytes = SmallProject(4, &at);
  PutI32At(bytes, bytes.size() - 4, 1);  // RemoteControlEnabled
  PutI32At(bytes, at.width + 16, 1881);  // ShowWindowLeft: right edge 1920 - 39
  PutI32At(bytes, at.width + 20, 1030);  // ShowWindowTop: bottom edge 1080 - 50
  std::vector<int> calls;  // the remote universe at each close and open
  ProjectLoadHooks hooks;
  hooks.closeRemoteInput = [&] { calls.push_back(engine_.remoteInputSettings().universe); };
  hooks.openRemoteInput = [&] { return calls.push_back(engine_.remoteInputSettings().universe), false; };
  hooks.desktop = ScreenEdges{1920, 1080};
  capture_.Clear();
  const ProjectFileResult result = LoadProjectBytes(engine_, bytes, hooks);
  EXPECT_EQ(capture_.Text().rfind("Chase stopped.\nScenes: 1", 0), 0u);
  EXPECT_EQ(calls, (std::vector<int>{0, 3}));  // closed with the old settings, opened with the loaded ones
  EXPECT_EQ(result.messages, std::vector<std::string>{kOpenRemoteInputFailedMessage});
  EXPECT_FALSE(result.remoteControlEnabled || engine_.settings().remoteControlEnabled.load());
  EXPECT_EQ(std::pair(engine_.windowLayout().showWindow.left, engine_.windowLayout().showWindow.top),
            std::pair(0, 1030));
}

TEST_F(ProjectFileTest, ImportAppendsScenesAndChasesAndShiftsSceneSteps) {
  for (int i = 0; i < 5; ++i) engine_.show().scenes().InsertAt(i);
  engine_.show().chases().InsertChase(0, "Mine");
  engine_.show().chases().InsertStep(0, 0, ChaseStep{kStepScene, 4, 0, 0, 3000}), capture_.Clear();
  ASSERT_EQ(ImportProjectBytes(engine_, SmallProject(4)).status, ProjectFileStatus::kDone);
  EXPECT_EQ(capture_.Text(), "Scenes: 6 Malloc 25\nChases: 2 Malloc 5\n");
  EXPECT_EQ(engine_.show().scenes().at(5).Name(), "Intro");
  // Existing chases keep their scenes; imported scene steps move, others not.
  const ChaseStore& chases = engine_.show().chases();
  EXPECT_EQ((std::array{chases.at(0).steps[0].value, chases.at(1).steps[0].value, chases.at(1).steps[1].value}),
            (std::array{4, 5, 1}));
  EXPECT_EQ(engine_.outputs().devices().count(), 0);  // devices are not imported
  // A version 2 file brings its scenes only.
  ASSERT_EQ(ImportProjectBytes(engine_, SmallProject(2)).status, ProjectFileStatus::kDone);
  EXPECT_EQ(std::pair(engine_.show().scenes().count(), engine_.show().chases().count()), std::pair(7, 2));
}

// An import that would take the show past a record limit is refused whole, saying which.
TEST_F(ProjectFileTest, ImportBeyondTheShowLimitsChangesNothing) {
  ProjectData file;
  file.scenes.resize(2), file.chases.resize(2);
  const std::vector<uint8_t> bytes = EncodeProject(file);
  const struct {
    int scenes, chases;
    std::string refusal;  // empty: imported
  } rows[] = {
      {kMaxShowScenes - 2, kMaxShowChases - 2, ""},
      {kMaxShowScenes - 1, 0, "Import refused: the show would hold more than 10000 scenes (it holds 9999, the file "
                              "adds 2). Delete some scenes before importing."},
      {0, kMaxShowChases - 1, "Import refused: the show would hold more than 250 chases (it holds 249, the file "
                              "adds 2). Delete some chases before importing."},
  };
  for (const auto& row : rows) {
    ASSERT_TRUE(engine_.show().scenes().ReplaceAll(std::vector<Scene>(static_cast<size_t>(row.scenes))));
    ASSERT_TRUE(engine_.show().chases().ReplaceAll(std::vector<Chase>(static_cast<size_t>(row.chases))));
    const ProjectFileResult result = ImportProjectBytes(engine_, bytes);
    EXPECT_EQ(result.messages, row.refusal.empty() ? std::vector<std::string>{} : std::vector{row.refusal});
    const int added = row.refusal.empty() ? 2 : 0;
    EXPECT_EQ(std::pair(engine_.show().scenes().count(), engine_.show().chases().count()),
              std::pair(row.scenes + added, row.chases + added));
  }
}

// A save never writes what a load refuses.
TEST_F(ProjectFileTest, ProjectsBeyondTheRecordLimitsAreNeitherReadNorWritten) {
  ProjectData project;
  project.chases.resize(1);
  for (const int steps : {kMaxProjectChaseSteps, kMaxProjectChaseSteps + 1}) {
    project.chases[0].steps.resize(static_cast<size_t>(steps));
    const std::vector<uint8_t> bytes = EncodeProject(project);
    EXPECT_LT(bytes.size(), MaxProjectFileBytes());
    EXPECT_EQ(ParseProject(bytes).ok(), steps <= kMaxProjectChaseSteps) << steps;
  }
  EXPECT_EQ(ProjectLimitExceeded(project), "a chase of more than " + std::to_string(kMaxProjectChaseSteps) + " steps");
  // Every record kind at its limit fits below the file limit.
  EXPECT_GE(MaxProjectFileBytes(), size_t{kMaxProjectScenes} * kSceneRecordSize + kMaxMatrixPixels * 16u);

  const std::string path = test::FreshTestDir("project_limits") + "/show.qrx";
  ASSERT_EQ(SaveProject(engine_, path).status, ProjectFileStatus::kDone);
  ASSERT_TRUE(engine_.show().chases().ReplaceAll(std::move(project.chases)));
  const ProjectFileResult failed = SaveProject(engine_, path);
  EXPECT_EQ(failed.status, ProjectFileStatus::kWriteFailed);
  EXPECT_EQ(failed.reason, "the project holds a chase of more than " + std::to_string(kMaxProjectChaseSteps) + " steps");
  EXPECT_EQ(LoadProject(engine_, path).status, ProjectFileStatus::kDone);  // the old file is still there
}

}  // namespace
}  // namespace quor
