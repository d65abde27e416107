// Feeds arbitrary bytes to the recording reader and to the File Player as a
// recording file: opening, the marker search, frame reads, looping and both
// drawing paths (copy and scaled, with and without smoothing) must never
// read or write outside their buffers, whatever the bytes.
// Seeds: fuzz/corpus/recording/.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/console.h"
#include "core/generator.h"
#include "files/recording_file.h"
#include "generators/file_player.h"

namespace {

struct MatrixSize {
  int width;
  int height;
};

// Smaller, larger, odd ratios and the largest matrices; 0 x 0 stands for
// the file's own size (the copy path).
constexpr MatrixSize kSizes[] = {{0, 0}, {4, 4}, {7, 5}, {128, 128}, {320, 51}, {51, 320}};

void DriveReader(std::span<const uint8_t> bytes) {
  std::unique_ptr<quor::RecordingReader> reader;
  if (quor::RecordingReader::Open(std::make_unique<quor::MemoryRecordingSource>(bytes), &reader) !=
      quor::RecordingOpenResult::kOpened) {
    return;
  }
  std::vector<uint8_t> frame(reader->header().FrameBytes());
  for (int i = 0; i < 16; ++i) reader->ReadFrame(frame);
}

void DrivePlayer(std::span<const uint8_t> bytes) {
  quor::Console console;
  console.SetSink([](std::string_view) {});
  quor::FilePlayerGenerator player(console, [bytes](const std::string&) {
    return std::make_unique<quor::MemoryRecordingSource>(bytes);
  });
  player.Create(32, 16);
  if (player.Load("fuzz.qrr") != quor::RecordingOpenResult::kOpened) return;

  std::vector<uint8_t> frame;
  for (int smooth = 0; smooth <= 1; ++smooth) {
    player.SetSmoothResize(smooth == 1);
    for (MatrixSize size : kSizes) {
      if (size.width == 0) size = {player.fileWidth(), player.fileHeight()};
      frame.assign(static_cast<size_t>(size.width) * static_cast<size_t>(size.height) * 3, 0);
      for (int i = 0; i < 3; ++i) player.Render({frame.data(), size.width, size.height});
    }
  }
  // The settings block round trip reopens the same bytes.
  quor::SettingsBlock block{};
  player.ExchangeSettings(block, quor::SettingsDirection::kStore);
  player.ExchangeSettings(block, quor::SettingsDirection::kLoad);
  player.Render({frame.data(), 4, 4});
  player.Destroy();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  DriveReader(bytes);
  DrivePlayer(bytes);
  return 0;
}
