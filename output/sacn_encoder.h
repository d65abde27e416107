// sACN (ANSI E1.31-2018) data packets: root, framing and DMP layers, 126
// bytes in front of up to 512 DMX slots. Pure; any thread.
//
// Device fields: `universe` 1..63999, `driverParam` the priority (0..200),
// `address` a unicast destination, or empty or "multicast" for the
// universe's multicast group. The source's CID is kept in the tail of the
// `path` field, which older records leave zero (so the record's layout
// stays as it is); the redirection path of an sACN device is one
// kSacnPathChars shorter.
//
// The per-universe sequence number lives in the send buffer's header, which
// persists from frame to frame while output runs.
#pragma once

#include <array>
#include <string>

#include "output/encoder.h"

namespace quor {

inline constexpr size_t kSacnHeaderBytes = 126;  // up to and including the START code
inline constexpr int kSacnPort = 5568;
inline constexpr int kSacnMaxSlots = 512;
inline constexpr int kSacnMinUniverse = 1;
inline constexpr int kSacnMaxUniverse = 63999;
inline constexpr int kSacnDefaultPriority = 100;
inline constexpr int kSacnMaxPriority = 200;
inline constexpr const char* kSacnSourceName = "Quor";

using SacnCid = std::array<uint8_t, 16>;
inline constexpr size_t kSacnCidOffset = kDevicePathChars - 1 - 16;  // in `path`, before its last zero
inline constexpr size_t kSacnPathChars = kSacnCidOffset - 1;         // longest redirection path

SacnCid CidOf(const OutputDevice& device);
void SetCid(OutputDevice& device, const SacnCid& cid);
bool IsZeroCid(const SacnCid& cid);
// A fresh random UUID (version 4).
SacnCid NewCid();

// The destination address text: the device's address, or 239.255.hi.lo of
// its universe when the address is empty or "multicast".
std::string SacnDestination(const OutputDevice& device);

// Synchronization: a data packet carries the universe of its sync packets
// in the framing layer; the address lives in the send buffer's header
// (zero there, as the buffer starts, means none) and is kept by every
// packet written from that buffer.
inline constexpr size_t kSacnSyncAddressOffset = 109;
void SetSacnSyncAddress(std::span<uint8_t> buffer, int universe);
// The synchronization packet (root vector VECTOR_ROOT_E131_EXTENDED,
// framing vector VECTOR_E131_EXTENDED_SYNCHRONIZATION) for `universe`.
inline constexpr size_t kSacnSyncBytes = 49;
std::array<uint8_t, kSacnSyncBytes> SacnSyncPacket(const SacnCid& cid, uint8_t sequence, int universe);
// Where the sync packets of `device`'s data go: `universe`'s multicast
// group when the device sends to its multicast group, else its address.
std::string SacnSyncDestination(const OutputDevice& device, int universe);

// One data packet with the next sequence number.
void EncodeSacn(const OutputDevice& device, std::span<uint8_t> buffer, std::vector<uint8_t>& scratch,
                const PacketSink& sink);
// The black frames of a stop. The first is a plain data packet, so that
// receivers show it (E1.31 receivers ignore the data of a terminating
// packet); the second ends the stream with the three Stream_Terminated
// packets a source sends when it stops sourcing a universe.
void EncodeSacnStop(const OutputDevice& device, std::span<uint8_t> buffer, std::vector<uint8_t>& scratch,
                    const PacketSink& sink);

}  // namespace quor
