#pragma once

class QWidget;

namespace Karvo {

// The frame that the toolkit's frameless top-level windows share: rounded corners cut with a
// window mask, and a thin border line.

// Cuts |window|'s corners round. A mask rather than a translucent background: without a
// compositing manager translucent corners turn black, while a shaped window works on every X
// server.
void applyRoundedMask(QWidget *window);
// Fills |window| with its window brush and draws the border line along the rounded edge.
void paintWindowFrame(QWidget *window);

} // namespace Karvo
