#include "label.h"

#include "fontsizemanager.h"

namespace Karvo {

Label::Label(QWidget *parent, Qt::WindowFlags flags)
    : Label(QString(), parent, flags)
{ }

Label::Label(const QString &text, QWidget *parent, Qt::WindowFlags flags)
    : QLabel(text, parent, flags)
{
    FontSizeManager::instance()->bind(this, FontSizeManager::T6);
}

} // namespace Karvo
