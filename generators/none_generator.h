// None / Blackout (type 0): every slot starts with it; Render paints the
// whole frame black and nothing else has any effect.
#pragma once

#include "core/generator.h"

namespace quor {

std::unique_ptr<Generator> CreateNoneGenerator(GeneratorContext& context);

}  // namespace quor
