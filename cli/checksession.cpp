#include "checksession.h"

#include "callfailure.h"
#include "daemonclient.h"
#include "exitstatus.h"

#include <QDBusPendingCallWatcher>

CheckSession::CheckSession(
    DaemonClient *daemon, const QString &home, const QString &package, QObject *parent)
    : QObject(parent)
    , m_daemon(daemon)
    , m_home(home)
    , m_package(package)
{ }

void CheckSession::start()
{
    // The result is broadcast: the first one after our call is taken as ours. The service
    // runs one check at a time, so another caller's would have to start and end in between.
    connect(m_daemon, &DaemonClient::checkResult, this, [this](int item, bool result) {
        if (m_facts.item >= 0)
            return;
        m_facts.item = item;
        m_facts.result = result;
        finishWhenComplete();
    });
    connect(m_daemon, &DaemonClient::vanished, this, [this] {
        fail({ ExitStatus::Unreachable, QStringLiteral("vanished"),
            QStringLiteral("The offline update service left the bus during the check."), {} });
    });
    auto *watcher = new QDBusPendingCallWatcher(m_daemon->startCheck(m_home, m_package), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &CheckSession::acceptReply);
}

void CheckSession::acceptReply(QDBusPendingCallWatcher *watcher)
{
    watcher->deleteLater();
    if (watcher->isError()) {
        fail(CallFailure::outcomeOf(watcher->error(), QStringLiteral("the check")));
        return;
    }
    m_replied = true;
    finishWhenComplete();
}

// The service may send the result before its reply or after it; both are needed.
void CheckSession::finishWhenComplete()
{
    if (m_done || !m_replied || m_facts.item < 0)
        return;
    QDBusError error;
    if (!m_daemon->readLastCheck(&m_facts, &error)) {
        fail(CallFailure::outcomeOf(error, QStringLiteral("reading the check's outcome")));
        return;
    }
    m_done = true;
    emit checked(m_facts);
}

void CheckSession::fail(const Outcome &outcome)
{
    if (m_done)
        return;
    m_done = true;
    emit failed(outcome);
}
