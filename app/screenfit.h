#pragma once
// Windows no larger than the screen they open on: a dialog whose natural
// height exceeds a 768 or 700 pixel screen would put its OK and Cancel
// below the edge.

class QWidget;

namespace ScreenFit {

// Shrinks the window to the available area of its screen (leaving room for
// a title bar) and moves it inside that area. The window's layout must be
// able to shrink (a scroll area) for the result to be usable.
void fit(QWidget *window);
// Fits the window each time it is shown.
void fitOnShow(QWidget *window);

} // namespace ScreenFit
