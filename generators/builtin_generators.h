// The table of generator types this build provides: one Register line per
// type. Types not listed run as None / Blackout.
#pragma once

#include "core/generator_registry.h"

namespace quor {

void RegisterBuiltinGenerators(GeneratorRegistry& registry);
// A registry with every built-in type, for hosts and tests.
const GeneratorRegistry& BuiltinGenerators();

}  // namespace quor
