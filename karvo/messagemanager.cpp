#include "messagemanager.h"

#include "floatingmessage.h"
#include "messagearea.h"
#include "style.h"

#include <QWidget>

namespace Karvo {

MessageManager::MessageManager(QObject *parent)
    : QObject(parent)
{ }

MessageManager *MessageManager::instance()
{
    static MessageManager manager;
    return &manager;
}

void MessageManager::sendMessage(QWidget *parent, FloatingMessage *message)
{
    if (!parent || !message)
        return;
    area(parent, true)->addMessage(message);
}

void MessageManager::setContentMargins(QWidget *parent, const QMargins &margins)
{
    if (parent)
        area(parent, true)->setContentMargins(margins);
}

QMargins MessageManager::contentMargins(QWidget *parent) const
{
    if (const MessageArea *existing = area(parent, false))
        return existing->contentMargins();
    const int margin = Style::metric(parent, Style::PM_ContentsMargins);
    return QMargins(margin, margin, margin, margin);
}

MessageArea *MessageManager::area(QWidget *parent, bool create)
{
    if (!parent)
        return nullptr;
    auto *existing = parent->findChild<MessageArea *>(QString(), Qt::FindDirectChildrenOnly);
    if (existing || !create)
        return existing;
    return new MessageArea(parent);
}

} // namespace Karvo
