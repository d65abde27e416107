// The table of generator factories the engine binds slots from, indexed by
// type id 0..19. Type 0 (None / Blackout) is always present and also serves
// every id without a factory and any id out of range. Hosts fill a registry
// from the generator catalogue (generators/generator_catalogue.h); tests fill
// one with types of their own. A registry is filled before the Engine is
// built and is read-only afterwards.
#pragma once

#include <array>

#include "core/generator.h"

namespace quor {

// Every type id has one position in the effect lists.
inline constexpr int kEffectListSize = kMaxGeneratorType + 1;
// Slots start with None / Blackout, the first entry of every effect list.
inline constexpr int kNoneType = 0;
inline constexpr int kNoneListPosition = 0;

class GeneratorRegistry {
 public:
  explicit GeneratorRegistry(GeneratorFactory none);  // knows None / Blackout only
  void Register(int typeId, GeneratorFactory factory);
  // The factory that serves `typeId`: None / Blackout for unknown ids.
  GeneratorFactory FactoryFor(int typeId) const;
  bool IsRegistered(int typeId) const;
  // The type whose code runs for `typeId` (0 when unregistered or out of range).
  int EffectiveType(int typeId) const { return IsRegistered(typeId) ? typeId : kNoneType; }

 private:
  std::array<GeneratorFactory, kEffectListSize> factories_{};
};

}  // namespace quor
