#include "files/recording_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;
using R = RecordingOpenResult;

Bytes Header(uint32_t width, uint32_t height, uint32_t fps = 25) {
  const auto header = EncodeRecordingHeader({width, height, fps});
  return Bytes(header.begin(), header.end());
}

void Append(Bytes& bytes, std::initializer_list<uint8_t> more) { bytes.insert(bytes.end(), more); }
// A marked 4 x 4 frame whose every byte is `value`.
void AppendFrame(Bytes& bytes, uint8_t value) {
  Append(bytes, {'Q', 'X', 0});
  bytes.resize(bytes.size() + 48, value);
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

R OpenBytes(const Bytes& bytes, std::unique_ptr<RecordingReader>* reader) {
  return RecordingReader::Open(std::make_unique<MemoryRecordingSource>(bytes), reader);
}

TEST(RecordingFile, OpenSortsDamagedHeadersIntoTheTwoMessages) {
  std::unique_ptr<RecordingReader> reader;
  Bytes projectFile = Header(16, 8), version2 = Header(16, 8), shortHeader = Header(16, 8);
  projectFile[2] = 'X';  // "QRX!"
  version2[5] = '2';
  shortHeader.resize(15);
  // The last four: sizes no matrix can have would size the frame buffer from the file.
  const std::pair<Bytes, R> cases[] = {
      {projectFile, R::kUnknownFormat},     {version2, R::kWrongVersion},    {{'Q', 'R', 'R'}, R::kUnknownFormat},
      {{'Q', 'R', 'R', '!', 0}, R::kWrongVersion}, {shortHeader, R::kUnknownFormat}, {Header(0, 8), R::kUnknownFormat},
      {Header(321, 4), R::kUnknownFormat},  {Header(200, 200), R::kUnknownFormat}, {Header(~0u, ~0u), R::kUnknownFormat}};
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(OpenBytes(cases[i].first, &reader), cases[i].second) << i;
  EXPECT_EQ(reader, nullptr);
  const Bytes good = Header(16, 8);  // outlives the reader that reads it
  ASSERT_EQ(OpenBytes(good, &reader), R::kOpened);
  EXPECT_EQ(reader->header(), (RecordingHeader{16, 8, 25}));
  EXPECT_EQ(RecordingReader::Open(nullptr, &reader), R::kCannotOpen);

  EXPECT_STREQ(RecordingOpenMessage(R::kUnknownFormat), "Unknown File Format.");
  EXPECT_STREQ(RecordingOpenMessage(R::kWrongVersion), "Wrong File Version.");
  EXPECT_EQ(RecordingOpenMessage(R::kCannotOpen), nullptr);
}

TEST(RecordingFile, MarkerSearchSkipsJunkAndUnknownMarkersAndLoopsAtTheEnd) {
  Bytes bytes = Header(4, 4);
  AppendFrame(bytes, 1);
  Append(bytes, {'j', 'u', 'n', 'k'});    // no "Q": skipped
  Append(bytes, {'Q', 'a', 'b', 'X', 0});  // an armed "Q" waits for its "X"
  bytes.insert(bytes.end(), 48, 2);
  Append(bytes, {'X', 'Q', 'X', 7});       // unknown kind: nothing read
  AppendFrame(bytes, 3);
  Append(bytes, {'Q', 'X', 1});            // end of the recording
  AppendFrame(bytes, 9);                   // never played

  std::unique_ptr<RecordingReader> reader;
  ASSERT_EQ(OpenBytes(bytes, &reader), R::kOpened);
  Bytes out(48, 0xEE);
  std::vector<std::string> seen;
  for (int i = 0; i < 7; ++i) {
    const FrameReadResult result = reader->ReadFrame(out);
    seen.push_back(result == FrameReadResult::kFrame ? std::to_string(out[0])
                   : result == FrameReadResult::kEnd ? "end"
                                                     : "skip");
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"1", "2", "skip", "3", "end", "1", "2"}));

  // A recording without frames ends every time. (A cut-off last frame is
  // checked through the file player.)
  const Bytes empty = Header(4, 4);  // the reader reads from it: keep it alive
  ASSERT_EQ(OpenBytes(empty, &reader), R::kOpened);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(reader->ReadFrame(out), FrameReadResult::kEnd);
}

TEST(RecordingFile, FileSinkAndSourceRoundTripAndFollowARewrittenFile) {
  const std::string path = test::FreshTestDir("recording_file") + "/take.qrr";
  auto sink = FileRecordingSink::Create(path);
  ASSERT_NE(sink, nullptr);
  // A second writer is refused while the first holds the file.
  EXPECT_EQ(FileRecordingSink::Create(path), nullptr);
  Bytes written = Header(4, 4, 20);
  AppendFrame(written, 7);
  ASSERT_TRUE(sink->Write(written) && sink->Close());
  sink.reset();

  std::unique_ptr<RecordingReader> reader;
  ASSERT_EQ(RecordingReader::Open(OpenRecordingFile(path), &reader), R::kOpened);
  Bytes out(48, 0);
  EXPECT_EQ(reader->ReadFrame(out), FrameReadResult::kFrame);
  EXPECT_EQ(out, Bytes(48, 7));

  // Rewritten in place at another size: playback waits at the end instead
  // of reading frames of the wrong size, and resumes once the size fits.
  Bytes other = Header(8, 4, 20);
  other.resize(other.size() + 3 + 96, 0);
  WriteFile(path, other);
  EXPECT_EQ(reader->ReadFrame(out), FrameReadResult::kEnd);
  EXPECT_EQ(reader->ReadFrame(out), FrameReadResult::kEnd);
  written.push_back('Q');
  WriteFile(path, written);
  EXPECT_EQ(reader->ReadFrame(out), FrameReadResult::kFrame);

  EXPECT_EQ(OpenRecordingFile(path + ".missing"), nullptr);
  EXPECT_EQ(FileRecordingSink::Create(test::FreshTestDir("recording_file") + "/no/such/dir.qrr"), nullptr);
}

}  // namespace
}  // namespace quor
