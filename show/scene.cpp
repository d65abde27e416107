#include "show/scene.h"

#include <algorithm>
#include <cstring>

namespace quor {

std::string NameText(const NameField& field) {
  const auto end = std::find(field.begin(), field.end(), '\0');
  return std::string(field.begin(), end);
}

void SetNameText(NameField& field, std::string_view text) {
  field.fill('\0');
  const size_t n = std::min(text.size(), kMaxEnteredNameLength);
  std::memcpy(field.data(), text.data(), n);
}

void WriteScene(const Scene& scene, ByteWriter& out) {
  out.PutBytes(scene.name.data(), scene.name.size());
  for (int32_t v : scene.types) out.PutI32(v);
  for (int32_t v : scene.speeds) out.PutI32(v);
  for (int32_t v : scene.inverts) out.PutI32(v);
  for (const SettingsBlock& block : scene.settings) out.PutBytes(block.data(), block.size());
  for (int32_t v : scene.mergeModes) out.PutI32(v);
  for (int32_t v : scene.masterfades) out.PutI32(v);
}

Scene ReadScene(ByteReader& in) {
  Scene scene;
  in.GetBytes(scene.name.data(), scene.name.size());
  for (int32_t& v : scene.types) v = in.GetI32();
  for (int32_t& v : scene.speeds) v = in.GetI32();
  for (int32_t& v : scene.inverts) v = in.GetI32();
  for (SettingsBlock& block : scene.settings) in.GetBytes(block.data(), block.size());
  for (int32_t& v : scene.mergeModes) v = in.GetI32();
  for (int32_t& v : scene.masterfades) v = in.GetI32();
  return scene;
}

std::array<uint8_t, kSceneRecordSize> SerializeScene(const Scene& scene) {
  std::array<uint8_t, kSceneRecordSize> bytes{};
  ByteWriter out(bytes);
  WriteScene(scene, out);
  // Every field written, nothing left over: the layout is exactly the record.
  static_assert(kNameFieldSize + 3 * 4 * kSlotCount + kSlotCount * kSettingsBlockSize + 2 * 4 * kSceneMixCount ==
                kSceneRecordSize);
  return bytes;
}

bool ParseScene(std::span<const uint8_t> bytes, Scene& scene) {
  if (bytes.size() < kSceneRecordSize) return false;
  ByteReader in(bytes.first(kSceneRecordSize));
  scene = ReadScene(in);
  return in.ok();
}

}  // namespace quor
