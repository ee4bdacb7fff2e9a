#pragma once

#include <QStringList>
#include <QTemporaryDir>

class ChildProcess;

// A dbus-daemon of the test's own, so that no test touches the machine's buses. A system-type
// bus takes the policy files to include; its socket is reachable by every local user, as the
// machine's system bus is.
class PrivateBus
{
public:
    enum Type { System, Session };

    explicit PrivateBus(Type type, const QStringList &policyFiles = {});
    ~PrivateBus();

    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    bool start();
    QString address() const { return m_address; }
    QString errorString() const { return m_error; }
    // Points DBUS_SYSTEM_BUS_ADDRESS or DBUS_SESSION_BUS_ADDRESS of this process (and so of
    // every child it starts) at this bus.
    void exportAddress() const;

private:
    Type m_type;
    QStringList m_policyFiles;
    QTemporaryDir m_dir;
    ChildProcess *m_daemon = nullptr;
    QString m_address;
    QString m_error;
};
