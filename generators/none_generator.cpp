#include "generators/none_generator.h"

#include <cstring>

namespace quor {
namespace {

class NoneGenerator final : public Generator {
 public:
  bool Create(int, int) override { return true; }
  void Render(const Canvas& canvas) override {
    uint8_t* const frame = canvas.pixels;
    const int width = canvas.width;
    const int height = canvas.height;
    std::memset(frame, 0, static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  }
  void Destroy() override {}
  void ExchangeSettings(SettingsBlock&, SettingsDirection) override {}
};

}  // namespace

std::unique_ptr<Generator> CreateNoneGenerator(GeneratorContext&) { return std::make_unique<NoneGenerator>(); }

}  // namespace quor
