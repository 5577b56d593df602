// Sizes and places that keep a top-level window, with the window manager's
// frame, on the free area of a screen: a first size chosen for another
// screen, or a place saved with another screen layout or density, may not fit
// the screen the window opens on.
#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

// Room kept for the window manager's title bar and borders, which are known
// only once a window is mapped.
inline constexpr QMargins kWindowFrameAllowance(8, 40, 8, 8);

// wanted, made smaller where available cannot hold it with the frame.
QSize FitSizeInto(const QSize& wanted, const QRect& available);
// A window's client area as it is when it lies within available; otherwise
// moved, and made smaller where needed, so that it and its frame do.
QRect FitRectInto(const QRect& client, const QRect& available);
// FitRectInto the free area of the screen the client area's centre is on,
// or of the primary screen when it is on none.
QRect PlaceOnScreen(const QRect& client);
