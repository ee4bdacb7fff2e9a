#include "floatingnotice.h"

#include "builtinicons.h"
#include "floatingmessage.h"
#include "messagemanager.h"

#include <QMargins>
#include <QString>

void showFloatingNotice(QWidget *over, const QString &text)
{
    auto *message = new Karvo::FloatingMessage(Karvo::FloatingMessage::TransientType);
    message->setDuration(2000);
    message->setIcon(themeIcon(QStringLiteral("vsk_yellow_tip")));
    message->setMessage(text);
    Karvo::MessageManager::instance()->sendMessage(over, message);
    Karvo::MessageManager::instance()->setContentMargins(over, QMargins(0, 0, 0, 10));
}
