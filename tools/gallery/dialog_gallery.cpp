// Writes a picture of every generator settings dialog, of "Audio Trigger
// Setup" and of "New Matrix Output" into a folder, plus an index page.
// tools/dialog-gallery runs it on a private Xvfb display.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTextStream>
#include <QTimer>
#include <array>
#include <cstdio>

#include "engine/engine.h"
#include "core/generator_registry.h"
#include "generators/generator_catalogue.h"
#include "ui/audio_trigger_setup_dialog.h"
#include "ui/generator_settings_dialog.h"
#include "ui/matrix_output_dialog.h"

namespace {

// "Radar/Scan Lines" -> "radar_scan_lines"
QString FileStem(std::string_view title) {
  QString stem;
  for (char c : title) {
    const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (word) {
      stem += QChar(c).toLower();
    } else if (!stem.isEmpty() && !stem.endsWith('_')) {
      stem += '_';
    }
  }
  while (stem.endsWith('_')) stem.chop(1);
  return stem;
}

bool Save(QWidget& widget, const QString& path) {
  widget.show();
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  if (widget.grab().save(path)) return true;
  std::fprintf(stderr, "dialog_gallery: cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: quor_dialog_gallery <folder>\n");
    return 2;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.mkpath(QStringLiteral("."))) {
    std::fprintf(stderr, "dialog_gallery: cannot create %s\n", argv[1]);
    return 1;
  }
  quor::Engine engine(quor::BuiltinGenerators(), quor::EngineOptions{quor::FrameClock::Mode::kManual, 1});
  quor::SettingsDialogPosition position;
  quor::SettingsDialogServices services;
  QStringList entries;
  bool ok = true;
  for (const quor::SettingsDialogTable* dialogTable : quor::BuiltinSettingsDialogs()) {
    engine.SelectEffect(0, quor::EffectListPosition(dialogTable->typeId));
    engine.RebindSlots();
    quor::GeneratorSettingsDialog dialog(engine, 0, *dialogTable, position, services, nullptr);
    const QString file = FileStem(dialogTable->title) + QStringLiteral(".png");
    ok = Save(dialog, folder.filePath(file)) && ok;
    entries << QStringLiteral("| %1 | ![%1](%2) |").arg(QString::fromLatin1(dialogTable->title.data(), dialogTable->title.size()), file);
  }
  // The trigger setup of a Strobe, its meter showing a band at 2/3 of the
  // gain with the threshold at half: the mark is red.
  engine.SelectEffect(0, quor::EffectListPosition(quor::kStrobeDialog.typeId));
  engine.RebindSlots();
  engine.audio().agcEnabled = 0;
  std::array<int16_t, quor::kAudioChannels * quor::kAudioBlockFrames> impulse{};
  impulse[0] = impulse[1] = 16384;  // 32 in every bin
  engine.audio().DeliverBlock(impulse.data());
  engine.EditGenerator(0, [&](quor::Generator& g) {
    quor::AudioTrigger& t = *quor::kStrobeDialog.controls[3].trigger(g);
    quor::MoveGainSlider(t, quor::kGainSliderSum - 48);
  });
  quor::AudioTriggerSetupDialog setup(engine, 0, quor::kStrobeDialog.typeId, quor::kStrobeDialog.controls[3].trigger,
                                      nullptr, nullptr);
  setup.TickMeter();
  ok = Save(setup, folder.filePath(QStringLiteral("audio_trigger_setup.png"))) && ok;
  entries << QStringLiteral("| Audio Trigger Setup | ![Audio Trigger Setup](audio_trigger_setup.png) |");
  // The default 32 x 16 matrix as a snake of GRB LEDs on Art-Net universes.
  quor::MatrixOutputDialog matrixOutput(engine, nullptr);
  matrixOutput.wiringList()->setCurrentIndex(1);
  matrixOutput.colourList()->setCurrentIndex(5);
  ok = Save(matrixOutput, folder.filePath(QStringLiteral("new_matrix_output.png"))) && ok;
  entries << QStringLiteral("| New Matrix Output | ![New Matrix Output](new_matrix_output.png) |");

  QFile index(folder.filePath(QStringLiteral("README.md")));
  if (!index.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) return 1;
  QTextStream out(&index);
  out << "# Settings dialogs\n\nEvery generator's settings dialog, the \"Audio Trigger Setup\" dialog and the "
         "\"New Matrix Output\" dialog, as `tools/dialog-gallery` draws them on a private Xvfb display.\n\n"
         "| Dialog | Picture |\n|---|---|\n"
      << entries.join('\n') << '\n';
  engine.StopRendering();
  return ok ? 0 : 1;
}
