// Writes the bundled demo show's media scenes: draws the demo picture
// (share/demo-picture.png), then loads share/demo.qrx, replaces the scenes
// "Text", "Picture" and "Spectrum" (added at the end when missing), puts
// them into the first chase after its other steps, and saves the show.
// Run from the source folder through tools/make-demo; running it again gives
// the same file.
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <cstdio>
#include <cstring>
#include <string>

#include <atomic>

#include "audio/audio_analyzer.h"
#include "core/console.h"
#include "core/random_source.h"
#include "generators/color.h"
#include "show/chase.h"
#include "engine/engine.h"
#include "engine/project_file.h"
#include "generators/generator_catalogue.h"
#include "generators/image_viewer.h"
#include "generators/scrolling_text.h"
#include "generators/spectrum_analyzer.h"
#include "show/scene.h"
#include "show/show.h"

namespace quor {
namespace {

constexpr const char* kPicturePath = "share/demo-picture.png";

// A night sky over hills with a moon and the program's name, 64 x 32.
bool DrawPicture() {
  QImage image(64, 32, QImage::Format_RGB888);
  QPainter p(&image);
  QLinearGradient sky(0, 0, 0, 32);
  sky.setColorAt(0, QColor(8, 10, 60));
  sky.setColorAt(1, QColor(160, 40, 120));
  p.fillRect(image.rect(), sky);
  QRadialGradient moon(50, 9, 6);
  moon.setColorAt(0, QColor(255, 250, 210));
  moon.setColorAt(1, QColor(255, 220, 120));
  p.setPen(Qt::NoPen);
  p.setBrush(moon);
  p.drawEllipse(QPointF(50, 9), 6, 6);
  p.setBrush(QColor(10, 70, 40));
  p.drawEllipse(QPointF(14, 40), 26, 14);
  p.setBrush(QColor(20, 110, 50));
  p.drawEllipse(QPointF(46, 42), 28, 14);
  const int stars[][2] = {{5, 4}, {12, 9}, {21, 3}, {30, 7}, {37, 2}, {27, 13}, {60, 20}, {3, 15}};
  for (const auto& s : stars) image.setPixelColor(s[0], s[1], QColor(255, 255, 255));
  QFont font("DejaVu Sans");
  font.setPixelSize(9);
  font.setBold(true);
  p.setFont(font);
  p.setPen(QColor(255, 230, 90));
  p.drawText(QRect(2, 16, 40, 12), Qt::AlignLeft | Qt::AlignVCenter, "Quor");
  p.end();
  return image.save(kPicturePath, "PNG");
}

template <class G>
SettingsBlock Settings(G& generator) {
  SettingsBlock block{};
  generator.ExchangeSettings(block, SettingsDirection::kStore);
  return block;
}

Scene MediaScene(const Scene& base, const char* name, int type, const SettingsBlock& block) {
  Scene scene = base;
  SetNameText(scene.name, name);
  for (int s = 0; s < kSlotCount; ++s) {
    scene.types[static_cast<size_t>(s)] = 0;
    scene.settings[static_cast<size_t>(s)] = SettingsBlock{};
  }
  scene.types[0] = type;
  scene.settings[0] = block;
  return scene;
}

int Run() {
  if (!DrawPicture()) {
    std::fprintf(stderr, "make_demo: cannot write %s (run it from the source folder)\n", kPicturePath);
    return 1;
  }
  Engine engine(BuiltinGenerators(), EngineOptions{FrameClock::Mode::kManual, 1});
  if (LoadProject(engine, "share/demo.qrx").status != ProjectFileStatus::kDone) {
    std::fprintf(stderr, "make_demo: cannot load share/demo.qrx\n");
    return 1;
  }
  const int width = engine.width();
  const int height = engine.height();
  Console console;
  RandomSource random(1);
  ColorWheel wheel;
  std::atomic<int> pixelStep{1};
  AudioAnalyzer audio;
  GeneratorContext context{console, random, wheel, pixelStep, audio};

  ScrollingTextGenerator text(context);
  text.Create(width, height);
  text.SetText("Quor! $TIME");
  text.SetFontName("Verdana");
  text.SetSize(25);
  text.SetPos(50);
  text.SetSineWave(true, 3, 15);
  text.colorGroup().SetAutoColorChecked(true);

  ImageViewerGenerator picture(context);
  picture.Create(width, height);
  picture.LoadPath(kPicturePath);
  picture.WaitForLoader(5000);

  SpectrumAnalyzerGenerator spectrum(context);
  spectrum.Create(width, height);
  spectrum.SetPeakHold(true);

  SceneStore& scenes = engine.show().scenes();
  const Scene base = scenes.at(0);
  const Scene media[] = {MediaScene(base, "Text", 5, Settings(text)),
                         MediaScene(base, "Picture", 6, Settings(picture)),
                         MediaScene(base, "Spectrum", 11, Settings(spectrum))};
  ChaseStore& chases = engine.show().chases();
  for (const Scene& scene : media) {
    int index = -1;
    for (int i = 0; i < scenes.count(); ++i)
      if (scenes.at(i).Name() == scene.Name()) index = i;
    if (index < 0) {
      index = scenes.count();
      if (scenes.InsertAt(index) == nullptr) return 1;
      if (chases.count() > 0) {
        ChaseStep step;
        step.kind = kStepScene;
        step.value = index;
        step.duration = 6000;
        chases.InsertStep(0, chases.at(0).StepCount(), step);
      }
    }
    scenes.at(index) = scene;
  }
  picture.Destroy();
  spectrum.Destroy();
  const ProjectFileResult saved = SaveProject(engine, "share/demo.qrx");
  if (saved.status != ProjectFileStatus::kDone) {
    std::fprintf(stderr, "make_demo: cannot save share/demo.qrx\n");
    return 1;
  }
  std::printf("share/demo.qrx: %d scenes\n", scenes.count());
  return 0;
}

}  // namespace
}  // namespace quor

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  return quor::Run();
}
