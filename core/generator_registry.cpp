#include "core/generator_registry.h"

#include <cassert>

#include "core/none_generator.h"

namespace quor {
namespace {

constexpr std::array<int, kEffectListSize> BuildInverse() {
  std::array<int, kEffectListSize> inverse{};
  for (int position = 0; position < kEffectListSize; ++position) {
    inverse[static_cast<size_t>(kEffectListOrder[static_cast<size_t>(position)])] = position;
  }
  return inverse;
}

constexpr std::array<int, kEffectListSize> kEffectListInverse = BuildInverse();
static_assert(kEffectListInverse[0] == 0 && kEffectListInverse[17] == 18 && kEffectListInverse[3] == 14);

}  // namespace

int EffectListPosition(int typeId) {
  if (typeId < 0 || typeId > kMaxGeneratorType) typeId = 0;
  return kEffectListInverse[static_cast<size_t>(typeId)];
}

int EffectTypeAt(int listPosition) {
  if (listPosition < 0 || listPosition >= kEffectListSize) return 0;
  return kEffectListOrder[static_cast<size_t>(listPosition)];
}

GeneratorRegistry::GeneratorRegistry() { factories_[0] = &CreateNoneGenerator; }

void GeneratorRegistry::Register(int typeId, GeneratorFactory factory) {
  assert(typeId >= 0 && typeId <= kMaxGeneratorType && factory != nullptr);
  if (typeId < 0 || typeId > kMaxGeneratorType || factory == nullptr) return;
  factories_[static_cast<size_t>(typeId)] = factory;
}

bool GeneratorRegistry::IsRegistered(int typeId) const {
  return typeId >= 0 && typeId <= kMaxGeneratorType && factories_[static_cast<size_t>(typeId)] != nullptr;
}

GeneratorFactory GeneratorRegistry::FactoryFor(int typeId) const {
  return IsRegistered(typeId) ? factories_[static_cast<size_t>(typeId)] : factories_[0];
}

}  // namespace quor
