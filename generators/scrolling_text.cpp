#include "generators/scrolling_text.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QString>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "generators/settings_fields.h"

namespace quor {

static_assert(kScrollingTextSettingsBytes <= kSettingsBlockSize);

namespace {

constexpr double kHalfTurn = 3.14593;

QString Latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

std::string ExpandTimePlaceholders(std::string_view text, const std::tm& now) {
  std::string out(text);
  char clock[32];
  if (const size_t at = out.find("$TIME"); at != std::string::npos) {
    std::snprintf(clock, sizeof(clock), "%02d:%02d", now.tm_hour, now.tm_min);
    out.replace(at, 5, clock);
  }
  if (const size_t at = out.find("$LTIME"); at != std::string::npos) {
    std::snprintf(clock, sizeof(clock), "%02d:%02d:%02d", now.tm_hour, now.tm_min, now.tm_sec);
    out.replace(at, 6, clock);
  }
  return out;
}

std::vector<std::string> SplitTextLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find("\\n", start);
    if (at == std::string_view::npos) break;
    lines.emplace_back(text.substr(start, at - start));
    start = at + 2;
  }
  lines.emplace_back(text.substr(start));
  if (lines.size() > 1 && lines.back().empty()) lines.back().push_back(' ');
  return lines;
}

void ApplySineWave(const Canvas& canvas, int waveWidth, int waveHeight, float phase) {
  const int w = canvas.width;
  const int h = canvas.height;
  const int amplitude = static_cast<int>(static_cast<int64_t>(h) * waveHeight / 100);
  std::vector<uint8_t> column(static_cast<size_t>(h) * 3);
  for (int x = 0; x < w; ++x) {
    const double angle = kHalfTurn / w * x * waveWidth * 0.5 + phase;
    const int shift = static_cast<int>(std::sin(angle) * amplitude);
    for (int y = 0; y < h; ++y) std::memcpy(&column[static_cast<size_t>(y) * 3], canvas.At(x, y), 3);
    for (int y = 0; y < h; ++y) {
      const int64_t from = int64_t{y} + shift;
      uint8_t* out = canvas.At(x, y);
      if (from < 0 || from >= h) {
        out[0] = out[1] = out[2] = 0;
      } else {
        std::memcpy(out, &column[static_cast<size_t>(from) * 3], 3);
      }
    }
  }
}

void ApplyPerspective(const Canvas& canvas, int angle, int fade) {
  const int w = canvas.width;
  const int h = canvas.height;
  if (h < 2) return;
  const int fadeStep = static_cast<int>((int64_t{255 / (h / 2)} * fade) / 100);
  const float k = static_cast<float>(angle / (h * 40.0));
  float s = k * static_cast<float>(h - 1) + 1.0f;
  int64_t intensity = 255 - int64_t{h - 1} * fadeStep;
  const std::vector<uint8_t> source(canvas.pixels, canvas.pixels + canvas.ByteSize());
  std::memset(canvas.pixels, 0, canvas.ByteSize());
  for (int j = 0; j < h; ++j) {
    const long srcY = std::lround(s * static_cast<float>(j - h)) + h;
    const int scale = static_cast<int>(std::clamp<int64_t>(intensity, 0, 255));
    if (srcY >= 0 && srcY < h) {
      for (int x = 0; x < w; ++x) {
        const double sx = std::trunc(static_cast<double>(s * static_cast<float>(x - w / 2)));
        if (sx < -w || sx > w) continue;
        const int srcX = static_cast<int>(sx) + w / 2;
        if (srcX < 0 || srcX >= w) continue;
        const uint8_t* in = &source[(static_cast<size_t>(srcY) * w + static_cast<size_t>(srcX)) * 3];
        uint8_t* out = canvas.At(x, j);
        for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(in[c] * scale / 255);
      }
    }
    s = (1.0f - k) * s;
    intensity += fadeStep;
  }
}

bool ScrollingTextGenerator::Create(int width, int height) {
  (void)height;
  text_ = "Quor!";
  fontName_ = "Arial";
  size_ = 57.0f;
  pos_ = 57;
  bold_ = 1;
  italic_ = 0;
  antialias_ = 1;
  scrollPos_ = width;
  movingRight_ = 0;
  mode_ = 0;
  colors_.Reset({255, 0, 0}, kAutoColorOff);
  sineOn_ = 0;
  waveWidth_ = 4;
  waveHeight_ = 20;
  wavePhase_ = 0.0f;
  perspectiveOn_ = 0;
  angle_ = 20;
  fade_ = 0;
  align_ = 1;
  return true;
}

void ScrollingTextGenerator::SetText(std::string_view text) {
  text_.assign(text.substr(0, kScrollingTextMaxChars));
  // A zero byte would end the stored field early.
  if (const size_t nul = text_.find('\0'); nul != std::string::npos) text_.resize(nul);
}

void ScrollingTextGenerator::SetFontName(std::string_view name) {
  fontName_.assign(name.substr(0, kScrollingTextFieldBytes - 1));
  if (const size_t nul = fontName_.find('\0'); nul != std::string::npos) fontName_.resize(nul);
}

void ScrollingTextGenerator::SetScrollMode(int mode) {
  mode = std::clamp(mode, 0, kScrollModeCount - 1);
  if (IsVerticalScrollMode(mode) != IsVerticalScrollMode(mode_)) scrollPos_ = kScrollRestart;
  mode_ = mode;
}

void ScrollingTextGenerator::SetSineWave(bool on, int width, int height) {
  sineOn_ = on ? 1 : 0;
  waveWidth_ = std::clamp(width, 1, 10);
  waveHeight_ = std::clamp(height, 1, 50);
}

void ScrollingTextGenerator::SetPerspective(bool on, int angle, int fade) {
  perspectiveOn_ = on ? 1 : 0;
  angle_ = std::clamp(angle, 0, 100);
  fade_ = std::clamp(fade, 0, 100);
}

void ScrollingTextGenerator::ExchangeSettings(SettingsBlock& block, SettingsDirection direction) {
  using G = ScrollingTextGenerator;
  constexpr int kField = kScrollingTextFieldBytes;
  static constexpr auto kLayout = SettingsLayout<G>(
      {StoredText<G, kField, kField - 1, &G::text_>(), StoredText<G, kField, kField - 1, &G::fontName_>(),
       Stored<G, &G::size_>(), Stored<G, &G::pos_>(), Stored<G, &G::bold_>(), Stored<G, &G::italic_>(),
       Stored<G, &G::antialias_>(), Stored<G, &G::mode_>(), Stored<G, &G::colors_, &ColorGroup::color>(),
       Stored<G, &G::sineOn_>(), Stored<G, &G::waveWidth_>(), Stored<G, &G::waveHeight_>(), Stored<G, &G::align_>(),
       Stored<G, &G::colors_, &ColorGroup::autoColorMode>(), Stored<G, &G::perspectiveOn_>(), Stored<G, &G::angle_>(),
       Stored<G, &G::fade_>()});
  static_assert(kLayout.bytes == kScrollingTextSettingsBytes);
  if (direction == SettingsDirection::kStore) {
    kLayout.Store(*this, block);
    return;
  }
  kLayout.Load(*this, block);
  if (perspectiveOn_ > 1) perspectiveOn_ = 0;
  if (angle_ > 100) angle_ = 20;
  if (fade_ > 100) fade_ = 0;
  // Values no dialog produces would overflow the geometry; they are pulled
  // into the dialog's ranges.
  size_ = std::isfinite(size_) ? std::clamp(size_, 0.0f, 100.0f) : 57.0f;
  pos_ = std::clamp(pos_, 0, 100);
  mode_ = mode_ >= 0 && mode_ < kScrollModeCount ? mode_ : 0;
  waveWidth_ = std::clamp(waveWidth_, 1, 10);
  waveHeight_ = std::clamp(waveHeight_, 1, 50);
  angle_ = std::max(angle_, 0);
  fade_ = std::max(fade_, 0);
  align_ = std::clamp(align_, 0, 2);
  scrollPos_ = kScrollRestart;
  movingRight_ = 0;
  wavePhase_ = 0.0f;
}

void ScrollingTextGenerator::Render(const Canvas& canvas) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  RenderAt(canvas, local);
}

void ScrollingTextGenerator::RenderAt(const Canvas& canvas, const std::tm& now) {
  uint8_t* const frame = canvas.pixels;
  const int width = canvas.width;
  const int height = canvas.height;
  if (frame == nullptr || width <= 0 || height <= 0) return;
  const int w = width;
  const int h = height;
  const int fontHeight = static_cast<int>(2.0f * static_cast<float>(h) * size_ / 100.0f + 4.0f);
  const int top = ((h + fontHeight) * pos_) / 100 - fontHeight;
  const Rgb color = colors_.NextColor(context_);

  QImage image(w, h, QImage::Format_RGB888);
  image.fill(Qt::black);
  if (scrollPos_ == kScrollRestart) scrollPos_ = IsVerticalScrollMode(mode_) ? h : w;

  const std::vector<std::string> lines = SplitTextLines(ExpandTimePlaceholders(text_, now));
  QFont font(Latin1(fontName_));
  font.setPixelSize(std::max(fontHeight, 1));
  font.setWeight(bold_ != 0 ? QFont::Bold : QFont::Normal);
  font.setItalic(italic_ != 0);
  font.setStyleStrategy(antialias_ != 0 ? QFont::PreferAntialias : QFont::NoAntialias);
  const QFontMetrics metrics(font);
  const int ascent = metrics.ascent();
  const int lineHeight = ascent + metrics.descent();
  const int internalLeading = lineHeight - fontHeight;
  const int overhang = 0;  // outline fonts have none

  std::vector<QString> strings;
  std::vector<int> widths;
  int blockWidth = 0;
  for (const std::string& line : lines) {
    strings.push_back(Latin1(line));
    widths.push_back(metrics.horizontalAdvance(strings.back()));
    blockWidth = std::max(blockWidth, widths.back() + overhang);
  }
  blockWidth_ = blockWidth;
  const int breaks = static_cast<int>(lines.size()) - 1;

  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing, antialias_ != 0);
    painter.setFont(font);
    painter.setPen(QColor(static_cast<uint8_t>(color.r), static_cast<uint8_t>(color.g), static_cast<uint8_t>(color.b)));
    if (mode_ == static_cast<int>(ScrollMode::kCentre)) scrollPos_ = w / 2 - blockWidth / 2;
    for (size_t i = 0; i < strings.size(); ++i) {
      const int lineWidth = widths[i];
      const int index = static_cast<int>(i);
      int64_t x;
      int64_t y;
      if (!IsVerticalScrollMode(mode_)) {
        x = scrollPos_;
        if (align_ == static_cast<int>(TextAlign::kCentre)) x += (blockWidth - lineWidth - overhang) / 2;
        if (align_ == static_cast<int>(TextAlign::kRight)) x += blockWidth - lineWidth - overhang;
        y = static_cast<int64_t>(static_cast<double>(lineHeight) * index + top - internalLeading -
                                 breaks * 0.5 * lineHeight);
      } else {
        y = int64_t{lineHeight} * index + scrollPos_;
        if (align_ == static_cast<int>(TextAlign::kLeft)) x = w / 2 - blockWidth / 2;
        else if (align_ == static_cast<int>(TextAlign::kCentre)) x = w / 2 - (lineWidth + overhang) / 2;
        else x = (w / 2 - blockWidth / 2) + (blockWidth - lineWidth - overhang);
      }
      // Lines wholly outside the bitmap draw nothing.
      if (y + lineHeight < 0 || y > h || x + lineWidth + fontHeight < 0 || x - fontHeight > w) continue;
      painter.drawText(QPointF(static_cast<qreal>(x), static_cast<qreal>(y + ascent)), strings[i]);
    }
  }
  Advance(w, h, breaks + 1, lineHeight);
  for (int row = 0; row < h; ++row) {
    std::memcpy(canvas.At(0, row), image.constScanLine(row), static_cast<size_t>(w) * 3);
  }
  if (sineOn_ != 0) {
    ApplySineWave(canvas, waveWidth_, waveHeight_, wavePhase_);
    const int step = context_.pixelStep.load(std::memory_order_relaxed);
    wavePhase_ = static_cast<float>(wavePhase_ + kHalfTurn / w * waveWidth_ * step);
  }
  if (perspectiveOn_ != 0) ApplyPerspective(canvas, angle_, fade_);
}

void ScrollingTextGenerator::Advance(int w, int h, int lineCount, int lineHeight) {
  const int step = context_.pixelStep.load(std::memory_order_relaxed);
  const int m = blockWidth_;
  int& p = scrollPos_;
  switch (static_cast<ScrollMode>(mode_)) {
    case ScrollMode::kRightToLeft:
      p -= step;
      if (p < -m) p = w;
      break;
    case ScrollMode::kLeftToRight:
      p += step;
      if (p > w) p = -m;
      break;
    case ScrollMode::kBounce:
      p += movingRight_ != 0 ? step : -step;
      if (movingRight_ != 0 && p > w) movingRight_ = 0;
      else if (movingRight_ == 0 && p < -m) movingRight_ = 1;
      break;
    case ScrollMode::kBounceInside: {
      p += movingRight_ != 0 ? step : -step;
      const int right = m <= w ? w - m : 0;
      const int left = m <= w ? 0 : w - m;
      if (movingRight_ != 0 && p > right) movingRight_ = 0;
      else if (movingRight_ == 0 && p < left) movingRight_ = 1;
      break;
    }
    case ScrollMode::kCentre:
      p = 0;
      break;
    case ScrollMode::kBottomToTop:
      p -= step;
      if (p < -lineCount * lineHeight) p = h;
      break;
    case ScrollMode::kTopToBottom:
      p += step;
      if (p > h) p = -lineCount * lineHeight;
      break;
  }
}

std::unique_ptr<Generator> CreateScrollingTextGenerator(GeneratorContext& context) {
  return std::make_unique<ScrollingTextGenerator>(context);
}

}  // namespace quor
