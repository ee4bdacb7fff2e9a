#pragma once

#include "checkreport.h"
#include "outcome.h"

#include <QObject>

class DaemonClient;
class QDBusPendingCallWatcher;

// One check of a package by the service: the call, its one result signal, then the reads of
// what the check recorded. Ends with exactly one of checked() or failed().
class CheckSession : public QObject
{
    Q_OBJECT

public:
    CheckSession(DaemonClient *daemon, const QString &home, const QString &package,
        QObject *parent = nullptr);

    void start();

signals:
    void checked(const CheckFacts &facts);
    void failed(const Outcome &outcome);

private:
    void acceptReply(QDBusPendingCallWatcher *watcher);
    void finishWhenComplete();
    void fail(const Outcome &outcome);

    DaemonClient *m_daemon;
    QString m_home;
    QString m_package;
    CheckFacts m_facts;
    bool m_replied = false;
    bool m_done = false;
};
