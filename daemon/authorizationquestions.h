#pragma once

#include "polkitauthority.h"

#include <QDBusConnection>
#include <QHash>
#include <QObject>

class QDBusServiceWatcher;

// The questions the daemon has put to the system's authority, at most one per user at a time:
// a user whose password prompt is open cannot stack up more. A question is withdrawn, prompt
// and all, when the connection it is about leaves the bus.
class AuthorizationQuestions : public QObject
{
    Q_OBJECT

public:
    explicit AuthorizationQuestions(const QDBusConnection &bus, QObject *parent = nullptr);

    // Asks whether |busName| (of |uid|) may perform |action|; |answer| comes on the event loop.
    // False, asking nothing, while another question of that uid is open.
    bool ask(uint uid, const QString &busName, const QString &action,
        const PolkitAuthority::Answer &answer);

private:
    struct OpenQuestion
    {
        QString cancellationId;
        QDBusServiceWatcher *watcher = nullptr;
    };

    QDBusConnection m_bus;
    PolkitAuthority m_authority;
    QHash<uint, OpenQuestion> m_open;
    quint64 m_count = 0;
};
