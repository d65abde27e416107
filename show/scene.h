// A Scene: a snapshot of the live mixer (type, speed, invert flag and
// settings block of each of the four generator slots, plus the merge modes
// and masterfades of the three mixes) and its fixed 4424-byte record, which
// is also what the project file stores for each scene. The settings blocks
// are opaque here; each generator type owns its block's layout.
// Plain value type; no thread rules of its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/byte_io.h"
#include "core/generator.h"

namespace quor {

inline constexpr size_t kNameFieldSize = 256;
// The longest name an edit box lets through; the rest of the field stays NUL.
inline constexpr size_t kMaxEnteredNameLength = 253;
inline constexpr int kSceneMixCount = 3;  // channel 1, channel 2, main mix
inline constexpr size_t kSceneRecordSize = 4424;

// A fixed 256-byte, NUL-terminated name field as records store it.
using NameField = std::array<char, kNameFieldSize>;
// The text up to the first NUL (or the whole field when a damaged record
// has none).
std::string NameText(const NameField& field);
// Copies at most kMaxEnteredNameLength characters and clears the rest.
void SetNameText(NameField& field, std::string_view text);

struct Scene {
  NameField name{};
  // Per slot, in slot order (0 = channel 1 / effect 1, 1 = channel 2 /
  // effect 1, 2 = channel 1 / effect 2, 3 = channel 2 / effect 2).
  std::array<int32_t, kSlotCount> types{};    // generator type ids
  std::array<int32_t, kSlotCount> speeds{};   // "Speed" slider values 5..25
  std::array<int32_t, kSlotCount> inverts{};  // 1 = inverted
  std::array<SettingsBlock, kSlotCount> settings{};
  // Per mix: channel 1, channel 2, main mix.
  std::array<int32_t, kSceneMixCount> mergeModes{};
  std::array<int32_t, kSceneMixCount> masterfades{};

  std::string Name() const { return NameText(name); }
};

void WriteScene(const Scene& scene, ByteWriter& out);
// Reads one record; a short input leaves zeros and clears reader.ok().
Scene ReadScene(ByteReader& in);

std::array<uint8_t, kSceneRecordSize> SerializeScene(const Scene& scene);
// False when `bytes` is shorter than one record.
bool ParseScene(std::span<const uint8_t> bytes, Scene& scene);

}  // namespace quor
