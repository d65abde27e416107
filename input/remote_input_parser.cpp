#include "input/remote_input_parser.h"

#include <algorithm>
#include <cstring>

namespace quor {
namespace {

constexpr uint8_t kTpm2NetStart = 0x9C;
constexpr uint8_t kTpm2Start = 0xC9;
constexpr uint8_t kTpm2DataFrame = 0xDA;
constexpr uint8_t kTpm2End = 0x36;
constexpr size_t kTpm2NetHeader = 6;  // 9C DA size-high size-low packet-number packet-count
constexpr size_t kTpm2Header = 4;     // C9 DA size-high size-low
constexpr size_t kArtNetHeader = 18;
constexpr uint8_t kOpPollLow = 0x00, kOpPollHigh = 0x20;
constexpr uint8_t kOpDmxLow = 0x00, kOpDmxHigh = 0x50;
constexpr uint8_t kArtNetVersion = 14;

int BigEndian16(const uint8_t* at) { return at[0] * 256 + at[1]; }

void TakeFour(const uint8_t* at, RemoteValues& values) {
  for (int i = 0; i < kRemoteChannelCount; ++i) values[static_cast<size_t>(i)] = at[i];
}

bool StartsWithArtNet(std::span<const uint8_t> datagram) {
  return datagram.size() >= 7 && std::memcmp(datagram.data(), "Art-Net", 7) == 0;
}

}  // namespace

bool ParseTpm2NetDatagram(std::span<const uint8_t> datagram, int firstChannel, RemoteValues& values) {
  if (firstChannel < 0 || firstChannel > kMaxRemoteFirstChannel) return false;
  const size_t length = datagram.size();
  if (length < 11 || datagram[0] != kTpm2NetStart || datagram[1] != kTpm2DataFrame) return false;
  const size_t size = static_cast<size_t>(BigEndian16(&datagram[2]));
  const size_t first = static_cast<size_t>(firstChannel);
  // The frame must hold all four channels and end inside the datagram.
  if (size <= first + 3 || size + kTpm2NetHeader >= length) return false;
  if (datagram[size + kTpm2NetHeader] != kTpm2End) return false;
  TakeFour(&datagram[kTpm2NetHeader + first], values);
  return true;
}

ArtNetInputKind ParseArtNetInput(std::span<const uint8_t> datagram, const RemoteInputSettings& settings,
                                 RemoteValues& values) {
  if (!StartsWithArtNet(datagram) || datagram.size() < 12) return ArtNetInputKind::kIgnored;
  if (datagram[8] == kOpPollLow && datagram[9] == kOpPollHigh && datagram[11] == kArtNetVersion) {
    return ArtNetInputKind::kPoll;
  }
  const int firstChannel = settings.firstChannel;
  if (firstChannel < 0 || firstChannel > kMaxRemoteFirstChannel) return ArtNetInputKind::kIgnored;
  const size_t first = static_cast<size_t>(firstChannel);
  const size_t length = datagram.size();
  if (length <= 20 || datagram[8] != kOpDmxLow || datagram[9] != kOpDmxHigh || datagram[11] != kArtNetVersion) {
    return ArtNetInputKind::kIgnored;
  }
  const uint8_t subUni = datagram[14];
  if ((subUni & 0x0F) != settings.universe || (subUni >> 4) != settings.subnet || datagram[15] != settings.baudOrNet) {
    return ArtNetInputKind::kIgnored;
  }
  // The last of the four channels lies at offset 18 + first + 3: the
  // datagram must reach it, whatever its length field claims.
  if (static_cast<size_t>(BigEndian16(&datagram[16])) <= first + 3 || kArtNetHeader + first + 4 > length) {
    return ArtNetInputKind::kIgnored;
  }
  TakeFour(&datagram[kArtNetHeader + first], values);
  return ArtNetInputKind::kDmx;
}

void Tpm2StreamBuffer::Append(std::span<const uint8_t> chunk, int firstChannel, RemoteValues& values) {
  if (chunk.size() > kCapacity) chunk = chunk.subspan(chunk.size() - kCapacity);
  if (fill_ + chunk.size() > kCapacity) fill_ = 0;
  std::copy(chunk.begin(), chunk.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(fill_));
  fill_ += chunk.size();
  Scan(firstChannel, values);
}

void Tpm2StreamBuffer::Scan(int firstChannel, RemoteValues& values) {
  if (fill_ < 5) return;
  const size_t first = static_cast<size_t>(std::clamp(firstChannel, 0, kMaxRemoteFirstChannel));
  size_t i = 0;
  while (i + kTpm2Header < fill_) {
    if (bytes_[i] != kTpm2Start || bytes_[i + 1] != kTpm2DataFrame) {
      ++i;
      continue;
    }
    const size_t size = static_cast<size_t>(BigEndian16(&bytes_[i + 2]));
    // A frame too short for the four channels, or too long to ever fit in
    // the buffer, is not ours: look for the next start after its first byte
    // instead of waiting on it until the buffer overflows.
    if (size <= first + 3 || size + kTpm2Header + 1 > kCapacity) {
      ++i;
      continue;
    }
    if (i + kTpm2Header + size >= fill_) break;  // the rest has not arrived yet
    if (bytes_[i + kTpm2Header + size] == kTpm2End) {
      TakeFour(&bytes_[i + kTpm2Header + first], values);
      i += kTpm2Header + size + 1;
    } else {
      ++i;  // damaged frame: resynchronise on the next start pair
    }
  }
  // Keep what has not been used up: an incomplete frame or the last few
  // bytes that may begin one.
  std::copy(bytes_.begin() + static_cast<std::ptrdiff_t>(i), bytes_.begin() + static_cast<std::ptrdiff_t>(fill_),
            bytes_.begin());
  fill_ -= i;
}

int MapSceneOrChaseValue(int value, bool limitTo32) {
  if (!limitTo32 || value <= 0) return value;
  return value / 8 + 1;
}

int StrobeTimeForValue(int value) { return std::min(value / 10 + 1, 25); }

std::array<uint8_t, kArtPollReplyBytes> BuildRemoteArtPollReply(const std::array<uint8_t, 4>& ownAddress,
                                                                 const RemoteInputSettings& settings) {
  std::array<uint8_t, kArtPollReplyBytes> reply{};
  std::memcpy(reply.data(), "Art-Net", 8);
  reply[8] = 0x00, reply[9] = 0x21;  // OpPollReply, low byte first
  std::copy(ownAddress.begin(), ownAddress.end(), reply.begin() + 10);
  reply[14] = kArtNetPort & 0xFF, reply[15] = kArtNetPort >> 8;
  reply[16] = 0x00, reply[17] = 0x01;  // firmware version
  reply[18] = static_cast<uint8_t>(settings.baudOrNet & 0xFF);
  reply[19] = static_cast<uint8_t>(settings.subnet & 0xFF);
  std::memcpy(&reply[26], "Quor", 4);  // short name
  std::memcpy(&reply[44], "Quor", 4);  // long name
  reply[172] = 0x00, reply[173] = 0x01;  // one port
  reply[174] = 0x80;                     // port 1: output
  reply[178] = 0x80;
  reply[190] = static_cast<uint8_t>(settings.universe & 0xFF);  // port 1 output universe
  reply[212] = 0x04;
  return reply;
}

}  // namespace quor
