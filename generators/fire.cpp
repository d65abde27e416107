#include "generators/fire.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "core/random_source.h"
#include "generators/color.h"
#include "generators/settings_fields.h"

namespace quor {

static_assert(FireGenerator::kSettingsBytes <= kSettingsBlockSize);

FireGenerator::FireGenerator(GeneratorContext& context) : context_(context) {
  // Entry i: hue i / 3 at full saturation, lightness rising twice as fast
  // as the index, so the entries run black, red, orange, yellow and are
  // white from 128 on.
  for (int i = 0; i < 256; ++i) {
    const Rgb rgb = HslToRgb(i / 3, 255, std::min(2 * i, 255));
    palette_[i] = PackRgb(static_cast<uint8_t>(rgb.r), static_cast<uint8_t>(rgb.g), static_cast<uint8_t>(rgb.b));
  }
}

bool FireGenerator::Create(int width, int height) {
  busy_.WaitAndEnter(BusyStatus::kCreating, context_.console);
  hotspotSize_ = kDefaultHotspotSize;
  hotspots_ = kDefaultHotspots;
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  heat_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_ + 1), 0);
  busy_.SetReady();
  return true;
}

void FireGenerator::Destroy() {
  busy_.WaitAndEnter(BusyStatus::kDestroyed, context_.console);
  heat_.clear();
  heat_.shrink_to_fit();
  width_ = 0;
  height_ = 0;
}

void FireGenerator::SetHotspots(int hotspots) { hotspots_ = std::clamp(hotspots, 0, kMaxHotspots); }

void FireGenerator::SetHotspotSize(int size) {
  hotspotSize_ = size >= kSmallHotspots && size <= kBigHotspots ? size : kDefaultHotspotSize;
}

Rgb FireGenerator::PaletteEntry(int heat) const {
  const uint32_t entry = palette_[static_cast<size_t>(heat & 255)];
  return {static_cast<int>(entry & 255), static_cast<int>(entry >> 8 & 255), static_cast<int>(entry >> 16 & 255)};
}

int FireGenerator::HeatAt(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y > height_) return 0;
  return heat_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
}

void FireGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  using G = FireGenerator;
  static constexpr auto kLayout = SettingsLayout<G>({Stored<G, &G::hotspots_>(), Stored<G, &G::hotspotSize_>()});
  static_assert(kLayout.bytes == kSettingsBytes);
  if (direction == SettingsDirection::kStore) {
    kLayout.Store(*this, block);
    return;
  }
  kLayout.Load(*this, block);
  SetHotspots(hotspots_);
  SetHotspotSize(hotspotSize_);
}

// One simulation step: stamp `spots` square hot spots into the hidden row
// (whose bottom row is the hidden row), then let the heat rise one row.
void FireGenerator::Step(int spots) {
  const int w = width_;
  const int h = height_;
  const int rows = h + 1;
  uint8_t* heat = heat_.data();

  const int size = std::min(hotspotSize_, w);
  for (int i = 0; i < spots; ++i) {
    const uint8_t c = static_cast<uint8_t>(context_.random.Next() & 255);
    const int x = context_.random.Next() % (w - size + 1);
    for (int y = h - size + 1; y <= h; ++y) {
      std::memset(heat + static_cast<size_t>(y) * w + x, c, static_cast<size_t>(size));
    }
  }

  // Each cell becomes the cooled average of the three cells below it and the
  // one two rows below, rows wrapping through the hidden row back to row 0
  // and columns wrapping at the sides. Rows are rewritten top to bottom, so
  // the bottom row already sees this step's row 0.
  for (int y = 0; y < h; ++y) {
    uint8_t* __restrict out = heat + static_cast<size_t>(y) * w;
    const uint8_t* __restrict below = heat + static_cast<size_t>((y + 1) % rows) * w;
    const uint8_t* __restrict below2 = heat + static_cast<size_t>((y + 2) % rows) * w;
    auto cool = [](unsigned sum) { return static_cast<uint8_t>((sum * 32u) / 129u); };
    out[0] = cool(unsigned{below[w - 1]} + below[0] + below[1] + below2[0]);
    for (int x = 1; x < w - 1; ++x) {
      out[x] = cool(unsigned{below[x - 1]} + below[x] + below[x + 1] + below2[x]);
    }
    out[w - 1] = cool(unsigned{below[w - 2]} + below[w - 1] + below[0] + below2[w - 1]);
  }
}

void FireGenerator::Render(const Canvas& canvas) {
  uint8_t* const frame = canvas.pixels;
  const int width = canvas.width;
  const int height = canvas.height;
  RenderGuard guard(busy_);
  if (!guard) return;
  // The field was built for the size of the last Create; any other size
  // would address outside it.
  if (width != width_ || height != height_ || width < 2) return;

  const int spots = (width * 2 * hotspots_) / 100 + 1;
  std::memset(heat_.data() + static_cast<size_t>(height) * width, 0, static_cast<size_t>(width));
  const int steps = context_.pixelStep.load(std::memory_order_relaxed);
  for (int s = 0; s < steps; ++s) Step(spots);

  ExpandPalette(heat_.data(), static_cast<size_t>(width) * static_cast<size_t>(height), palette_, frame);
}

std::unique_ptr<Generator> CreateFireGenerator(GeneratorContext& context) {
  return std::make_unique<FireGenerator>(context);
}

}  // namespace quor
