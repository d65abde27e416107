// Reads the MIDI byte stream into the channel messages the MIDI input
// uses, and writes the messages its feedback sends.
//
// The decoder keeps the state a byte stream needs across calls: running
// status (data bytes that follow without a status byte reuse the last
// channel status), a System Exclusive block in progress (skipped up to its
// end byte or the next status byte), and a message cut between two calls.
// Real-time bytes (0xF8..0xFF) may come anywhere, even inside a message,
// and are dropped without disturbing it. Other channel messages (key and
// channel pressure, pitch bend) and system common messages are read whole
// and counted as unused; data bytes with no status to belong to are counted
// as stray.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "input/midi_mapping.h"

namespace quor {

class MidiDecoder {
 public:
  // Appends the messages the bytes complete to `out`.
  void Feed(std::span<const uint8_t> bytes, std::vector<MidiMessage>& out);
  // Forgets running status and any message in progress.
  void Reset();

  // Data bytes that made no message (no status, or cut off by a status).
  int64_t strayBytes() const { return stray_; }
  // Complete messages of kinds the input does not use.
  int64_t unusedMessages() const { return unused_; }

 private:
  void Complete(std::vector<MidiMessage>& out);

  uint8_t status_ = 0;  // 0: none
  bool running_ = false;  // channel status: data bytes may reuse it
  bool sysex_ = false;
  int need_ = 0;  // data bytes the status takes
  int have_ = 0;
  std::array<uint8_t, 2> data_{};
  int64_t stray_ = 0;
  int64_t unused_ = 0;
};

// The bytes of one message (note on/off and control change three, program
// change two); channel, number and value are held to their ranges.
std::vector<uint8_t> EncodeMidiMessage(const MidiMessage& message);

}  // namespace quor
