#include "input/midi_decoder.h"

#include <algorithm>

namespace quor {
namespace {

// Data bytes after a status byte 0x80..0xF6.
int DataBytes(uint8_t status) {
  switch (status & 0xF0) {
    case 0xC0:
    case 0xD0: return 1;
    case 0xF0: break;
    default: return 2;
  }
  switch (status) {
    case 0xF1:
    case 0xF3: return 1;
    case 0xF2: return 2;
    default: return 0;  // 0xF4, 0xF5 (undefined), 0xF6 (tune request)
  }
}

}  // namespace

void MidiDecoder::Reset() {
  status_ = 0;
  running_ = false;
  sysex_ = false;
  need_ = 0;
  have_ = 0;
}

void MidiDecoder::Feed(std::span<const uint8_t> bytes, std::vector<MidiMessage>& out) {
  for (const uint8_t byte : bytes) {
    if (byte >= 0xF8) continue;  // real-time: clock, start, stop, active sensing, reset
    if (byte >= 0x80) {
      // A status byte ends a SysEx block and cuts a message in progress.
      stray_ += have_;
      have_ = 0;
      if (byte == 0xF0) {
        sysex_ = true;
        status_ = 0;
        running_ = false;
        continue;
      }
      if (byte == 0xF7) {
        if (!sysex_) ++stray_;
        sysex_ = false;
        status_ = 0;
        running_ = false;
        continue;
      }
      sysex_ = false;
      status_ = byte;
      running_ = byte < 0xF0;
      need_ = DataBytes(byte);
      if (need_ == 0) Complete(out);
      continue;
    }
    if (sysex_) continue;
    if (status_ == 0) {
      ++stray_;
      continue;
    }
    data_[static_cast<size_t>(have_++)] = byte;
    if (have_ == need_) Complete(out);
  }
}

void MidiDecoder::Complete(std::vector<MidiMessage>& out) {
  have_ = 0;
  const uint8_t status = status_;
  if (!running_) status_ = 0;  // system common messages leave no running status
  const auto channel = static_cast<uint8_t>(status & 0x0F);
  switch (status & 0xF0) {
    case 0x80: out.push_back({MidiKind::kNoteOff, channel, data_[0], data_[1]}); return;
    case 0x90:
      // Note on with velocity 0 is the usual way of sending note off.
      out.push_back({data_[1] == 0 ? MidiKind::kNoteOff : MidiKind::kNoteOn, channel, data_[0], data_[1]});
      return;
    case 0xB0: out.push_back({MidiKind::kControlChange, channel, data_[0], data_[1]}); return;
    case 0xC0: out.push_back({MidiKind::kProgramChange, channel, data_[0], 0}); return;
    default: ++unused_; return;
  }
}

std::vector<uint8_t> EncodeMidiMessage(const MidiMessage& message) {
  const auto channel = std::min<uint8_t>(message.channel, 15);
  const auto number = std::min<uint8_t>(message.number, 127);
  const auto value = std::min<uint8_t>(message.value, 127);
  switch (message.kind) {
    case MidiKind::kNoteOff: return {static_cast<uint8_t>(0x80 | channel), number, value};
    case MidiKind::kNoteOn: return {static_cast<uint8_t>(0x90 | channel), number, value};
    case MidiKind::kControlChange: return {static_cast<uint8_t>(0xB0 | channel), number, value};
    case MidiKind::kProgramChange: return {static_cast<uint8_t>(0xC0 | channel), number};
  }
  return {};
}

}  // namespace quor
