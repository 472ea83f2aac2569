#pragma once
// Windows no larger than the screen they open on: a dialog whose natural
// height exceeds a 768 or 700 pixel screen would put its OK and Cancel
// below the edge.

class QRect;
class QSize;
class QWidget;

namespace ScreenFit {

// The area a window may take on the screen it is on (primary screen when
// it has none yet).
QRect availableArea(const QWidget *window);
// Stands in for every screen's available area while not empty: tests and
// tools lay the window out for a screen size the machine does not have.
void setAvailableAreaOverride(const QRect &area);

// The largest size the window may take on its screen: the available area
// less its frame (or room for a title bar until it has one). Empty when
// the screen is not known.
QSize largestSize(const QWidget *window);

// Shrinks the window to the available area of its screen (leaving room for
// a title bar) and moves it inside that area. The window's layout must be
// able to shrink (a scroll area) for the result to be usable.
void fit(QWidget *window);
// Fits the window each time it is shown.
void fitOnShow(QWidget *window);

} // namespace ScreenFit
