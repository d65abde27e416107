// Open Sound Control 1.0 on the wire: reading packets (messages and
// bundles, nested), matching address patterns, and writing messages.
//
// The reader takes bytes straight from the network, so it checks every
// length against the bytes that are there and refuses a packet whole when
// any part of it is wrong (a message cut short, a type tag it does not know,
// a string without its terminator, a bundle element longer than the bundle,
// bundles nested too deep): a packet is acted on entirely or not at all.
// The messages it yields point into the packet's bytes.
//
// The reader is the project's own rather than a library's server: the input
// needs the sender of every packet (answers), a count of refused packets,
// a socket bound through platform/ to one interface, and pattern matching
// against its own address space; this reader, under the fuzzer
// (fuzz/fuzz_osc_packet.cpp), does that in a few hundred lines.
//
// Bundle time tags are read but not waited for: every message acts when its
// packet arrives.
//
// Threads: plain functions with no shared state.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quor {

// Bundles inside bundles this deep at most.
inline constexpr int kMaxOscBundleDepth = 8;
// Messages in one packet at most; a packet with more is refused.
inline constexpr size_t kMaxOscMessagesPerPacket = 1024;

// A part of a pattern longer than this matches nothing: no address part is
// nearly that long, and the matching work grows with the part's length.
inline constexpr size_t kMaxOscPatternPartLength = 256;

enum class OscArgType : uint8_t { kInt, kFloat, kString, kOther };

// The first argument of a message, as the controls read it.
struct OscArgument {
  OscArgType type = OscArgType::kOther;
  int64_t integer = 0;   // 'i', 'h', 'T' (1), 'F' (0)
  double number = 0;     // 'f', 'd'
  std::string_view text;  // 's', 'S'
};

struct OscMessage {
  std::string_view address;  // the address pattern, starts with "/"
  // Nothing when the message has no arguments.
  std::optional<OscArgument> first;
};

// The messages of one packet in order, bundles unpacked; nothing when the
// packet is malformed.
std::optional<std::vector<OscMessage>> ParseOscPacket(std::span<const uint8_t> packet);

// Whether an address pattern matches an address, part by part as OSC 1.0
// defines it: "?" one character, "*" any run of characters within a part,
// "[abc]", "[a-z]", "[!abc]" one of (or none of) a set, "{foo,bar}" one of
// the words. Both start with "/"; the part counts must be equal.
bool OscPatternMatches(std::string_view pattern, std::string_view address);
// Whether a pattern holds any of the characters that make it a pattern.
bool IsOscPattern(std::string_view pattern);

// One message with one argument, ready to send.
std::vector<uint8_t> BuildOscMessage(std::string_view address, float value);
std::vector<uint8_t> BuildOscMessage(std::string_view address, int32_t value);
std::vector<uint8_t> BuildOscMessage(std::string_view address, std::string_view value);
std::vector<uint8_t> BuildOscMessage(std::string_view address);  // no arguments
// A bundle of whole packets (messages or bundles), time tag "at once".
std::vector<uint8_t> BuildOscBundle(std::span<const std::vector<uint8_t>> elements);

}  // namespace quor
