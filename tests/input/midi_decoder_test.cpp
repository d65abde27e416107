// The MIDI byte decoder over streams a surface or a broken cable can send (running status, real-time bytes
// inside messages, SysEx, messages cut between reads, stray data), the encoder the feedback uses, and the
// port-name matching that finds a controller again under new client numbers.
#include <gtest/gtest.h>

#include <vector>

#include "input/midi_decoder.h"
#include "platform/midi_ports.h"

namespace quor {
namespace {

using Bytes = std::vector<uint8_t>;
using K = MidiKind;

TEST(MidiDecoder, ReadsStreamsIntoMessages) {
  struct Case {
    const char* what;
    std::vector<Bytes> reads;  // fed one after another to one decoder
    std::vector<MidiMessage> expected;
    int64_t stray;
    int64_t unused;
  };
  const Case cases[] = {
      {"note on, off and on with velocity 0", {{0x90, 36, 100, 0x80, 36, 64, 0x91, 37, 0}},
       {{K::kNoteOn, 0, 36, 100}, {K::kNoteOff, 0, 36, 64}, {K::kNoteOff, 1, 37, 0}}, 0, 0},
      {"control and program change", {{0xBF, 7, 127, 0xC2, 5}},
       {{K::kControlChange, 15, 7, 127}, {K::kProgramChange, 2, 5, 0}}, 0, 0},
      {"running status", {{0xB0, 1, 10, 2, 20, 3, 30}, {4, 40}},
       {{K::kControlChange, 0, 1, 10}, {K::kControlChange, 0, 2, 20}, {K::kControlChange, 0, 3, 30},
        {K::kControlChange, 0, 4, 40}}, 0, 0},
      {"running status of program change", {{0xC0, 1, 2}}, {{K::kProgramChange, 0, 1, 0}, {K::kProgramChange, 0, 2, 0}},
       0, 0},
      {"message cut between reads", {{0x90}, {36}, {90}}, {{K::kNoteOn, 0, 36, 90}}, 0, 0},
      {"real-time bytes inside a message", {{0xF8, 0x90, 0xFE, 36, 0xFA, 0xFF, 90, 0xF8}}, {{K::kNoteOn, 0, 36, 90}}, 0,
       0},
      {"SysEx skipped, running status ends with it", {{0xB0, 1, 1, 0xF0, 0x7E, 0x10, 0x7F, 0xF7, 2, 2}},
       {{K::kControlChange, 0, 1, 1}}, 2, 0},
      {"SysEx ended by a status byte", {{0xF0, 1, 2, 3, 0x90, 36, 1}}, {{K::kNoteOn, 0, 36, 1}}, 0, 0},
      {"stray data before any status", {{5, 6, 7, 0x90, 36, 1}}, {{K::kNoteOn, 0, 36, 1}}, 3, 0},
      {"a status cuts a message short", {{0x90, 36, 0xB0, 7, 64}}, {{K::kControlChange, 0, 7, 64}}, 1, 0},
      {"pitch bend and pressures read whole", {{0xE0, 0, 64, 0xD0, 3, 0xA0, 36, 9, 0xB0, 7, 1}},
       {{K::kControlChange, 0, 7, 1}}, 0, 3},
      {"system common ends running status", {{0x90, 36, 1, 0xF2, 1, 2, 37, 1, 0xF6, 0xF1, 3}},
       {{K::kNoteOn, 0, 36, 1}}, 2, 3},
      {"a lone end of SysEx", {{0xF7}}, {}, 1, 0},
  };
  for (const Case& c : cases) {
    MidiDecoder decoder;
    std::vector<MidiMessage> got;
    for (const Bytes& read : c.reads) decoder.Feed(read, got);
    EXPECT_EQ(got, c.expected) << c.what;
    EXPECT_EQ(decoder.strayBytes(), c.stray) << c.what;
    EXPECT_EQ(decoder.unusedMessages(), c.unused) << c.what;
  }
}

TEST(MidiDecoder, EncodedMessagesDecodeToThemselves) {
  const MidiMessage messages[] = {{K::kNoteOn, 0, 36, 127}, {K::kNoteOff, 9, 0, 0}, {K::kControlChange, 15, 127, 64},
                                  {K::kProgramChange, 3, 99, 0}};
  for (const MidiMessage& message : messages) {
    MidiDecoder decoder;
    std::vector<MidiMessage> got;
    decoder.Feed(EncodeMidiMessage(message), got);
    EXPECT_EQ(got, std::vector<MidiMessage>{message});
  }
  // Out-of-range fields never make status bytes out of data bytes.
  EXPECT_EQ(EncodeMidiMessage({K::kControlChange, 17, 200, 255}), (Bytes{0xBF, 0x7F, 0x7F}));
  EXPECT_EQ(EncodeMidiMessage({K::kProgramChange, 0, 5, 9}), (Bytes{0xC0, 5}));
}

TEST(MidiPorts, NamesMatchExactlyOrWithoutClientNumbers) {
  const std::vector<std::string> ports = {"Midi Through:Midi Through Port-0 14:0", "Pad:Pad MIDI 1 24:0",
                                          "Pad:Pad MIDI 1 24:1", "Plain"};
  const struct {
    std::string wanted;
    std::optional<std::string> found;
  } cases[] = {
      {"Pad:Pad MIDI 1 24:1", "Pad:Pad MIDI 1 24:1"},  // exact wins over the first bare match
      {"Pad:Pad MIDI 1 20:0", "Pad:Pad MIDI 1 24:0"},  // plugged in again under another client number
      {"Pad:Pad MIDI 1", "Pad:Pad MIDI 1 24:0"},
      {"Plain", "Plain"},
      {"Plain 3:0", "Plain"},
      {"Pad:Pad MIDI 2 24:0", std::nullopt},
      {"", std::nullopt},
      {"Pad:Pad MIDI 1 24:", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchMidiPort(ports, c.wanted), c.found) << c.wanted;
}

}  // namespace
}  // namespace quor
