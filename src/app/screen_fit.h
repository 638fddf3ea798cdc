#pragma once

// Every window inside the available area of its screen, whatever the scale: never larger than
// the area (what stretches in it, such as the tree and the comment pane, gives up the room), and
// moved in where part of it would lie outside, so its caption and close box can always be reached.

#include <QSize>

class QWidget;

namespace mwdx {

// The room a window of `window`'s screen may take, its frame included (the screen's available
// area without the desktop's panels).
QSize AvailableRoom(const QWidget& window);

// Shrinks and moves `window` (a top-level window) into its screen's available area.
void FitIntoScreen(QWidget& window);

// From now on each window of the program, its message boxes and choosers included, is fitted
// into its screen when it is shown. Installed once; later calls do nothing.
void FitWindowsIntoScreen();

} // namespace mwdx
