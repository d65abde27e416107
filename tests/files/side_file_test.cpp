// The JSON side file beside a project: sections owned by separate features,
// bounded and forgiving reads, writes that replace the file in one step.
#include "files/side_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QJsonArray>
#include <filesystem>
#include <fstream>

#include "files/safe_file.h"
#include "test_support.h"

namespace quor {
namespace {

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

TEST(SideFile, SitsBesideItsProject) {
  EXPECT_EQ(SideFilePath("/shows/show.qrx"), "/shows/show.qrx.json");
  EXPECT_EQ(SideFilePath("autosave.dat"), "autosave.dat.json");
}

// Each section is written on its own; the others stay as the file held them.
TEST(SideFile, WritingOneSectionKeepsTheOthers) {
  const std::string path = test::FreshTestDir("side_sections") + "/show.qrx.json";
  WriteText(path, R"({"later": {"x": [1, 2, 3]}, "plain": 5})");
  ASSERT_FALSE(WriteSideSection(path, "resume", QJsonObject{{"masterLevel", 17}}));
  ASSERT_FALSE(WriteSideSection(path, "windows", QJsonObject{{"left", -40}}));
  ASSERT_FALSE(WriteSideSection(path, "resume", QJsonObject{{"masterLevel", 200}}));

  const SideFileRead read = ReadSideFile(path);
  EXPECT_EQ(read.problem, "");
  EXPECT_EQ(SideInt(SideSection(read, "resume"), "masterLevel", 0, 255), 200);
  EXPECT_EQ(SideInt(SideSection(read, "windows"), "left", -100, 100), -40);
  EXPECT_EQ(SideSection(read, "later").value("x").toArray().size(), 3);
  EXPECT_EQ(read.sections.value("plain").toInt(), 5);
  EXPECT_TRUE(SideSection(read, "plain").isEmpty());  // not an object: no section
  EXPECT_TRUE(SideSection(read, "missing").isEmpty());
  // Only the file itself is left in the folder: no temporaries.
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path())) {
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

// Whatever is found at the side file's place, the read returns nothing and
// says why once; a write then puts a sound file in place.
TEST(SideFile, RefusesDamagedHostileAndHugeFiles) {
  const std::string dir = test::FreshTestDir("side_refused");
  const struct {
    const char* name;
    std::string content;
    const char* reason;  // part of the problem text
  } rows[] = {
      {"cut", R"({"resume": {"masterLevel": 1)", "not valid JSON"},
      {"array", "[1, 2, 3]", "does not hold a JSON object"},
      {"text", "hello", "not valid JSON"},
      {"binary", std::string("\0\xff\xfe{", 4), "not valid JSON"},
      {"deep", std::string(200000, '[') + std::string(200000, ']'), "not valid JSON"},
      {"deepObject", "{\"a\":" + std::string(5000, '[') + std::string(5000, ']') + "}", "not valid JSON"},
      {"huge", "{\"pad\": \"" + std::string(kMaxSideFileBytes, 'x') + "\"}", "larger than"},
  };
  for (const auto& row : rows) {
    const std::string path = dir + "/" + row.name + ".json";
    WriteText(path, row.content);
    const SideFileRead read = ReadSideFile(path);
    EXPECT_TRUE(read.sections.isEmpty()) << row.name;
    EXPECT_NE(read.problem.find(row.reason), std::string::npos) << row.name << ": " << read.problem;
    ASSERT_FALSE(WriteSideSection(path, "resume", QJsonObject{{"scene", 3}})) << row.name;
    const SideFileRead again = ReadSideFile(path);
    EXPECT_EQ(again.problem, "") << row.name;
    EXPECT_EQ(SideInt(SideSection(again, "resume"), "scene", -1, 10), 3) << row.name;
  }
  // A FIFO is never opened for reading (it would block); a missing file is no problem.
  const std::string fifo = dir + "/fifo.json";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_NE(ReadSideFile(fifo).problem, "");
  EXPECT_EQ(ReadSideFile(dir + "/none.json").problem, "");
}

// A write that cannot be completed leaves what is there and no temporaries.
TEST(SideFile, FailedWriteLeavesTheOldFile) {
  const std::string dir = test::FreshTestDir("side_atomic");
  const std::string path = dir + "/show.qrx.json";
  ASSERT_FALSE(WriteSideSection(path, "resume", QJsonObject{{"scene", 1}}));
  const std::vector<uint8_t> before = test::ReadFileBytes(path);
  // A folder in the file's place: the rename over it fails.
  const std::string blocked = dir + "/blocked.json";
  std::filesystem::create_directory(blocked);
  WriteText(blocked + "/inside", "keep");
  EXPECT_TRUE(WriteSideSection(blocked, "resume", QJsonObject{{"scene", 2}}).has_value());
  EXPECT_TRUE(std::filesystem::is_directory(blocked));
  EXPECT_EQ(test::ReadFileBytes(path), before);
  EXPECT_EQ(RemoveStaleTemporaries(dir), 0);
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++entries;
  EXPECT_EQ(entries, 2);
}

TEST(SideFile, FieldReadsAreBounded) {
  const QJsonObject object{{"whole", 7}, {"half", 7.5}, {"text", "7"}, {"big", 1e300}, {"low", -3}, {"on", true}};
  EXPECT_EQ(SideInt(object, "whole", 0, 10), 7);
  for (const char* key : {"half", "text", "big", "low", "on", "none"}) EXPECT_FALSE(SideInt(object, key, 0, 10)) << key;
  EXPECT_EQ(SideBool(object, "on"), true);
  EXPECT_FALSE(SideBool(object, "whole"));
}

}  // namespace
}  // namespace quor
