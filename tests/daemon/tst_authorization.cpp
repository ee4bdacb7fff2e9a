// Who may make the daemon run a package's code as root. Faults caught here:
// - a guarded method acting (mounting, running a pre-upgrade script, emitting progress) for a
//   caller that the system's authority refused, or when there is no authority at all;
// - a refusal answered with anything but AccessDenied, or not answered at all;
// - the open methods (getters, StartApp) closed by mistake, root refused without an authority;
// - the bus policy letting a user own the daemon's name or call interfaces other than the
//   daemon's own; a second daemon not leaving the first its name, ExitApp not ending with 0;
// - the daemon waiting for the authority: getters unanswered, or another caller told it is busy,
//   while one user's password prompt is open; a second question of that user let in meanwhile.
#include "daemonfixture.h"
#include "daemoninterface.h"
#include "offlineupdateprotocol.h"
#include "packagefixture.h"
#include "testuser.h"

#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Marker = QStringLiteral("/tmp/tevrin-authorization-prehook-ran");

} // namespace

class tst_Authorization : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void guardedMethods_data();
    void guardedMethods();
    void answersWhileThePromptIsOpen();
    void nonRootCannotOwnTheName();

private:
    QTemporaryDir m_work;
    std::unique_ptr<TestUser> m_allowed;
    std::unique_ptr<TestUser> m_denied;
    QString m_package;
};

void tst_Authorization::initTestCase()
{
    if (geteuid() != 0)
        QSKIP("needs root: runs the machine's authority and makes users");
    if (!DaemonFixture::authorityAvailable())
        QSKIP("the machine's authority daemon (polkitd) is not installed");
    QVERIFY(m_work.isValid() && chmod(QFile::encodeName(m_work.path()).constData(), 0755) == 0);
    m_allowed = std::make_unique<TestUser>(QStringLiteral("tevrint-erin"));
    m_denied = std::make_unique<TestUser>(QString::fromLatin1(DaemonFixture::DeniedUser));
    QVERIFY(m_allowed->isValid() && m_denied->isValid());

    PackageFixture::Package contents;
    contents.preHooks
        = { { QStringLiteral("mark"), QStringLiteral("touch ") + Marker + QLatin1Char('\n') } };
    m_package = m_work.filePath(QStringLiteral("package.oup"));
    QString error;
    QVERIFY2(PackageFixture::build(contents, m_package, &error), qPrintable(error));
}

void tst_Authorization::cleanupTestCase()
{
    QFile::remove(Marker);
}

void tst_Authorization::guardedMethods_data()
{
    QTest::addColumn<bool>("withAuthority");
    QTest::addColumn<QString>("user"); // empty: root
    QTest::addColumn<QString>("method");
    QTest::addColumn<bool>("allowed");

    for (const bool authority : { true, false }) {
        // Without an authority even a user that the rules would let in is refused.
        const QString refused
            = QLatin1String(authority ? DaemonFixture::DeniedUser : "tevrint-erin");
        const char *setting = authority ? "refused by the authority" : "no authority on the bus";
        for (const char *method :
            { "StartOfflineFileCheck", "BackupSystem", "StartExecHookPost", "ExitApp" })
            QTest::addRow("%s: %s", method, setting) << authority << refused << method << false;
        for (const char *method : { "GetUpgradeType", "StartApp" })
            QTest::addRow("%s stays open: %s", method, setting)
                << authority << QString::fromLatin1(DaemonFixture::DeniedUser) << method << true;
    }
    QTest::newRow("root needs no authority") << false << ""
                                             << "StartOfflineFileCheck" << true;
    QTest::newRow("another interface of the daemon") << true << "tevrint-erin"
                                                     << "org.freedesktop.DBus.Peer.Ping" << false;
}

void tst_Authorization::guardedMethods()
{
    QFETCH(bool, withAuthority);
    QFETCH(QString, user);
    QFETCH(QString, method);
    QFETCH(bool, allowed);

    DaemonFixture fixture(
        withAuthority ? DaemonFixture::WithAuthority : DaemonFixture::WithoutAuthority);
    QString error;
    QVERIFY2(fixture.start(&error), qPrintable(error));
    const TestUser *caller = user.isEmpty() ? nullptr
        : user == m_allowed->name()         ? m_allowed.get()
                                            : m_denied.get();
    const QString home = caller ? caller->home() : m_work.path();
    const QString run
        = QStringLiteral("/run/tevrin-offline-update/%1").arg(caller ? caller->uid() : 0);
    QDir(run).removeRecursively();
    QFile::remove(Marker);

    const QStringList arguments = method == QLatin1String("StartOfflineFileCheck")
        ? QStringList { home, m_package }
        : method == QLatin1String("StartExecHookPost") ? QStringList { home }
                                                       : QStringList();
    QString output;
    const int rc = fixture.call(caller, method, arguments, &output);
    const bool checked = allowed && arguments.size() == 2;
    QVERIFY2((rc == 0) == allowed, qPrintable(output));
    QCOMPARE(DaemonFixture::signalsIn(output, "NotifyOfflineFileCheckResult").count(), checked ? 1 : 0);
    QCOMPARE(QFileInfo::exists(Marker), checked);
    if (allowed)
        return;
    // A refused call does nothing at all.
    // Nobody is asked for a password to run post-upgrade scripts when no upgrade succeeded.
    QVERIFY2(output.contains(QLatin1String("org.freedesktop.DBus.Error.AccessDenied"))
            || (method == QLatin1String("StartExecHookPost")
                && output.contains(OfflineUpdate::NoPassedCheckError)),
        qPrintable(output));
    QVERIFY(DaemonFixture::signalsIn(output).isEmpty());
    QVERIFY(!QFileInfo::exists(run));
    QCOMPARE(fixture.process().state(), QProcess::Running);
}

void tst_Authorization::answersWhileThePromptIsOpen()
{
    DaemonFixture fixture;
    QString error;
    QVERIFY2(fixture.start(&error), qPrintable(error));
    fixture.setAnswer(m_allowed->name(), DaemonFixture::Slow);
    QFile::remove(QString::fromLatin1(DaemonFixture::AskingMarker));
    const auto first = fixture.startCall(
        m_allowed.get(), QStringLiteral("StartOfflineFileCheck"), { m_allowed->home(), m_package });
    QTRY_VERIFY_WITH_TIMEOUT(
        QFileInfo::exists(QString::fromLatin1(DaemonFixture::AskingMarker)), 10000);

    const qint64 answerTime = fixture.getterAnswerTime();
    QVERIFY2(answerTime >= 0 && answerTime < 1000, qPrintable(QString::number(answerTime)));
    // One open question per user: the same user asking again meanwhile is told to wait.
    QString output;
    QVERIFY(fixture.call(m_allowed.get(), QStringLiteral("StartOfflineFileCheck"),
                { m_allowed->home(), m_package }, &output)
        != 0);
    QVERIFY2(output.contains(OfflineUpdate::BusyError), qPrintable(output));
    // Someone else is not kept waiting by a prompt that is not theirs (a check that ends at
    // once, so that the first one finds the daemon free when its answer comes).
    QCOMPARE(fixture.call(nullptr, QStringLiteral("StartOfflineFileCheck"),
                 { m_work.path(), m_work.filePath(QStringLiteral("missing.oup")) }, &output),
        0);
    QCOMPARE(DaemonFixture::signalsIn(output, QStringLiteral("NotifyOfflineFileCheckResult")),
        QList<QVariantList>({ { 0, false } }));
    QVERIFY(QFileInfo::exists(QString::fromLatin1(DaemonFixture::AskingMarker)));

    // The package is unsigned: once it has been read and verified its user is asked again, and
    // that question does not hold the daemon either.
    QTRY_VERIFY_WITH_TIMEOUT(
        !QFileInfo::exists(QString::fromLatin1(DaemonFixture::AskingMarker)), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(
        QFileInfo::exists(QString::fromLatin1(DaemonFixture::AskingMarker)), 20000);
    QCOMPARE(fixture.call(nullptr, QStringLiteral("StartOfflineFileCheck"),
                 { m_work.path(), m_work.filePath(QStringLiteral("missing.oup")) }, &output),
        0);
    QVERIFY(QFileInfo::exists(QString::fromLatin1(DaemonFixture::AskingMarker)));
    QCOMPARE(first->state(), QProcess::Running);

    QTRY_COMPARE_WITH_TIMEOUT(first->state(), QProcess::NotRunning, 60000);
    QCOMPARE(first->exitCode(), 0);
    QCOMPARE(DaemonFixture::signalsIn(QString::fromLocal8Bit(first->readAll()),
                 QStringLiteral("NotifyOfflineFileCheckResult"))
                 .count(),
        1);
}

void tst_Authorization::nonRootCannotOwnTheName()
{
    DaemonFixture fixture;
    QString error;
    QVERIFY2(fixture.startBus(&error), qPrintable(error));
    const auto owned = [&fixture] {
        return fixture.connection()
            .interface()
            ->isServiceRegistered(QStringLiteral("com.tevrin.offline.update.daemon"))
            .value();
    };
    // A daemon started by a user gives up at once, for it may not own the name (the installed
    // system's own bus is asked that in the packaging check); one started by root keeps it, and
    // a second one by root leaves it the name, exiting with 0 as the first does on ExitApp.
    QCOMPARE(ChildProcess::run(m_allowed->command({ DaemonFixture::daemonProgram() })), 0);
    ChildProcess rootDaemon;
    rootDaemon.start(DaemonFixture::daemonProgram(), {});
    QTRY_VERIFY_WITH_TIMEOUT(owned(), 20000);
    QCOMPARE(ChildProcess::run({ DaemonFixture::daemonProgram() }, nullptr, 20000), 0);
    QVERIFY(owned() && rootDaemon.state() == QProcess::Running);
    QCOMPARE(fixture.call(nullptr, QStringLiteral("ExitApp"), {}), 0);
    QTRY_COMPARE_WITH_TIMEOUT(rootDaemon.state(), QProcess::NotRunning, 20000);
    QCOMPARE(rootDaemon.exitStatus(), QProcess::NormalExit);
    QCOMPARE(rootDaemon.exitCode(), 0);
}

QTEST_GUILESS_MAIN(tst_Authorization)
#include "tst_authorization.moc"
