#pragma once

class QAbstractItemView;

namespace tessivo {

// Makes the rows of a list tall enough for the whole of every glyph. A row is as tall as its
// font's ascent and descent, but the Song font's underscore and the tails of g, j, p, q and y
// reach below its descent and would be cut off: "under_score.bmp" would read "under score.bmp".
// The view's own delegate still paints the rows; only their height changes, and only where it
// falls short.
void MakeRowsFitGlyphs(QAbstractItemView& view);

} // namespace tessivo
