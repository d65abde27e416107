// The "Image Viewer" dialog: the file or slideshow folder (group "Image File
// / Folder" with "Load"), the slideshow with its timer and audio trigger,
// and how the image is placed on the matrix.
// "Load" looks at the chosen file (or folder) before anything changes: a
// file that cannot be decoded, or a folder without an image file, is
// reported and the image shown so far stays.
// Controls name only the members they use; GCC 12 warns about the rest of
// a designated initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <string>

#include "generators/generator_catalogue.h"
#include "generators/image_loader.h"
#include "generators/image_viewer.h"

namespace quor {
namespace {

using G = ImageViewerGenerator;
constexpr int kSlideshowTop = 7 + 30 + 6;
constexpr int kTriggerTop = kSlideshowTop + 14 + 14 + kDialogRowPitch;
constexpr int kPlacementTop = kTriggerTop + 20;
constexpr int kHeight = FrameHeightFor(kPlacementTop + 5 * 12);

// One of the check boxes that place the image.
template <int ImagePlacement::*Member>
constexpr IntField PlacementField() {
  return {[](const Generator& g) -> int {
            const auto* p = dynamic_cast<const G*>(&g);
            return p != nullptr ? p->placement().*Member : 0;
          },
          [](Generator& g, int value) {
            if (auto* p = dynamic_cast<G*>(&g)) {
              ImagePlacement placement = p->placement();
              placement.*Member = value != 0 ? 1 : 0;
              p->SetPlacement(placement);
            }
          }};
}

constexpr ControlRect PlacementRow(int index) { return DialogRow(kPlacementTop + 12 * index, 12); }

// Runs on the UI thread away from the running generator, so decoding a
// large file never holds up the slot.
std::string CheckImagePath(const std::string& path, bool folder) {
  if (path.size() >= static_cast<size_t>(kImageViewerPathBytes)) return "File name too long.";
  if (folder) {
    SlideshowWalk walk;
    walk.Reset(path);
    return walk.Next().empty() ? "There is no image file in the folder " + path + "." : std::string();
  }
  const ImageDecodeResult decoded = DecodeImageFile(path);
  return decoded.image == nullptr ? "Cannot show " + path + ": " + decoded.error + "." : std::string();
}

constexpr EnableRule kWithSlideshow = EnabledWhen(3, {1});

constexpr DialogControl kControls[] = {
    {.kind = ControlKind::kGroupBox, .id = 1, .text = "Image File / Folder", .rect = DialogRow(7, 30)},
    {.kind = ControlKind::kFileChooser, .id = 2, .text = "Load", .rect = {12, 18, 156, 14}, .group = 1,
     .textField = {[](const Generator& g) -> std::string {
                     const auto* p = dynamic_cast<const G*>(&g);
                     return p != nullptr ? p->path() : std::string();
                   },
                   nullptr},
     .filter = "All supported Files (*.gif;*.jpg;*.jpeg;*.jpe;*.bmp;*.png;*.tif;*.tiff)",
     .load = [](Generator& g, const std::string& path) -> std::string {
       auto* p = dynamic_cast<G*>(&g);
       return p == nullptr || p->LoadPath(path) ? std::string() : std::string("File name too long.");
     },
     .check = &CheckImagePath,
     .choosesFolder = [](const Generator& g) {
       const auto* p = dynamic_cast<const G*>(&g);
       return p != nullptr && p->slideshow();
     },
     .folderTitle = "Select Directory for Slideshow ..."},
    {.kind = ControlKind::kCheckBox, .id = 3, .text = " Slideshow", .rect = DialogRow(kSlideshowTop, 12),
     .field = MemberField<G, &G::slideshow, &G::SetSlideshow>()},
    {.kind = ControlKind::kCheckBox, .id = 4, .text = " Time:", .rect = DialogRow(kSlideshowTop + 14, 12),
     .field = MemberField<G, &G::timed, &G::SetTimed>(),
     .label = [](const Generator& g, int, int) {
       const auto* p = dynamic_cast<const G*>(&g);
       return " Time: " + std::to_string(p != nullptr ? p->time() : 0) + " seconds";
     },
     .enable = kWithSlideshow},
    {.kind = ControlKind::kSlider, .id = 5, .rect = DialogRow(kSlideshowTop + 28),
     .range = {kSlideshowMinSeconds, kSlideshowMaxSeconds}, .field = MemberField<G, &G::time, &G::SetTime>(),
     .enable = kWithSlideshow},
    {.kind = ControlKind::kCheckBox, .id = 6, .text = " Audio Trigger", .rect = {kDialogMargin, kTriggerTop + 1, 100, 12},
     .field = MemberField<G, &G::audio, &G::SetAudio>(), .enable = kWithSlideshow},
    {.kind = ControlKind::kAudioTriggerButton, .id = 7, .text = "Setup", .rect = {123, kTriggerTop, 50, 14},
     .trigger = [](Generator& g) -> AudioTrigger* {
       auto* p = dynamic_cast<G*>(&g);
       return p != nullptr ? &p->audioTrigger() : nullptr;
     },
     .enable = kWithSlideshow},
    {.kind = ControlKind::kCheckBox, .id = 8, .text = " Resize to Matrix Dimension", .rect = PlacementRow(0),
     .field = PlacementField<&ImagePlacement::resize>()},
    {.kind = ControlKind::kCheckBox, .id = 9, .text = " Keep Aspect Ratio", .rect = PlacementRow(1),
     .field = PlacementField<&ImagePlacement::keepAspect>()},
    {.kind = ControlKind::kCheckBox, .id = 10, .text = " Zoom", .rect = PlacementRow(2),
     .field = PlacementField<&ImagePlacement::zoom>()},
    {.kind = ControlKind::kCheckBox, .id = 11, .text = " Place in Center", .rect = PlacementRow(3),
     .field = PlacementField<&ImagePlacement::centre>()},
    {.kind = ControlKind::kCheckBox, .id = 12, .text = " Use smooth resizing (bicubic)", .rect = PlacementRow(4),
     .field = PlacementField<&ImagePlacement::smooth>()},
    {.kind = ControlKind::kPushButton, .id = 13, .text = kCloseText, .rect = CloseButtonRect(kHeight), .closes = true},
};

}  // namespace

constinit const SettingsDialogTable kImageViewerDialog =
    CatalogueDialog("Image Viewer", kDialogFrameWidth, kHeight, kControls);

}  // namespace quor
