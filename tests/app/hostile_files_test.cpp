// The real quor binary against files and folders that used to hang it or cost the last show.
#include <sys/stat.h>

#include <filesystem>

#include "audio/audio_capture.h"
#include "files/safe_file.h"
#include "quor_run.h"
#include "tests/generators/image_files.h"
#include "show/show.h"

namespace quor {
namespace {

namespace fs = std::filesystem;
using test::Shell;
using test::ShellRun;

std::string Quor(const fs::path& configDir, const std::string& args = "") {
  return std::string(QUOR_BINARY) + " --headless --seconds=0 --config-dir=" + configDir.string() + " " + args;
}

int ScenesIn(const fs::path& project) {
  Engine engine(BuiltinGenerators(), {FrameClock::Mode::kManual, 1});
  return LoadProject(engine, project.string()).status == ProjectFileStatus::kDone ? engine.show().scenes().count()
                                                                                   : -1;
}

const std::string kDemo = std::string(QUOR_SOURCE_DIR) + "/share/demo.qrx";

void ExpectSays(const ShellRun& run, std::initializer_list<std::string> lines) {
  for (const std::string& line : lines) EXPECT_TRUE(run.Says(line)) << line << "\n" << run.output;
}

TEST(HostileFiles, FifosAndEndlessProjectsAreRefusedWithoutBlockingOrReading) {
  const fs::path dir = test::FreshTestDir("hostile_project");
  ASSERT_EQ(::mkfifo((dir / "show.qrx").c_str(), 0600), 0);
  // "QRX!", zero, then zeros far beyond any project (a sparse file).
  std::ofstream(dir / "endless.qrx", std::ios::binary).write("QRX!\0", 5);
  fs::resize_file(dir / "endless.qrx", uintmax_t{64} << 30);
  for (const char* name : {"show.qrx", "endless.qrx"}) {
    const ShellRun run = Shell(Quor(dir, (dir / name).string()));
    EXPECT_EQ(run.exitCode, 0) << name << "\n" << run.output;
    ExpectSays(run, {"Error: Unknown File Format.", "Could not load " + (dir / name).string() + ": ", "shutdown"});
  }
  // An autosave that is a FIFO is refused the same way and kept aside.
  fs::remove(dir / "autosave.dat");
  ASSERT_EQ(::mkfifo((dir / "autosave.dat").c_str(), 0600), 0);
  const ShellRun run = Shell(Quor(dir));
  EXPECT_TRUE(run.Says("Error: Unknown File Format.")) << run.output;
  EXPECT_TRUE(fs::is_fifo(dir / "autosave.dat.bad") && fs::is_regular_file(dir / "autosave.dat"));
}

TEST(HostileFiles, AProjectThatCannotBeLoadedLeavesTheLastShowInTheBackup) {
  const fs::path dir = test::FreshTestDir("hostile_backup");
  ASSERT_EQ(Shell(Quor(dir, kDemo)).exitCode, 0);
  ASSERT_EQ(ScenesIn(dir / "autosave.dat"), ScenesIn(kDemo));
  EXPECT_FALSE(fs::exists(dir / "autosave.dat.bak"));  // there was no autosave before

  // A missing, then a refused file: each run says so; the autosave holds the empty project, the backup the show.
  std::ofstream(dir / "damaged.qrx") << "QRX?";
  const std::string missing = (dir / "missing.qrx").string(), damaged = (dir / "damaged.qrx").string();
  for (const std::string& says : {missing + ": No such file or directory", damaged + ": Unknown File Format."}) {
    const ShellRun run = Shell(Quor(dir, says.substr(0, says.find(": "))));
    EXPECT_TRUE(run.Says("Could not load " + says)) << run.output;
  }
  EXPECT_EQ(ScenesIn(dir / "autosave.dat"), 0);
  EXPECT_EQ(ScenesIn(dir / "autosave.dat.bak"), ScenesIn(kDemo));
}

TEST(HostileFiles, StaleTemporariesAreRemovedAndUnusableConfigDirsRefusedAtStart) {
  const fs::path dir = test::FreshTestDir("hostile_config");
  const pid_t dead = ::fork();  // a process id that no longer runs
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  const fs::path stray = dir / ("autosave.dat" + std::string(kTemporaryMarker) + std::to_string(dead) + "-0badf00d");
  std::ofstream(stray) << std::string(100000, 'x');
  EXPECT_EQ(Shell(Quor(dir)).exitCode, 0);
  EXPECT_FALSE(fs::exists(stray));

  std::ofstream(dir / "plain") << "x";
  for (const fs::path& unusable : {dir / "plain", dir / "plain" / "below"}) {
    const ShellRun run = Shell(Quor(unusable));
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_TRUE(run.Says("quor: cannot use --config-dir " + unusable.string() + ": Not a directory")) << run.output;
    EXPECT_FALSE(run.Says("Try to load file")) << run.output;
  }
  // A folder path so long that the autosave's backup and temporaries would not fit beside it.
  fs::path deep = dir;
  while (deep.string().size() < 4066) deep /= std::string(std::min<size_t>(200, 4066 - deep.string().size() - 1), 'd');
  const ShellRun run = Shell(Quor(deep));
  EXPECT_EQ(run.exitCode, 1) << run.output;
  EXPECT_TRUE(run.Says("quor: cannot use --config-dir " + deep.string() + ": File name too long")) << run.output;
}

// A full disk under the autosave: a small filled tmpfs in a private mount namespace.
TEST(HostileFiles, AFullDiskKeepsTheOldAutosaveAndSaysSo) {
  if (Shell("unshare -rm true").exitCode != 0) GTEST_SKIP() << "no user namespaces for a private tmpfs here";
  const fs::path dir = test::FreshTestDir("hostile_full_disk");
  ASSERT_EQ(Shell(Quor(dir / "seed", kDemo)).exitCode, 0);
  const fs::path disk = dir / "disk";
  fs::create_directory(disk);
  // The tmpfs exists only inside the namespace: the results are copied out.
  const ShellRun run = Shell("unshare -rm sh -c \"mount -t tmpfs -o size=512k tmpfs " + disk.string() + " && cp " +
                        (dir / "seed" / "autosave.dat").string() + " " + disk.string() + "/ && (dd if=/dev/zero of=" +
                        disk.string() + "/filler bs=4k 2>/dev/null; true) && " + Quor(disk, "--matrix=40x20") +
                        "; echo exit=\\$?; cp " + disk.string() + "/autosave.dat " + dir.string() + "/after.dat\"");
  ExpectSays(run, {"Failed to save " + (disk / "autosave.dat").string() + ": No space left on device", "exit=1"});
  std::ifstream before(dir / "seed" / "autosave.dat", std::ios::binary), after(dir / "after.dat", std::ios::binary);
  EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(before), {}, std::istreambuf_iterator<char>(after), {}));
  EXPECT_EQ(ScenesIn(dir / "after.dat"), ScenesIn(kDemo));
}

// A project whose outputs run, with one device writing into `file`.
void SaveFileDeviceShow(const fs::path& project, int driver, const std::string& file) {
  Engine setup(BuiltinGenerators(), {FrameClock::Mode::kManual, 1});
  OutputDevice device;
  device.driver = driver, device.channels = 6, device.redirect = 1;
  device.SetPath(file);
  setup.outputs().devices().Add(device);
  setup.patch().At(0, 0) = PatchEntry{0, 0, 1, 2};
  ProjectData data = CaptureProject(setup);
  data.outputRunning = 1;
  test::WriteFile(project.string(), EncodeProject(data));
}

// A FIFO without a reader as the recorder file or a redirection file: start-up goes on, says why, and SIGTERM ends it.
TEST(HostileFiles, AFifoAsOutputFileNeitherBlocksStartUpNorTheStopSignal) {
  const fs::path dir = test::FreshTestDir("hostile_fifo_output");
  ASSERT_EQ(::mkfifo((dir / "out.fifo").c_str(), 0600), 0);
  for (int driver : {kDriverFileRecorder, kDriverTpm2}) {
    const fs::path project = dir / ("show" + std::to_string(driver) + ".qrx");
    SaveFileDeviceShow(project, driver, (dir / "out.fifo").string());
    const std::string quor = std::string(QUOR_BINARY) + " --headless --config-dir=" + dir.string() + " " + project.string();
    const ShellRun run = Shell("timeout -s TERM 2 " + quor + "; echo exit=$?");
    // exit=124: still running after 2 s, then ended by SIGTERM.
    ExpectSays(run, {"exit=124", "cannot create " + (dir / "out.fifo").string() + ": is a FIFO, not a regular file",
                     "Error: Failed to open output.", "shutdown"});
    EXPECT_TRUE(fs::is_regular_file(dir / "autosave.dat"));
  }
}

// An output file on a full disk stops with one message naming it, and the program goes on.
TEST(HostileFiles, AFullDiskUnderAnOutputFileIsSaidOnce) {
  if (Shell("unshare -rm true").exitCode != 0) GTEST_SKIP() << "no user namespaces for a private tmpfs here";
  const fs::path dir = test::FreshTestDir("hostile_full_output");
  const fs::path disk = dir / "disk";
  fs::create_directory(disk);
  SaveFileDeviceShow(dir / "show.qrx", kDriverFileRecorder, (disk / "take.out").string());
  const ShellRun run = Shell("unshare -rm sh -c \"mount -t tmpfs -o size=16k tmpfs " + disk.string() + " && " +
                             QUOR_BINARY + " --headless --seconds=2 --config-dir=" + dir.string() + " " +
                             (dir / "show.qrx").string() + "\"");
  const std::string says = "Output 1 stopped writing " + (disk / "take.out").string() + ": No space left on device.";
  EXPECT_EQ(test::Count(run.output, says), 2) << run.output;  // the console line and the error
  ExpectSays(run, {"Error: " + says, "shutdown"});
}

// Without any sound card the sound libraries stay quiet and quor says it in one line.
TEST(HostileFiles, NoSoundInputGivesOneLineInsteadOfLibraryNoise) {
  const fs::path dir = test::FreshTestDir("hostile_no_sound");
  std::ofstream(dir / "asound.conf") << "</usr/share/alsa/alsa.conf>\n"
                                     << "pcm.!default { type hw card 97 }\nctl.!default { type hw card 97 }\n";
  const ShellRun run = Shell("ALSA_CONFIG_PATH=" + (dir / "asound.conf").string() + " " + Quor(dir));
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(fs::exists("/dev/snd") || run.Says(kNoInputDevice)) << run.output;
  EXPECT_FALSE(run.Says("ALSA lib") || run.Says("jack") || run.Says("JACK")) << run.output;
}

}  // namespace
}  // namespace quor
