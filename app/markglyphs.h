#pragma once
// The save-readiness mark keeps its texts "✔" and "❌", but draws them as
// strokes in the label's text colour: the heavy cross is in no font a
// Debian desktop is sure to have, and a missing glyph shows as an empty box.

class QLabel;

namespace MarkGlyphs {

// From now on the label paints "✔" and "❌" itself; any other text as usual.
void drawAsStrokes(QLabel *label);

} // namespace MarkGlyphs
