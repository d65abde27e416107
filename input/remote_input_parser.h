// The wire side of the remote-control input, as pure functions over bytes:
// which tpm2.net and Art-Net datagrams carry the four remote channels, the
// tpm2 serial stream with its receive buffer and resynchronisation, the
// mapping of received values and the Art-Net poll reply the input answers
// discovery with. Every reader checks its offsets against the bytes it was
// given, so a short or hostile datagram never reads past its end.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "input/remote_input_settings.h"
#include "output/output_device.h"  // kArtNetPort, kTpm2NetPort

namespace quor {

// The four remote channels, counted from `firstChannel`.
enum RemoteChannel : int { kRemoteScene = 0, kRemoteChase = 1, kRemoteMaster = 2, kRemoteStrobe = 3 };
inline constexpr int kRemoteChannelCount = 4;
inline constexpr int kMaxRemoteFirstChannel = 508;

// Values received in one poll; -1 = nothing received for that channel.
using RemoteValues = std::array<int, kRemoteChannelCount>;
inline constexpr RemoteValues kNothingReceived{-1, -1, -1, -1};

inline constexpr size_t kRemoteDatagramBytes = 530;

// A tpm2.net data frame that carries the four channels: fills `values` and
// returns true; anything else leaves `values` alone and returns false.
bool ParseTpm2NetDatagram(std::span<const uint8_t> datagram, int firstChannel, RemoteValues& values);

enum class ArtNetInputKind { kIgnored, kDmx, kPoll };
// An Art-Net datagram seen by the remote input: DMX data for the configured
// Net/Subnet/Universe that carries the four channels (values filled), a
// discovery poll, or something to ignore.
ArtNetInputKind ParseArtNetInput(std::span<const uint8_t> datagram, const RemoteInputSettings& settings,
                                 RemoteValues& values);

// The tpm2 serial receive buffer. Chunks as the port delivers them are
// appended; complete frames that carry the four channels set the values
// (the last complete frame wins), an incomplete frame waits for the rest.
class Tpm2StreamBuffer {
 public:
  static constexpr size_t kCapacity = 1060;
  // `chunk` may be any size; a chunk that would overflow the buffer empties
  // it first (what was buffered is dropped), and only the last kCapacity
  // bytes of an oversized chunk are kept.
  void Append(std::span<const uint8_t> chunk, int firstChannel, RemoteValues& values);
  size_t fill() const { return fill_; }
  void Clear() { fill_ = 0; }

 private:
  void Scan(int firstChannel, RemoteValues& values);
  std::array<uint8_t, kCapacity> bytes_{};
  size_t fill_ = 0;
};

// A received scene or chase value as a 1-based number: with the 32-scene
// limit, 1..7 -> 1, 8..15 -> 2, ..., 248..255 -> 32; 0 stays 0.
int MapSceneOrChaseValue(int value, bool limitTo32);
// The strobe time (mix passes) a strobe value 1..255 asks for: v / 10 + 1,
// at most 25.
int StrobeTimeForValue(int value);

inline constexpr size_t kArtPollReplyBytes = 239;
// The node's answer to a discovery poll: one output port on the configured
// universe, named "Quor".
std::array<uint8_t, kArtPollReplyBytes> BuildRemoteArtPollReply(const std::array<uint8_t, 4>& ownAddress,
                                                                 const RemoteInputSettings& settings);

}  // namespace quor
