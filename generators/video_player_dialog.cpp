// The "Video Player" dialog: the file or folder (group "Video File /
// Folder" with "Load" and the folder box), the mode, the placement and the
// speed factor.
// "Load" opens the chosen file (or looks into the folder) before anything
// changes: a file that cannot be played, or a folder without a video, is
// reported and the clip shown so far stays.
// Controls name only the members they use; GCC 12 warns about the rest of
// a designated initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <array>
#include <string>
#include <string_view>

#include "generators/generator_catalogue.h"
#include "generators/video_decoder.h"
#include "generators/video_player.h"
#include "platform/file_system.h"

namespace quor {
namespace {

using G = VideoPlayerGenerator;
constexpr std::array<std::string_view, 3> kModeNames = {"Loop", "Ping-Pong", "Play once, then black"};
constexpr std::array<std::string_view, 3> kPlacementNames = {"Keep aspect, centred", "Stretch",
                                                             "Zoom to fill"};
constexpr std::array<std::string_view, 9> kSpeedNames = {"1/4 x", "1/2 x", "3/4 x", "1 x (own pace)", "1 1/4 x",
                                                         "1 1/2 x", "2 x", "3 x", "4 x"};
static_assert(kSpeedNames.size() == std::size(kVideoSpeedPermille));
constexpr int kModeTop = 7 + 44 + 6;
constexpr int kPlacementTop = kModeTop + kDialogRowPitch;
constexpr int kSpeedTop = kPlacementTop + kDialogRowPitch;
constexpr int kHeight = FrameHeightFor(kSpeedTop + 14);

// Runs on the UI thread away from the running generator.
std::string CheckVideoPath(const std::string& path, bool folder) {
  if (path.size() >= static_cast<size_t>(kVideoPlayerPathBytes)) return "File name too long.";
  if (!folder) {
    const std::string error = ProbeVideoFile(path);
    return error.empty() ? std::string() : "Cannot play " + path + ": " + error + ".";
  }
  const Result<std::vector<std::string>> names = ListFolder(path);
  if (names) {
    for (const std::string& name : *names) {
      if (!IsVideoFileName(name)) continue;
      const Result<FileStatus> status = StatPath(path + "/" + name);
      if (status && status->kind == FileKind::kRegular) return {};
    }
  }
  return "There is no video file in the folder " + path + ".";
}

constexpr DialogControl kControls[] = {
    {.kind = ControlKind::kGroupBox, .id = 1, .text = "Video File / Folder", .rect = DialogRow(7, 44)},
    {.kind = ControlKind::kFileChooser, .id = 2, .text = "Load", .rect = {12, 18, 156, 14}, .group = 1,
     .textField = {[](const Generator& g) -> std::string {
                     const auto* p = dynamic_cast<const G*>(&g);
                     return p != nullptr ? p->path() : std::string();
                   },
                   nullptr},
     .filter = "Video Files (*.mp4;*.m4v;*.mkv;*.webm;*.avi;*.mov;*.mpg;*.mpeg;*.ts;*.ogv;*.wmv;*.flv;*.nut)",
     .load = [](Generator& g, const std::string& path) -> std::string {
       auto* p = dynamic_cast<G*>(&g);
       return p == nullptr || p->LoadPath(path) ? std::string() : std::string("File name too long.");
     },
     .check = &CheckVideoPath,
     .choosesFolder = [](const Generator& g) {
       const auto* p = dynamic_cast<const G*>(&g);
       return p != nullptr && p->choosesFolder();
     },
     .folderTitle = "Select Directory of Videos ..."},
    {.kind = ControlKind::kCheckBox, .id = 3, .text = " Play every video of a folder", .rect = {12, 34, 156, 12},
     .group = 1, .field = MemberField<G, &G::choosesFolder, &G::SetChoosesFolder>()},
    {.kind = ControlKind::kDropDown, .id = 4, .text = "Mode", .rect = DialogRow(kModeTop),
     .field = MemberField<G, &G::mode, &G::SetMode>(), .items = kModeNames},
    {.kind = ControlKind::kDropDown, .id = 5, .text = "Placement", .rect = DialogRow(kPlacementTop),
     .field = MemberField<G, &G::placement, &G::SetPlacement>(), .items = kPlacementNames},
    {.kind = ControlKind::kDropDown, .id = 6, .text = "Speed", .rect = DialogRow(kSpeedTop),
     .mapping = {MappingKind::kOffset, kVideoSpeedFirstStep}, .field = MemberField<G, &G::speedStep, &G::SetSpeedStep>(),
     .items = kSpeedNames},
    {.kind = ControlKind::kPushButton, .id = 7, .text = kCloseText, .rect = CloseButtonRect(kHeight), .closes = true},
};

}  // namespace

constinit const SettingsDialogTable kVideoPlayerDialog =
    CatalogueDialog("Video Player", kDialogFrameWidth, kHeight, kControls);

}  // namespace quor
