#pragma once

#include "childprocess.h"
#include "privatebus.h"
#include "systemauthority.h"

#include <QDBusConnection>
#include <memory>

class ComTevrinOfflineUpdateDaemonInterface;
class TestUser;

// The real daemon program, started as root on a private system bus that carries the
// project's own bus policy (and the development recovery service's), with a typed client on
// the test's own connection.
class DaemonFixture
{
public:
    // Whether the machine's authority runs on the bus, deciding with the test rules.
    enum Authority { WithAuthority, WithoutAuthority };

    explicit DaemonFixture(Authority authority = WithAuthority);
    ~DaemonFixture();

    // Starts the bus and the daemon; on failure returns false with the reason in |error|.
    bool start(QString *error);
    // Starts only the bus (and the authority), for tests that start daemons themselves.
    bool startBus(QString *error);

    QDBusConnection connection() const { return QDBusConnection(m_connectionName); }
    ComTevrinOfflineUpdateDaemonInterface *daemon() const { return m_daemon.get(); }
    QProcess &process() { return m_process; }
    static QString daemonProgram();

    // Everything the daemon has written to standard error since it started.
    QString log();

    // Calls |method| (of the daemon's interface unless qualified with another) with string
    // arguments through dbus-send, as |user| (root when null), and waits for the reply while
    // the test's connection takes the daemon's signals; returns dbus-send's exit code and its
    // output in |output|.
    int call(const TestUser *user, const QString &method, const QStringList &arguments,
        QString *output = nullptr);

private:
    Authority m_authorityMode;
    PrivateBus m_bus;
    SystemAuthority m_authority;
    ChildProcess m_process;
    QString m_log;
    // A connection of this fixture's own: the process-wide system bus connection stays tied to
    // the first bus the process used, and a test may start several.
    QString m_connectionName;
    std::unique_ptr<ComTevrinOfflineUpdateDaemonInterface> m_daemon;
};
