#pragma once

class QWidget;

namespace Karvo {

// Centres |window| on the available area of the screen it is on (the primary screen when it is
// on none yet). A window larger than that area keeps its top-left corner, and with it the
// title bar, on the screen.
void moveToCenter(QWidget *window);

} // namespace Karvo
