#include "files/recording_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;

void Append(Bytes& bytes, std::initializer_list<uint8_t> more) { bytes.insert(bytes.end(), more); }

Bytes Header(uint32_t width, uint32_t height, uint32_t fps) {
  const auto header = EncodeRecordingHeader({width, height, fps});
  return Bytes(header.begin(), header.end());
}

// A 4 x 4 frame whose every byte is `value`.
Bytes Frame4x4(uint8_t value) { return Bytes(4 * 4 * 3, value); }

void AppendFrame(Bytes& bytes, const Bytes& frame) {
  Append(bytes, {'Q', 'X', 0});
  bytes.insert(bytes.end(), frame.begin(), frame.end());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

RecordingOpenResult OpenBytes(const Bytes& bytes, std::unique_ptr<RecordingReader>* reader) {
  return RecordingReader::Open(std::make_unique<MemoryRecordingSource>(bytes), reader);
}

TEST(RecordingFile, OpenSortsDamagedHeadersIntoTheTwoMessages) {
  std::unique_ptr<RecordingReader> reader;
  Bytes projectFile = Header(16, 8, 25);
  projectFile[2] = 'X';  // "QRX!"
  EXPECT_EQ(OpenBytes(projectFile, &reader), RecordingOpenResult::kUnknownFormat);
  Bytes version2 = Header(16, 8, 25);
  version2[5] = '2';
  EXPECT_EQ(OpenBytes(version2, &reader), RecordingOpenResult::kWrongVersion);
  EXPECT_EQ(OpenBytes(Bytes{'Q', 'R', 'R'}, &reader), RecordingOpenResult::kUnknownFormat);
  EXPECT_EQ(OpenBytes(Bytes{'Q', 'R', 'R', '!', 0}, &reader), RecordingOpenResult::kWrongVersion);
  Bytes shortHeader = Header(16, 8, 25);
  shortHeader.resize(15);
  EXPECT_EQ(OpenBytes(shortHeader, &reader), RecordingOpenResult::kUnknownFormat);
  // Sizes no matrix can have would size the frame buffer from the file.
  for (auto [w, h] : {std::pair{0u, 8u}, {16u, 0u}, {321u, 4u}, {200u, 200u}, {0xFFFFFFFFu, 0xFFFFFFFFu}}) {
    EXPECT_EQ(OpenBytes(Header(w, h, 25), &reader), RecordingOpenResult::kUnknownFormat) << w << " x " << h;
  }
  EXPECT_EQ(reader, nullptr);
  ASSERT_EQ(OpenBytes(Header(16, 8, 25), &reader), RecordingOpenResult::kOpened);
  EXPECT_EQ(reader->header(), (RecordingHeader{16, 8, 25}));
  EXPECT_EQ(RecordingReader::Open(nullptr, &reader), RecordingOpenResult::kCannotOpen);

  EXPECT_STREQ(RecordingOpenMessage(RecordingOpenResult::kUnknownFormat), "Unknown File Format.");
  EXPECT_STREQ(RecordingOpenMessage(RecordingOpenResult::kWrongVersion), "Wrong File Version.");
  EXPECT_EQ(RecordingOpenMessage(RecordingOpenResult::kCannotOpen), nullptr);
  EXPECT_EQ(RecordingOpenMessage(RecordingOpenResult::kOpened), nullptr);
}

TEST(RecordingFile, MarkerSearchSkipsJunkAndUnknownMarkersAndLoopsAtTheEnd) {
  Bytes bytes = Header(4, 4, 25);
  AppendFrame(bytes, Frame4x4(1));
  Append(bytes, {'j', 'u', 'n', 'k'});    // no "Q": skipped
  Append(bytes, {'Q', 'a', 'b', 'X', 0});  // an armed "Q" waits for its "X"
  bytes.insert(bytes.end(), 48, 2);
  Append(bytes, {'X', 'Q', 'X', 7});       // unknown kind: nothing read
  AppendFrame(bytes, Frame4x4(3));
  Append(bytes, {'Q', 'X', 1});            // end of the recording
  AppendFrame(bytes, Frame4x4(9));         // never played

  std::unique_ptr<RecordingReader> reader;
  ASSERT_EQ(OpenBytes(bytes, &reader), RecordingOpenResult::kOpened);
  Bytes out(48, 0xEE);
  std::vector<std::string> seen;
  for (int i = 0; i < 7; ++i) {
    const FrameReadResult result = reader->ReadFrame(out);
    seen.push_back(result == FrameReadResult::kFrame ? std::to_string(out[0])
                   : result == FrameReadResult::kEnd ? "end"
                                                     : "skip");
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"1", "2", "skip", "3", "end", "1", "2"}));
}

TEST(RecordingFile, ShortLastFrameAndEmptyRecordingEndPlayback) {
  Bytes bytes = Header(4, 4, 25);
  AppendFrame(bytes, Frame4x4(5));
  Append(bytes, {'Q', 'X', 0, 6, 6, 6});  // cut off
  std::unique_ptr<RecordingReader> reader;
  ASSERT_EQ(OpenBytes(bytes, &reader), RecordingOpenResult::kOpened);
  Bytes out(48, 0xEE);
  EXPECT_EQ(reader->ReadFrame(out), FrameReadResult::kFrame);
  EXPECT_EQ(reader->ReadFrame(out), FrameReadResult::kEnd);
  EXPECT_EQ(reader->ReadFrame(out), FrameReadResult::kFrame);
  EXPECT_EQ(out[0], 5);

  const Bytes empty = Header(4, 4, 25);
  ASSERT_EQ(OpenBytes(empty, &reader), RecordingOpenResult::kOpened);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(reader->ReadFrame(out), FrameReadResult::kEnd);
}

TEST(RecordingFile, FileSinkAndSourceRoundTripAndFollowARewrittenFile) {
  const std::string path = test::FreshTestDir("recording_file") + "/take.qrr";
  auto sink = FileRecordingSink::Create(path);
  ASSERT_NE(sink, nullptr);
  // A second writer is refused while the first holds the file.
  EXPECT_EQ(FileRecordingSink::Create(path), nullptr);
  Bytes written = Header(4, 4, 20);
  AppendFrame(written, Frame4x4(7));
  ASSERT_TRUE(sink->Write(written));
  ASSERT_TRUE(sink->Close());
  sink.reset();

  std::unique_ptr<RecordingReader> reader;
  ASSERT_EQ(RecordingReader::Open(OpenRecordingFile(path), &reader), RecordingOpenResult::kOpened);
  Bytes out(48, 0);
  EXPECT_EQ(reader->ReadFrame(out), FrameReadResult::kFrame);
  EXPECT_EQ(out, Frame4x4(7));

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
