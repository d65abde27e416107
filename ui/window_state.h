// What the windows keep of themselves: the preview options, the show mode
// window's rectangle and button size, and where the chase editor opens.
// Plain values on the GUI thread; the main window owns one and lends it to
// the windows it opens.
//
// The project saves `layout`. A window that changes it hands the whole
// layout to the engine (Engine::SetWindowLayout), so a save writes what is
// on screen; a loaded project comes the other way, announced as
// Change::kWindowLayout, and the main window copies it in.
#pragma once

#include <QPoint>
#include <optional>

#include "files/project_format.h"

namespace quor {

struct WindowState {
  WindowLayout layout;
  // The chase editor's last screen position; empty until it was first
  // placed (centred over the main window).
  std::optional<QPoint> chaseEditorPosition;
};

}  // namespace quor
