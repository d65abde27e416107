#include "generators/builtin_generators.h"

#include "generators/color_scroll.h"
#include "generators/expanding_shapes.h"
#include "generators/fading_pixels.h"
#include "generators/falling_rain.h"
#include "generators/file_player.h"
#include "generators/fire.h"
#include "generators/image_viewer.h"
#include "generators/metaballs.h"
#include "generators/plasma.h"
#include "generators/radar.h"
#include "generators/screen_capture.h"
#include "generators/scrolling_text.h"
#include "generators/simple_color.h"
#include "generators/simple_lines.h"
#include "generators/sine_lines.h"
#include "generators/spectrum_analyzer.h"
#include "generators/starfield.h"
#include "generators/strobe.h"

namespace quor {

void RegisterBuiltinGenerators(GeneratorRegistry& registry) {
  // None / Blackout (type 0) is always present.
  registry.Register(1, &CreatePlasmaGenerator);
  registry.Register(2, &CreateFireGenerator);
  registry.Register(3, &CreateSineLinesGenerator);
  registry.Register(4, &CreateSimpleLinesGenerator);
  registry.Register(5, &CreateScrollingTextGenerator);
  registry.Register(6, &CreateImageViewerGenerator);
  registry.Register(7, &CreateSimpleColorGenerator);
  registry.Register(8, &CreateStrobeGenerator);
  registry.Register(9, &CreateMetaballsGenerator);
  registry.Register(10, &CreateExpandingShapesGenerator);
  registry.Register(11, &CreateSpectrumAnalyzerGenerator);
  registry.Register(12, &CreateScreenCaptureGenerator);
  registry.Register(13, &CreateFallingRainGenerator);
  registry.Register(14, &CreateColorScrollGenerator);
  registry.Register(15, &CreateRadarGenerator);
  registry.Register(16, &CreateStarfieldGenerator);
  registry.Register(17, &CreateFilePlayerGenerator);
  registry.Register(18, &CreateFadingPixelsGenerator);
}

const GeneratorRegistry& BuiltinGenerators() {
  static const GeneratorRegistry registry = [] {
    GeneratorRegistry r;
    RegisterBuiltinGenerators(r);
    return r;
  }();
  return registry;
}

}  // namespace quor
