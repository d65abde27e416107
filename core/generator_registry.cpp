#include "core/generator_registry.h"

#include <cassert>

namespace quor {

GeneratorRegistry::GeneratorRegistry(GeneratorFactory none) {
  assert(none != nullptr);
  factories_[kNoneType] = none;
}

void GeneratorRegistry::Register(int typeId, GeneratorFactory factory) {
  assert(typeId >= 0 && typeId <= kMaxGeneratorType && factory != nullptr);
  if (typeId < 0 || typeId > kMaxGeneratorType || factory == nullptr) return;
  factories_[static_cast<size_t>(typeId)] = factory;
}

bool GeneratorRegistry::IsRegistered(int typeId) const {
  return typeId >= 0 && typeId <= kMaxGeneratorType && factories_[static_cast<size_t>(typeId)] != nullptr;
}

GeneratorFactory GeneratorRegistry::FactoryFor(int typeId) const {
  return IsRegistered(typeId) ? factories_[static_cast<size_t>(typeId)] : factories_[kNoneType];
}

}  // namespace quor
