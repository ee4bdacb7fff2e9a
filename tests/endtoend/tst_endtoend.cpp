// The whole tool as a user runs it: the tool's window in a process of a throw-away user, driven
// by the walkthrough program through the controls a user presses; the real daemon as root on a
// private system bus with the machine's authority deciding, the development recovery service
// beside it; the user's own session bus with the development window and session managers; a
// package made by the project's builder and a probe package that is really upgraded. Faults caught
// here are those that only show when the pieces meet:
// - an administrator's upgrade that stops anywhere between the command-line argument and the
//   reboot request (a page that never comes, a table without the package count, a confirmation
//   that does not start the upgrade, a progress dialog that never closes, post-upgrade hooks or
//   the reboot request never sent), or that leaves the probe package at its old version.
// A refused user is the daemon's authorization test's, and the page it leaves the module's.
#include "childprocess.h"
#include "daemonfixture.h"
#include "packagefixture.h"
#include "testuser.h"

#include <QDBusConnectionInterface>
#include <QtTest>
#include <memory>
#include <unistd.h>

namespace {

const QString Probe = QStringLiteral("tevrin-probe-endtoend");

// A process of |user| whose standard output's first line is an address or similar answer.
bool startAs(ChildProcess &process, const TestUser &user, const QStringList &command,
    QString *firstLine = nullptr)
{
    const QStringList full = user.command(command);
    process.setProcessChannelMode(
        firstLine ? QProcess::ForwardedErrorChannel : QProcess::ForwardedChannels);
    process.start(full.first(), full.mid(1));
    if (!process.waitForStarted(10000))
        return false;
    while (firstLine && !process.canReadLine())
        if (!process.waitForReadyRead(10000))
            return false;
    if (firstLine)
        *firstLine = QString::fromUtf8(process.readLine()).trimmed();
    return true;
}

} // namespace

class tst_EndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void administratorUpgrades();

private:
    QTemporaryDir m_work;
    std::unique_ptr<DaemonFixture> m_daemon;
    ChildProcess m_recovery;
    QString m_package;
    QString m_schemaDir;
};

void tst_EndToEnd::initTestCase()
{
    if (geteuid() != 0)
        QSKIP("needs root: the daemon mounts the package and upgrades a probe package");
    if (!DaemonFixture::authorityAvailable())
        QSKIP("the machine's authority daemon is not installed");
    QVERIFY(m_work.isValid());
    QVERIFY(QFile::setPermissions(m_work.path(),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
            | QFile::ExeOther));

    QString oldProbe, newProbe;
    QVERIFY(PackageFixture::probePair(Probe, m_work.path(), &oldProbe, &newProbe));
    QVERIFY(PackageFixture::install(oldProbe));

    PackageFixture::Package contents;
    contents.debs = QStringList { newProbe };
    contents.postHooks = { { QStringLiteral("10-record"),
        QStringLiteral("echo \"$1\" > %1\n")
            .arg(m_work.filePath(QStringLiteral("post-hook-ran"))) } };
    m_package = m_work.filePath(QStringLiteral("update.oup"));
    QString error;
    QVERIFY2(PackageFixture::build(contents, m_package, &error), qPrintable(error));

    m_schemaDir = m_work.filePath(QStringLiteral("schemas"));
    QVERIFY(QDir().mkpath(m_schemaDir));
    QVERIFY(QFile::copy(
        QStringLiteral(TOOL_SCHEMA_FILE), m_schemaDir + QStringLiteral("/tool.gschema.xml")));
    QCOMPARE(QProcess::execute(QStringLiteral("glib-compile-schemas"), { m_schemaDir }), 0);

    m_daemon = std::make_unique<DaemonFixture>();
    QVERIFY2(m_daemon->start(&error), qPrintable(error));
    m_recovery.setProcessChannelMode(QProcess::ForwardedChannels);
    m_recovery.start(QStringLiteral(DEV_ABRECOVERY_PATH), {});
    QVERIFY(m_recovery.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(m_daemon->connection().interface()->isServiceRegistered(
                                 QStringLiteral("com.tevrin.ABRecovery")),
        10000);
}

void tst_EndToEnd::cleanupTestCase()
{
    m_recovery.stop(5000);
    m_daemon.reset();
    PackageFixture::purge(Probe);
}

void tst_EndToEnd::administratorUpgrades()
{
    const TestUser account(QStringLiteral("tevrint-erin"));
    QVERIFY(account.isValid());

    // The user's own desktop session: a session bus with the window and session managers.
    ChildProcess sessionBus, windowManager, sessionManager, tool;
    QString sessionAddress;
    QVERIFY(startAs(sessionBus, account,
        { QStringLiteral("dbus-daemon"), QStringLiteral("--session"), QStringLiteral("--nofork"),
            QStringLiteral("--print-address=1") },
        &sessionAddress));
    qputenv("DBUS_SESSION_BUS_ADDRESS", sessionAddress.toUtf8());
    // A home an interrupted earlier run left behind may still hold its requests.
    const QString rebootRecord = account.home() + QStringLiteral("/reboot-requests");
    QFile::remove(rebootRecord);
    QVERIFY(startAs(windowManager, account,
        { QStringLiteral(DEV_WM_PATH), QStringLiteral("--background"),
            QStringLiteral("file:///nonexistent/wallpaper.png") }));
    QVERIFY(startAs(sessionManager, account,
        { QStringLiteral(DEV_SESSIONMANAGER_PATH), QStringLiteral("--record"), rebootRecord }));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), account.home());
    environment.insert(QStringLiteral("USER"), account.name());
    environment.insert(QStringLiteral("GSETTINGS_SCHEMA_DIR"), m_schemaDir);
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    tool.setProcessEnvironment(environment);
    QVERIFY(startAs(tool, account, { QStringLiteral(WALKTHROUGH_PATH), m_package }));
    QVERIFY(tool.waitForFinished(400000));
    for (ChildProcess *process : { &sessionManager, &windowManager, &sessionBus })
        process->stop(5000);
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 0);

    QCOMPARE(PackageFixture::installedVersion(Probe), QStringLiteral("2.0"));
    QFile postHook(m_work.filePath(QStringLiteral("post-hook-ran"))), record(rebootRecord);
    QVERIFY(postHook.open(QIODevice::ReadOnly) && record.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(postHook.readAll()).trimmed(), account.home());
    QCOMPARE(record.readAll(), QByteArray("RequestReboot\n"));
}

QTEST_GUILESS_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
