#pragma once

#include <qnamespace.h>

namespace Karvo {

// Item data roles the toolkit's item views read. QMargins has no metatype of its own in Qt 5:
// code storing one declares Q_DECLARE_METATYPE(QMargins) in its source file. It is not done
// here because a second declaration in the same file does not compile.
enum ItemDataRole {
    // QMargins around an item inside its cell; the item's background and content stay
    // inside them.
    MarginsRole = Qt::UserRole + 1
};

} // namespace Karvo
