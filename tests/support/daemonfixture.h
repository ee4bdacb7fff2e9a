#pragma once

#include "childprocess.h"
#include "privatebus.h"

#include <QDBusConnection>
#include <functional>
#include <memory>

class ComTevrinOfflineUpdateDaemonInterface;
class TestUser;

// The real daemon program, started as root on a private system bus that carries the project's
// own bus policy (and the development recovery service's), with a typed client on the test's
// own connection. The machine's authority daemon runs beside it with the project's actions and
// rules that let the "tevrint-" users in and keep DeniedUser out; setAnswer changes that for one
// user at any time. The daemon always works with the machine's source list: the fixture puts
// the placeholder there and restores the old one.
class DaemonFixture
{
public:
    static constexpr const char *DeniedUser = "tevrint-denied";
    enum Authority { WithAuthority, WithoutAuthority };
    // What the authority answers a "tevrint-" user: yes, no, yes after three seconds in which
    // the question stays open (as while a person types a password), or yes to everything but
    // checking an unsigned package.
    enum Answer { Allow, Deny, Slow, DenyUnsigned };
    // Exists while a Slow question is open.
    static constexpr const char *AskingMarker = "/run/tevrin-tests-authority/asking";

    explicit DaemonFixture(Authority authority = WithAuthority);
    ~DaemonFixture();

    static bool authorityAvailable();
    static QString daemonProgram();

    // Starts the bus (and the authority), then the daemon; false with the reason in |error|.
    bool startBus(QString *error);
    bool start(QString *error);

    QDBusConnection connection() const { return QDBusConnection(m_connectionName); }
    ComTevrinOfflineUpdateDaemonInterface *daemon() const { return m_daemon.get(); }
    QProcess &process() { return m_process; }
    QByteArray sourceList() const;
    // Everything the daemon has written to standard error since it started.
    QString log();

    // Calls |method| (of the daemon's interface unless qualified) with string arguments as |user|
    // (root when null) through the test caller, which prints the daemon's signals to it and the
    // reply as dbus-send would; its exit code, its output in |output|.
    int call(const TestUser *user, const QString &method, const QStringList &arguments,
        QString *output = nullptr);
    // The same call, started and left running; its output is what dbus-send printed.
    std::unique_ptr<ChildProcess> startCall(
        const TestUser *user, const QString &method, const QStringList &arguments);
    // Returns once every signal the daemon sent to the test's own connection before now has
    // been delivered: a getter's answer comes after them.
    void settle();
    // The arguments of each signal |name| (every signal, its name first, when empty) that a
    // call's |output| shows, in order.
    static QList<QVariantList> signalsIn(const QString &output, const QString &name = QString());
    static QString callerProgram();
    // Hands each signal that a started call prints to |receive| (its name first) as it comes,
    // while |context| lives; each other line of the call's output comes as ("#", line).
    static void followSignals(
        QProcess *call, QObject *context, const std::function<void(const QVariantList &)> &receive);
    // |user| checks |file| for their home: the item of the one result signal the check sent,
    // negated when it passed; 100 + the count when the call failed or there was not exactly one.
    int check(const TestUser *user, const QString &file);
    void setAnswer(const QString &user, Answer answer);
    // How long the daemon took to answer all its getters and IsAllowBackupSystem; -1 when one
    // of them failed.
    qint64 getterAnswerTime();

private:
    bool startAuthority(QString *error);

    Authority m_authorityMode;
    bool m_hadSourceList;
    QByteArray m_savedSourceList;
    PrivateBus m_bus;
    ChildProcess m_authority;
    bool m_installedActions = false;
    ChildProcess m_process;
    QString m_log;
    // The process-wide system bus connection stays tied to the first bus the process used.
    QString m_connectionName;
    std::unique_ptr<ComTevrinOfflineUpdateDaemonInterface> m_daemon;
};
