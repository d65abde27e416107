// Reading and replacing files without blocking, losing the last good copy or leaving temporaries behind.
#include "files/safe_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "engine/engine.h"
#include "engine/project_file.h"
#include "test_support.h"

namespace quor {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// The reason of a failure; "" when the operation worked.
std::string Why(const std::optional<Failure>& failed) { return failed ? failed->message : ""; }

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

int Temporaries(const fs::path& dir) {  // names in `dir` that carry the temporary marker
  int n = 0;
  for (const auto& entry : fs::directory_iterator(dir)) n += entry.path().filename().string().find(kTemporaryMarker) != std::string::npos;
  return n;
}

TEST(SafeFile, ReadsOnlyRegularFilesWithinTheLimitAndNeverBlocks) {
  const fs::path dir = test::FreshTestDir("safe_file_read");
  std::ofstream(dir / "ten") << "0123456789";
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  const struct { std::string name; size_t limit; FileReadStatus status; } cases[] = {
      {"ten", 10, FileReadStatus::kDone},         {"ten", 9, FileReadStatus::kTooLarge},
      {"fifo", 100, FileReadStatus::kNotRegular}, {".", 100, FileReadStatus::kMissing},
      {"missing", 100, FileReadStatus::kMissing}, {"/dev/zero", 100, FileReadStatus::kNotRegular},
  };
  test::FinishesWithin(5000, "reading a FIFO or device", [&] {
    for (const auto& c : cases) {
      const FileReadResult read = ReadRegularFile(c.name.front() == '/' ? c.name : (dir / c.name).string(), c.limit);
      EXPECT_EQ(read.status, c.status) << c.name << " " << read.reason;
      EXPECT_EQ(read.bytes.size(), c.status == FileReadStatus::kDone ? 10u : 0u) << c.name;
      EXPECT_EQ(read.reason.empty(), c.status == FileReadStatus::kDone) << c.name;
    }
  });
}

TEST(SafeFile, ReplaceKeepsTheModeAndLeavesNoTemporary) {
  const fs::path dir = test::FreshTestDir("safe_file_replace");
  const std::string path = (dir / "show.qrx").string();
  EXPECT_EQ(Why(ReplaceFile(path, Bytes("first"))), "");
  ::chmod(path.c_str(), 0640);
  EXPECT_EQ(Why(ReplaceFile(path, Bytes("second"))), "");
  EXPECT_EQ(std::make_tuple(Contents(path), fs::status(path).permissions(), Temporaries(dir)),
            std::make_tuple(std::string("second"), fs::perms(0640), 0));
  EXPECT_TRUE(FileHoldsBytes(path, Bytes("second")) && !FileHoldsBytes(path, Bytes("secont")));
  EXPECT_NE(Why(ReplaceFile((dir / "no-such-folder" / "x").string(), Bytes("x"))), "");
  fs::create_symlink("show.qrx", dir / "link.qrx");
  EXPECT_EQ(Why(ReplaceFile((dir / "link.qrx").string(), Bytes("third"))), "");
  EXPECT_TRUE(fs::is_symlink(dir / "link.qrx") && Contents(path) == "third");
}

// A write refused half way (the file size limit, as a full disk): the old file stays whole, the reason is the real one.
TEST(SafeFile, AFailedWriteKeepsTheOldFileAndSaysWhy) {
  const fs::path dir = test::FreshTestDir("safe_file_fail");
  const std::string path = (dir / "autosave.dat").string();
  ASSERT_EQ(Why(ReplaceFile(path, Bytes("the last good show"))), "");
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{100, 100};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const std::string why = Why(ReplaceFile(path, std::vector<uint8_t>(4096, 'x')));
    (void)!::write(fds[1], why.data(), why.size());
    ::_exit(0);
  }
  ::close(fds[1]);
  char buffer[256] = {};
  const ssize_t n = ::read(fds[0], buffer, sizeof buffer - 1);
  ::close(fds[0]);
  ::waitpid(child, nullptr, 0);
  EXPECT_EQ(std::string(buffer, size_t(std::max<ssize_t>(n, 0))), "File too large");
  EXPECT_EQ(std::make_pair(Contents(path), Temporaries(dir)), std::make_pair(std::string("the last good show"), 0));
}

TEST(SafeFile, BackupIsOneGenerationAndStaleTemporariesOfDeadWritersGo) {
  const fs::path dir = test::FreshTestDir("safe_file_backup");
  const std::string path = (dir / "autosave.dat").string(), backup = path + ".bak";
  EXPECT_TRUE(Why(ReplaceBackup(path, backup)).empty() && !fs::exists(backup));  // nothing to keep yet
  for (const char* generation : {"one", "two", "three"}) {
    ASSERT_EQ(Why(ReplaceBackup(path, backup)), "");
    ASSERT_EQ(Why(ReplaceFile(path, Bytes(generation))), "");
  }
  EXPECT_EQ(std::make_pair(Contents(path), Contents(backup)), std::make_pair(std::string("three"), std::string("two")));

  // A writer that has exited, one still running (our parent), and look-alikes.
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  const std::string deadName = "autosave.dat" + std::string(kTemporaryMarker) + std::to_string(dead) + "-1a2b";
  const std::string liveName = "autosave.dat" + std::string(kTemporaryMarker) + std::to_string(::getppid()) + "-1a2b";
  for (const std::string& name : {deadName, liveName, std::string("autosave.dat.quor-tmp-x"), std::string("notes")}) std::ofstream(dir / name) << "stray";
  EXPECT_EQ(RemoveStaleTemporaries(dir.string()), 1);
  EXPECT_TRUE(!fs::exists(dir / deadName) && fs::exists(dir / liveName) && fs::exists(dir / "notes") && fs::exists(dir / "autosave.dat.quor-tmp-x"));
}

// A save killed between writing and renaming: opening or saving the project removes what it left, nothing else.
TEST(SafeFile, OpeningOrSavingAProjectRemovesTheTemporariesAKilledSaveLeftBesideIt) {
  const fs::path dir = test::FreshTestDir("safe_file_project_strays");
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  const std::string marker = kTemporaryMarker + std::to_string(dead);
  const std::string project = (dir / "show.qrx").string();
  Engine engine(test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1});
  const std::function<void()> operations[] = {[&] { SaveProject(engine, project); },
                                              [&] { LoadProject(engine, project); },
                                              [&] { SaveProjectKeepingBackup(engine, project); }};
  for (const auto& operation : operations) {
    for (const std::string& name : {"show.qrx" + marker + "-0badf00d", "show.qrx.bak" + marker + "-link0", "other.qrx" + marker + "-1"}) {
      std::ofstream(dir / name) << "stray";
    }
    operation();
    EXPECT_EQ(Temporaries(dir), 1);
    EXPECT_TRUE(fs::exists(dir / ("other.qrx" + marker + "-1")));
  }
}

TEST(SafeFile, NamesWhoseTemporariesWouldNotFitAreRefused) {
  const std::string folder(4000, 'd');
  EXPECT_EQ(Why(CheckNamesFit(folder + "/autosave.dat.bak")), "");
  EXPECT_EQ(Why(CheckNamesFit(folder + std::string(66, 'd') + "/autosave.dat.bak")), "File name too long");
  EXPECT_EQ(Why(CheckNamesFit(std::string(200, 'n'))), "");
  EXPECT_EQ(Why(CheckNamesFit("/tmp/" + std::string(240, 'n'))), "File name too long");  // the temporary's own name
}

TEST(SafeFile, UnusableFoldersAreNamedWithTheReason) {
  const fs::path dir = test::FreshTestDir("safe_file_folder");
  std::ofstream(dir / "plain") << "x";
  EXPECT_TRUE(Why(CheckFolderUsable((dir / "new" / "deeper").string())).empty() && fs::is_directory(dir / "new" / "deeper"));
  EXPECT_EQ(Why(CheckFolderUsable((dir / "plain" / "below").string())), "Not a directory");
  if (::geteuid() != 0) {  // root may write anywhere
    fs::create_directory(dir / "locked");
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(Why(CheckFolderUsable((dir / "locked").string())), "Permission denied");
    fs::permissions(dir / "locked", fs::perms::owner_all);
  }
}

}  // namespace
}  // namespace quor
