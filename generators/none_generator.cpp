#include "generators/none_generator.h"

#include <cstring>

namespace quor {
namespace {

class NoneGenerator final : public Generator {
 public:
  bool Create(int, int) override { return true; }
  void Render(const Canvas& canvas) override { std::memset(canvas.pixels, 0, canvas.ByteSize()); }
  void Destroy() override {}
  void ExchangeSettings(SettingsBlock&, SettingsDirection) override {}
};

}  // namespace

std::unique_ptr<Generator> CreateNoneGenerator(GeneratorContext&) { return std::make_unique<NoneGenerator>(); }

}  // namespace quor
