#pragma once

#include "childprocess.h"

#include <QStringList>
#include <QTemporaryDir>

// A dbus-daemon of the test's own, so that no test touches the machine's buses. A system-type
// bus takes the policy files to include (missing ones are skipped); its socket is reachable by
// every local user, as the machine's system bus is.
class PrivateBus
{
public:
    enum Type { System, Session };

    explicit PrivateBus(Type type, const QStringList &policyFiles = {});

    bool start();
    QString address() const { return m_address; }
    QString errorString() const { return m_error; }
    // Points this process's (and its children's) DBUS_SYSTEM_BUS_ADDRESS or
    // DBUS_SESSION_BUS_ADDRESS at this bus.
    void exportAddress() const;

private:
    Type m_type;
    QStringList m_policyFiles;
    QTemporaryDir m_dir;
    ChildProcess m_daemon;
    QString m_address;
    QString m_error;
};
