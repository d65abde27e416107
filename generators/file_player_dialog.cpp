// The "Quor! File Player" dialog: the file (group "QRR File" with "Load"),
// its resolution, the resize indicator and the smoothing option (group
// "Mode"). Smoothing only matters, and is only enabled, when the file's size
// differs from the matrix.
// Controls name only the members they use; GCC 12 warns about the rest of
// a designated initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <string>

#include "generators/generator_catalogue.h"
#include "generators/file_player.h"

namespace quor {
namespace {

using G = FilePlayerGenerator;
constexpr int kModeTop = 41;
constexpr int kHeight = FrameHeightFor(kModeTop + 52);

FilePlayerDialogState StateOf(const Generator& g, int matrixWidth, int matrixHeight) {
  const auto* p = dynamic_cast<const G*>(&g);
  return p != nullptr ? p->DialogState(matrixWidth, matrixHeight) : FilePlayerDialogState{};
}

constexpr DialogControl kControls[] = {
    {.kind = ControlKind::kGroupBox, .id = 1, .text = "QRR File", .rect = DialogRow(7, 30)},
    {.kind = ControlKind::kFileChooser, .id = 2, .text = "Load", .rect = {12, 18, 156, 14}, .group = 1,
     .textField = {[](const Generator& g) -> std::string {
                     const auto* p = dynamic_cast<const G*>(&g);
                     return p != nullptr ? p->fileName() : std::string();
                   },
                   nullptr},
     .filter = "Quor Recordings (*.qrr)",
     .load = [](Generator& g, const std::string& path) -> std::string {
       auto* p = dynamic_cast<G*>(&g);
       if (p == nullptr) return {};
       const char* message = RecordingOpenMessage(p->Load(path));
       return message != nullptr ? message : "";
     }},
    {.kind = ControlKind::kGroupBox, .id = 3, .text = "Mode", .rect = DialogRow(kModeTop, 52)},
    {.kind = ControlKind::kLabel, .id = 4, .text = "File Resolution: ", .rect = {12, kModeTop + 11, 156, 10}, .group = 3,
     .label = [](const Generator& g, int w, int h) { return StateOf(g, w, h).resolutionLabel; }},
    {.kind = ControlKind::kCheckBox, .id = 5, .text = " Resize to Matrix Dimension", .rect = {12, kModeTop + 23, 156, 12},
     .group = 3, .indicator = [](const Generator& g, int w, int h) { return StateOf(g, w, h).resizeChecked; },
     .enable = kNeverEnabled},
    {.kind = ControlKind::kCheckBox, .id = 6, .text = " Use smooth resizing (bicubic)",
     .rect = {12, kModeTop + 37, 156, 12}, .group = 3, .field = MemberField<G, &G::smoothResize, &G::SetSmoothResize>(),
     .enable = {EnableRule::Kind::kWhen, 0, 0,
                [](const Generator& g, int w, int h) { return StateOf(g, w, h).smoothEnabled; }}},
    {.kind = ControlKind::kPushButton, .id = 7, .text = kCloseText, .rect = CloseButtonRect(kHeight), .closes = true},
};

}  // namespace

constinit const SettingsDialogTable kFilePlayerDialog =
    CatalogueDialog("Quor! File Player", kDialogFrameWidth, kHeight, kControls);

}  // namespace quor
