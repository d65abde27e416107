// The three live previews: DrawPreview paints a frame as square cells on a
// grey 320 x PreviewHeight picture, and PreviewRenderer runs it for the left
// (channel 1), centre (output) and right (channel 2) previews in every mix
// pass. Pictures go to the GUI thread through one triple buffer per preview,
// so the clock thread never waits for a paint.
//
// Threads: RenderAll runs on the clock thread (inside the mix pass, tick lock
// held); SetOptions, Latest and TakeNew on the GUI thread only.
#pragma once

#include <QImage>
#include <array>
#include <atomic>
#include <cstdint>

namespace quor {

class Engine;

inline constexpr int kPreviewWidth = 320;
inline constexpr int kPreviewBackground = 40;  // grey level of the margins and grid
inline constexpr int kDefaultPreviewHeight = 200;

// The height of the previews for a matrix: with previewAspect 1 the
// matrix's aspect ratio over the 320 pixel width (at most 640), otherwise
// the matrix height but at least 200. The main window, the list windows and
// show mode are laid out around it.
int PreviewHeight(int matrixWidth, int matrixHeight, int previewAspect);

// Where DrawPreview puts the cells. `grid` is 0 when the grid does not fit.
struct PreviewGeometry {
  int grid = 0;
  int cell = 0;
  int left = 0;
  int top = 0;
};

// Cell size and margins of a matrix drawn on 320 x previewHeight pixels.
PreviewGeometry ComputePreviewGeometry(int matrixWidth, int matrixHeight, int previewHeight, int previewGrid);

// Draws `frame` (matrixWidth x matrixHeight RGB bytes) into `picture`, which
// must be Format_RGB32, 320 wide and previewHeight high; invert shows
// 255 - value.
void DrawPreview(const uint8_t* frame, int matrixWidth, int matrixHeight, int previewGrid, bool invert,
                 QImage& picture);

// One writer (clock thread), one reader (GUI thread); neither ever waits.
class PreviewBuffer {
 public:
  // Writer: the picture to draw into next, sized 320 x height.
  QImage& BackBuffer(int height);
  // Writer: publishes the back buffer as the latest picture.
  void Publish();
  // Reader: true when a newer picture was published since the last call;
  // it then becomes Latest().
  bool TakeNew();
  const QImage& Latest() const { return images_[front_]; }

 private:
  static constexpr int kNewBit = 4;
  std::array<QImage, 3> images_;
  int back_ = 0;                  // writer's
  std::atomic<int> middle_{1};    // index, plus kNewBit when not yet taken
  int front_ = 2;                 // reader's
};

enum PreviewIndex : int { kPreviewLeft = 0, kPreviewCentre = 1, kPreviewRight = 2 };
inline constexpr int kPreviewCount = 3;

class PreviewRenderer {
 public:
  explicit PreviewRenderer(Engine& engine) : engine_(engine) {}
  // Clock thread, from the engine's drawPreview hook.
  void RenderAll();
  // GUI thread: the preview options (WindowLayout) the next pictures are
  // drawn with. Atomics, so the clock thread never waits for the GUI; a
  // picture drawn while both change may take one new and one old value.
  void SetOptions(int previewAspect, int previewGrid);
  PreviewBuffer& buffer(int index) { return buffers_[static_cast<size_t>(index)]; }

 private:
  Engine& engine_;
  std::array<PreviewBuffer, kPreviewCount> buffers_;
  // Read in the mix pass, written by SetOptions.
  std::atomic<int> previewAspect_{0};
  std::atomic<int> previewGrid_{1};
};

}  // namespace quor
