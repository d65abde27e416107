#include "generators/simple_lines.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "generators/color.h"
#include "generators/draw.h"
#include "generators/settings_fields.h"
#include "generators/tuned_constants.h"

namespace quor {
namespace {

constexpr int kSettingsWords = 10;
constexpr int kMaxCount = 5;
constexpr int kMinBeam = 20;
constexpr int kMaxBeam = 60;
constexpr int kMaxPhase = 180;
// Pi as the snakes use it, in single precision.
constexpr float kSnakePi = 3.1416f;
// Snake angles count up by 4 degrees per frame in single precision. Before
// they get so large that adding 4 no longer changes them (the snake would
// freeze after about a week), they are taken back by a multiple of 360 that
// keeps every value exact.
constexpr float kSnakeAngleWrap = 360.0f * 46603.0f;
constexpr Rgb kScratchRed{255, 0, 0};

// Every component c becomes c - step when above step, else 0.
void FadeFrame(uint8_t* frame, size_t bytes, int step) {
  const auto s = static_cast<uint8_t>(std::clamp(step, 0, 255));
  for (size_t i = 0; i < bytes; ++i) {
    const uint8_t c = frame[i];
    frame[i] = c > s ? static_cast<uint8_t>(c - s) : 0;
  }
}

// One component scaled by numerator / 255 (integer division), computed wide
// so a damaged colour cannot overflow.
int ScaleComponent(int component, int numerator) {
  return static_cast<int>((int64_t{component} * numerator) / 255);
}

}  // namespace

bool SimpleLinesGenerator::Create(int width, int height) {
  if (!IsValidMatrixSize(width, height)) return false;
  mode_ = kCross;
  fade_ = 15;
  counter_ = 0;
  count_ = 1;
  beam_ = 25;
  phase_ = 60;
  corners_ = kLeftTop | kRightTop;
  colors_.Reset(kDefaultColor, kAutoColorShared);
  matrixWidth_ = width;
  matrixHeight_ = height;
  scratch_.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0);
  Rebuild();
  return true;
}

void SimpleLinesGenerator::Destroy() {
  busy_.WaitAndEnter(BusyStatus::kDestroyed, context_.console);
  std::vector<Element>().swap(elements_);
  std::vector<uint8_t>().swap(scratch_);
}

void SimpleLinesGenerator::Rebuild() {
  busy_.WaitAndEnter(BusyStatus::kCreating, context_.console);
  RandomSource& random = context_.random;
  elements_.assign(static_cast<size_t>(2 * count_), Element{});
  // A speed between 0.5 and 2.5 pixels per frame in a random direction.
  const auto randomSpeed = [&random] {
    const int sign = random.Next();
    const int magnitude = random.Next();
    const float v = (static_cast<float>(magnitude) / 32767.0f) * 2.0f + 0.5f;
    return sign % 2 == 0 ? -v : v;
  };
  for (Element& e : elements_) {
    if (mode_ == kDancingLines) {
      e.a = static_cast<float>(random.Next() % matrixWidth_);
      e.b = static_cast<float>(random.Next() % matrixHeight_);
      e.c = randomSpeed();
      e.d = randomSpeed();
    } else {
      e.a = static_cast<float>(random.Next() % 360);
      e.b = random.Next() % 10 < 6 ? 1.0f : -1.0f;
      e.c = static_cast<float>((random.Next() & 3) + 3);
      e.d = static_cast<float>(random.Next() % 3 + 2);
    }
  }
  if (mode_ == kDancingSnakes) {
    elements_[0].c = 5.0f;
    elements_[0].d = 3.0f;
  }
  busy_.SetReady();
}

void SimpleLinesGenerator::SetMode(int mode) {
  mode_ = mode;
  if ((mode == kDancingLines || mode == kDancingSnakes) && matrixWidth_ > 0) Rebuild();
}

void SimpleLinesGenerator::SetFade(int percent) { fade_ = std::clamp(percent, 0, 100); }

void SimpleLinesGenerator::SetCount(int count) {
  count_ = std::clamp(count, 1, kMaxCount);
  if (matrixWidth_ > 0) Rebuild();
}

void SimpleLinesGenerator::SetBeam(int degrees) { beam_ = std::clamp(degrees, kMinBeam, kMaxBeam); }

void SimpleLinesGenerator::SetPhase(int degrees) { phase_ = std::clamp(degrees, 0, kMaxPhase); }

void SimpleLinesGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  using G = SimpleLinesGenerator;
  static constexpr auto kLayout = SettingsLayout<G>(
      {Stored<G, &G::mode_>(), Stored<G, &G::colors_, &ColorGroup::autoColorMode>(), Stored<G, &G::fade_>(),
       Stored<G, &G::colors_, &ColorGroup::color>(), Stored<G, &G::count_>(), Stored<G, &G::beam_>(),
       Stored<G, &G::phase_>(), Stored<G, &G::corners_>()});
  static_assert(kLayout.bytes == kSettingsWords * 4);
  if (direction == SettingsDirection::kStore) {
    kLayout.Store(*this, block);
    return;
  }
  kLayout.Load(*this, block);
  // Values out of range would divide by zero (fade, beam), overflow (phase)
  // or size the element array from garbage (count).
  fade_ = std::clamp(fade_, 0, 100);
  count_ = std::clamp(count_, 1, kMaxCount);
  beam_ = std::clamp(beam_, kMinBeam, kMaxBeam);
  phase_ = std::clamp(phase_, 0, kMaxPhase);
  corners_ &= 15;
  counter_ = 0;
  colors_.RestartWheel();
  if (matrixWidth_ > 0) Rebuild();
}

void SimpleLinesGenerator::DrawCross(const Canvas& canvas, Rgb color) {
  const int width = canvas.width;
  const int height = canvas.height;
  const int c = counter_;
  const int hw = width / 2;
  const int hh = height / 2;
  int x1, y1, x3, y3;
  if (c >= hw) {
    x1 = width - 1;
    y1 = height + (hw - c) - 2;
  } else {
    x1 = hw + c;
    y1 = height - 1;
  }
  const int x2 = width - 1 - x1;
  const int y2 = height - 1 - y1;
  if (c >= hh) {
    x3 = width + (hh - c) - 2;
    y3 = 0;
  } else {
    x3 = width - 1;
    y3 = hh - c - 1;
  }
  const int x4 = width - 1 - x3;
  const int y4 = height - 1 - y3;
  DrawLine(canvas, x1, y1, x2, y2, color, false);
  DrawLine(canvas, x3, y3, x4, y4, color, false);
  PutPixel(canvas, x2, y2, color, false);
  PutPixel(canvas, x4, y4, color, false);
  if (++counter_ >= (width + height) / 2 - 1) counter_ = 0;
}

void SimpleLinesGenerator::DrawRectangular(const Canvas& canvas, Rgb color) {
  const int width = canvas.width;
  const int height = canvas.height;
  const int c = counter_;
  const int y1 = static_cast<int>(height - static_cast<double>(height) / width * c);
  DrawLine(canvas, c, height - 1, width - 1, y1, color, false);
  DrawLine(canvas, width - 1, y1, width - 1 - c, 0, color, false);
  DrawLine(canvas, width - 1 - c, 0, 0, height - y1, color, false);
  DrawLine(canvas, 0, height - y1, c, height - 1, color, false);
  if (++counter_ >= width) counter_ = 0;
}

void SimpleLinesGenerator::DrawDancingLines(const Canvas& canvas, Rgb color) {
  const int width = canvas.width;
  const int height = canvas.height;
  const auto move = [](float& position, float& velocity, int limit) {
    position += velocity;
    if (position < 0) {
      position = 0;
      velocity = -velocity;
    } else if (position >= static_cast<float>(limit)) {
      position = static_cast<float>(limit - 1);
      velocity = -velocity;
    }
  };
  for (size_t i = 0; i + 1 < elements_.size(); i += 2) {
    Element& p = elements_[i];
    Element& q = elements_[i + 1];
    for (Element* e : {&p, &q}) {
      move(e->a, e->c, width);
      move(e->b, e->d, height);
    }
    DrawLine(canvas, static_cast<int>(p.a), static_cast<int>(p.b), static_cast<int>(q.a), static_cast<int>(q.b),
             color, false);
  }
}

void SimpleLinesGenerator::DrawSpotlights(const Canvas& canvas, Rgb color) {
  uint8_t* const frame = canvas.pixels;
  const int width = canvas.width;
  const int height = canvas.height;
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  scratch_.resize(pixels * 3);
  const Canvas scratch{scratch_.data(), width, height};
  const int reach = 90 - beam_;
  const int period = 2 * reach;
  const uint8_t rgb[3] = {static_cast<uint8_t>(color.r), static_cast<uint8_t>(color.g),
                          static_cast<uint8_t>(color.b)};

  for (int k = 0; k < 4; ++k) {
    if ((corners_ & (1 << k)) == 0) continue;
    const bool right = (k & 1) != 0;
    const bool bottom = (k & 2) != 0;
    const int cornerX = right ? width - 1 : 0;
    const int cornerY = bottom ? height - 1 : 0;
    // The cone's near edge swings between 0 and `reach` degrees and back.
    int a = ((k + 1) * phase_ + counter_) % period;
    if (a > reach) a = period - a;
    // The point `length` pixels from the corner at `degrees`, measured from
    // the vertical edge and mirrored into the corner's quadrant.
    const auto rayEnd = [&](int degrees, int length, int* x, int* y) {
      const double radians = (degrees / 360.0) * 2 * kTunedHalfTurn;
      const int dx = static_cast<int>(std::sin(radians) * length);
      const int dy = static_cast<int>(std::cos(radians) * length);
      *x = right ? width - 1 - dx : dx;
      *y = bottom ? height - 1 - dy : dy;
    };

    std::memset(scratch_.data(), 0, scratch_.size());
    int x, y;
    rayEnd(a, width + height, &x, &y);
    DrawLine(scratch, cornerX, cornerY, x, y, kScratchRed, false);
    rayEnd(a + beam_, width + height, &x, &y);
    DrawLine(scratch, cornerX, cornerY, x, y, kScratchRed, false);
    rayEnd(a + beam_ / 2, height - 1, &x, &y);
    FloodFill(scratch, x, y, kScratchRed, false);
    DrawLine(scratch, cornerX, cornerY, x, y, kScratchRed, false);

    const uint8_t* s = scratch_.data();
    uint8_t* p = frame;
    for (size_t i = 0; i < pixels; ++i, s += 3, p += 3) {
      if (s[0] != 0) std::memcpy(p, rgb, 3);
    }
  }
  if (++counter_ >= period) counter_ = 0;
}

void SimpleLinesGenerator::DrawSnakes(const Canvas& canvas, Rgb color) {
  const int width = canvas.width;
  const int height = canvas.height;
  const size_t snakes = std::min(static_cast<size_t>(count_), elements_.size());
  const int halfHeight = height / 2;
  const int halfWidth = width / 2;
  for (size_t j = 0; j < snakes; ++j) {
    Element& e = elements_[j];  // angle, direction, speed, width
    e.a += 4.0f;
    if (e.a >= kSnakeAngleWrap) e.a -= kSnakeAngleWrap;
    const int amplitudeX = static_cast<int>(static_cast<float>(width) / e.c);
    const float ang = kSnakePi * static_cast<float>(static_cast<int>(e.a)) / 180.0f;
    const int amplitudeY = static_cast<int>(static_cast<float>(halfHeight) / e.d);
    const double direction = e.b;
    int previousX = 0;
    int previousY = 0;
    for (int i = 1; i <= 255; ++i) {
      const float t = kSnakePi * static_cast<float>(i - 1) / 180.0f;
      const double sinT2Ang = std::sin(static_cast<double>(t + 2.0f * ang));
      const int y = static_cast<int>(std::sin(static_cast<double>(ang + 2.0f * t)) * amplitudeY + halfHeight +
                                     sinT2Ang * amplitudeY +
                                     std::sin(static_cast<double>(t / 2.0f + ang)) * amplitudeY);
      const int x = static_cast<int>((sinT2Ang * amplitudeX +
                                      std::sin(static_cast<double>(2.0f * t + ang / 2.0f)) * (amplitudeX / 2) -
                                      std::sin(static_cast<double>(t + ang)) * amplitudeX) *
                                         direction +
                                     halfWidth);
      if (i >= 2) {
        // The snake brightens from its tail towards its head.
        const Rgb shade{ScaleComponent(color.r, i - 1), ScaleComponent(color.g, i - 1),
                        ScaleComponent(color.b, i - 1)};
        DrawLine(canvas, x, y, previousX, previousY, shade, true);
      }
      previousX = x;
      previousY = y;
    }
  }
}

void SimpleLinesGenerator::Render(const Canvas& canvas) {
  uint8_t* const frame = canvas.pixels;
  const int width = canvas.width;
  const int height = canvas.height;
  RenderGuard guard(busy_);
  if (!guard || width <= 0 || height <= 0) return;

  const int step = 255 / ((std::max(width, height) * fade_) / 100 + 1);
  FadeFrame(frame, static_cast<size_t>(width) * static_cast<size_t>(height) * 3, step);

  const Rgb color = colors_.NextColor(context_);

  const int steps = context_.pixelStep.load(std::memory_order_relaxed);
  for (int iteration = 0; iteration < steps; ++iteration) {
    switch (mode_) {
      case kRectangular: DrawRectangular(canvas, color); break;
      case kDancingLines: DrawDancingLines(canvas, color); break;
      case kSpotlights:
        if (iteration == 0) DrawSpotlights(canvas, color);
        break;
      case kDancingSnakes:
        if (iteration == 0) DrawSnakes(canvas, color);
        break;
      default: DrawCross(canvas, color); break;
    }
  }
}

std::unique_ptr<Generator> CreateSimpleLinesGenerator(GeneratorContext& context) {
  return std::make_unique<SimpleLinesGenerator>(context);
}

}  // namespace quor
