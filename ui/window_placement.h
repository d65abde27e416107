// Where top-level windows go so that each stays wholly on its screen: the
// pure rectangle arithmetic (table-tested) and the few calls that apply it
// to a window through its frame. Rectangles here are outer frames (title
// bar and borders included) in desktop coordinates.
// GUI thread only.
#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

namespace quor {

// `frame` moved (and, where larger than `available`, shrunk) to lie wholly
// inside `available`. A frame already inside comes back unchanged.
QRect FitInside(const QRect& frame, const QRect& available);

// The frames of windows docked to `main`, in order: each beside the one
// before (the first beside `main`), at main's top, wherever that lies
// wholly inside `available`. One that does not fit there goes on top of
// `main` instead, against main's right edge (the next further left), and
// is then fitted inside `available`.
std::vector<QRect> DockedFrames(const QRect& main, const std::vector<QSize>& frames, const QRect& available);

// The frame the window system put around `window`'s client area; before
// the window was shown and decorated (the frame not yet known) `hint`,
// another window's.
QMargins FrameMargins(const QWidget* window, const QMargins& hint = {});

// The available area (without panels) of the screen holding `window`'s
// centre, else of the screen Qt gives it.
QRect AvailableArea(const QWidget* window);

// `window`'s outer frame, taking its frame to be `margins`.
QRect OuterFrame(const QWidget* window, const QMargins& margins);

// Puts `window`'s outer frame at `frame`: the client area goes inside the
// frame `margins`, so the placement holds also before Qt knows the frame.
void SetFrameGeometry(QWidget* window, const QRect& frame, const QMargins& margins);

// Moves (and shrinks where needed) `window` so its frame is wholly on its
// screen's available area; nothing for a window not shown.
void KeepOnScreen(QWidget* window, const QMargins& frameHint = {});

}  // namespace quor
