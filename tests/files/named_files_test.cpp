// Every opener of a given name against names that hung or failed it: FIFO, folder, missing, not UTF-8.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "core/named_file.h"
#include "files/recording_file.h"
#include "files/safe_file.h"
#include "generators/image_loader.h"
#include "output/file_transport.h"
#include "output/serial_port.h"
#include "test_support.h"
#include "tests/generators/image_files.h"

namespace quor {
namespace {

namespace fs = std::filesystem;

enum Kind { kRegular, kFifo, kFolder, kMissing, kNotUtf8 };
constexpr const char* kKindNames[] = {"regular", "FIFO", "folder", "missing", "not UTF-8"};

// Makes `path` a name of the given kind; the files hold a small PNG.
void Prepare(const std::string& path, Kind kind) {
  switch (kind) {
    case kRegular:
    case kNotUtf8:
      test::WriteFile(path, test::Png(2, 2, std::vector<uint8_t>(12, 7)));
      break;
    case kFifo: ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); break;
    case kFolder: fs::create_directory(path); break;
    case kMissing: break;
  }
}

struct Opener {
  const char* name;
  std::function<bool(const std::string&)> opens;
  bool createsMissing;  // a writer creates a missing file
};

TEST(NamedFiles, EveryOpenerRefusesFifosAndFoldersAtOnceAndTakesAnyRegularName) {
  const Opener openers[] = {
      {"OpenNamedFile read",
       [](const std::string& p) {
         const Result<int> f = OpenNamedFile(p, NamedFileUse::kRead);
         if (f) CloseNamedFile(*f);
         return f.ok();
       },
       false},
      {"ReadRegularFile", [](const std::string& p) { return ReadRegularFile(p, 1 << 20).status == FileReadStatus::kDone; },
       false},
      {"recording source", [](const std::string& p) { return OpenRecordingFile(p) != nullptr; }, false},
      {"image decoder", [](const std::string& p) { return DecodeImageFile(p).image != nullptr; }, false},
      {"recording sink", [](const std::string& p) { return FileRecordingSink::Create(p).ok(); }, true},
      {"redirection file", [](const std::string& p) { return FileTransport::Create(p).ok(); }, true},
      {"bitmap file", [](const std::string& p) { return !WriteWholeFile(p, std::vector<uint8_t>(3, 1)); }, true},
      {"serial port", [](const std::string& p) { return SerialPort::Open(p, 115200).ok(); }, false},
  };
  for (const Opener& opener : openers) {
    const std::string dir = test::FreshTestDir("named_files");
    for (Kind kind : {kRegular, kFifo, kFolder, kMissing, kNotUtf8}) {
      constexpr const char* kFileNames[] = {"/a.png", "/b.png", "/c.png", "/d.png", "/bild-\xe4\xff.png"};
      const std::string path = dir + kFileNames[kind];
      Prepare(path, kind);
      const bool serial = std::string(opener.name) == "serial port";
      const bool expected =
          !serial && (kind == kRegular || kind == kNotUtf8 || (kind == kMissing && opener.createsMissing));
      test::FinishesWithin(5000, opener.name, [&] {
        EXPECT_EQ(opener.opens(path), expected) << opener.name << " on a " << kKindNames[kind] << " name";
      });
    }
  }
}

TEST(NamedFiles, RefusalsSayWhatTheNameIs) {
  const std::string dir = test::FreshTestDir("named_file_reasons");
  ASSERT_EQ(::mkfifo((dir + "/pipe").c_str(), 0600), 0);
  test::WriteFile(dir + "/plain", {1});
  const struct { std::string path; NamedFileUse use; int errorNumber; std::string reason; } cases[] = {
      {dir + "/pipe", NamedFileUse::kWrite, 0, "is a FIFO, not a regular file"},
      {"/dev/null", NamedFileUse::kRead, 0, "is a device, not a regular file"},
      {dir, NamedFileUse::kWrite, EISDIR, "Is a directory"},
      {dir + "/none", NamedFileUse::kRead, ENOENT, "No such file or directory"},
      {dir + "/plain", NamedFileUse::kSerialDeviceWrite, 0, "is not a serial port"},
  };
  for (const auto& c : cases) {
    const Result<int> file = OpenNamedFile(c.path, c.use);
    ASSERT_FALSE(file.ok()) << c.path;
    EXPECT_EQ(std::tuple(file.failure().errorNumber, file.failure().message), std::tuple(c.errorNumber, c.reason)) << c.path;
  }
}

}  // namespace
}  // namespace quor
