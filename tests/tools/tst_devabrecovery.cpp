// Tests the development A/B recovery service through a bus, the way the daemon meets it.
// Faults caught here:
// - CanBackup answering other than --can-backup says, failing without the agreed error name, or
//   replying with anything but one boolean;
// - StartBackup that waits for the end of the job before replying, replies with a value, or
//   fails or succeeds against --start-backup;
// - JobEnd with another signature, kind, success flag or text (quotes and blanks included),
//   JobEnd before StartBackup, sooner than --job-delay, more than once, or despite --no-job-end
//   or a refused StartBackup; an unprompted JobEnd that never comes or comes too early;
// - event lines on stdout that a test following the program would wait for in vain;
// - a second instance that does not notice that the name is taken, and bad options accepted;
// - a bus policy file that lets users other than root own the name, or keeps users from
//   calling the service.
#include "privatebus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>
#include <memory>
#include <unistd.h>

namespace {

const QString Service = QStringLiteral("com.tevrin.ABRecovery");
const QString Path = QStringLiteral("/com/tevrin/ABRecovery");
const QString Interface = QStringLiteral("com.tevrin.ABRecovery");
const QString ErrorName = QStringLiteral("com.tevrin.ABRecovery.Error.Failed");
const QString Session = QStringLiteral("--session");

QDBusMessage call(const QString &method)
{
    return QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(Service, Path, Interface, method), QDBus::Block, 10000);
}

QStringList sessionOptions(QStringList options)
{
    options.prepend(Session);
    return options;
}

} // namespace

class tst_DevABRecovery : public QObject
{
    Q_OBJECT

signals:
    void jobEnded(const QString &kind, bool success, const QString &message);

private slots:
    void initTestCase();
    void cleanup();

    void canBackup_data();
    void canBackup();
    void startBackup_data();
    void startBackup();
    void unpromptedJobEnd_data();
    void unpromptedJobEnd();
    void refusesTakenName();
    void badOptions_data();
    void badOptions();
    void systemBusOwner_data();
    void systemBusOwner();
    void systemBusCaller_data();
    void systemBusCaller();

private:
    bool startService(const QStringList &options,
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
    bool waitForLine(const QString &line, int timeoutMs = 10000);
    QString failure();

    std::unique_ptr<PrivateBus> m_bus;
    QProcess m_service;
    QStringList m_lines; // stdout lines of m_service read so far
};

void tst_DevABRecovery::initTestCase()
{
    m_bus = std::make_unique<PrivateBus>(PrivateBus::Session);
    QVERIFY2(m_bus->start(), qPrintable(m_bus->errorString()));
    m_bus->exportAddress();
    // Made once for every row: the connection follows the name from one instance to the next.
    QVERIFY(
        QDBusConnection::sessionBus().connect(Service, Path, Interface, QStringLiteral("JobEnd"),
            QStringLiteral("sbs"), this, SIGNAL(jobEnded(QString, bool, QString))));
}

void tst_DevABRecovery::cleanup()
{
    if (m_service.state() != QProcess::NotRunning) {
        m_service.terminate();
        if (!m_service.waitForFinished(5000))
            m_service.kill();
        m_service.waitForFinished(5000);
    }
    m_lines.clear();
}

bool tst_DevABRecovery::startService(
    const QStringList &options, const QProcessEnvironment &environment)
{
    m_service.setProcessEnvironment(environment);
    m_service.start(QStringLiteral(DEVABRECOVERY_PATH), options);
    return m_service.waitForStarted(10000) && waitForLine(QStringLiteral("ready"));
}

bool tst_DevABRecovery::waitForLine(const QString &line, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (true) {
        while (m_service.canReadLine()) {
            m_lines << QString::fromLocal8Bit(m_service.readLine()).chopped(1);
            if (m_lines.last() == line)
                return true;
        }
        if (deadline.hasExpired() || !m_service.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
}

QString tst_DevABRecovery::failure()
{
    return QStringLiteral("stdout so far: [%1]; stderr: %2")
        .arg(m_lines.join(QStringLiteral("] [")),
            QString::fromLocal8Bit(m_service.readAllStandardError()));
}

void tst_DevABRecovery::canBackup_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("answer"); // "true", "false" or "error"

    QTest::newRow("default") << QStringList() << "true";
    QTest::newRow("yes") << QStringList { QStringLiteral("--can-backup"), QStringLiteral("yes") }
                         << "true";
    QTest::newRow("no") << QStringList { QStringLiteral("--can-backup"), QStringLiteral("no") }
                        << "false";
    QTest::newRow("error") << QStringList { QStringLiteral("--can-backup"),
        QStringLiteral("error") }
                           << "error";
}

void tst_DevABRecovery::canBackup()
{
    QFETCH(QStringList, options);
    QFETCH(QString, answer);

    QVERIFY2(startService(sessionOptions(options)), qPrintable(failure()));
    const QDBusMessage reply = call(QStringLiteral("CanBackup"));
    if (answer == QLatin1String("error")) {
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(reply.errorName(), ErrorName);
        QVERIFY2(
            waitForLine(QStringLiteral("CanBackup -> error ") + ErrorName), qPrintable(failure()));
        return;
    }
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(reply.signature(), QStringLiteral("b"));
    QCOMPARE(reply.arguments().first().toBool(), answer == QLatin1String("true"));
    QVERIFY2(waitForLine(QStringLiteral("CanBackup -> ") + answer), qPrintable(failure()));
}

void tst_DevABRecovery::startBackup_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("jobEnds");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<QString>("lastLine");

    const QString backup = QStringLiteral("backup");
    QTest::newRow("defaults") << QStringList() << true << true << backup << true << QString() << 500
                              << "JobEnd backup true \"\"";
    QTest::newRow("failed backup with a text") << QStringList { QStringLiteral("--job-success"),
        QStringLiteral("no"), QStringLiteral("--job-message"), QStringLiteral("disk on fire") }
                                               << true << true << backup << false << "disk on fire"
                                               << 500 << "JobEnd backup false \"disk on fire\"";
    QTest::newRow("text with quotes and a backslash")
        << QStringList { QStringLiteral("--job-message"), QStringLiteral(R"(say "no" \ now)") }
        << true << true << backup << true << R"(say "no" \ now)" << 500
        << R"(JobEnd backup true "say \"no\" \\ now")";
    QTest::newRow("job of another kind")
        << QStringList { QStringLiteral("--job-kind"), QStringLiteral("Backup") } << true << true
        << "Backup" << true << QString() << 500 << "JobEnd Backup true \"\"";
    QTest::newRow("longer delay") << QStringList { QStringLiteral("--job-delay"),
        QStringLiteral("2000") } << true
                                  << true << backup << true << QString() << 2000
                                  << "JobEnd backup true \"\"";
    QTest::newRow("no job end") << QStringList { QStringLiteral("--no-job-end"),
        QStringLiteral("--job-delay"), QStringLiteral("0") }
                                << true << false << QString() << false << QString() << 0
                                << "StartBackup accepted";
    QTest::newRow("refused") << QStringList { QStringLiteral("--start-backup"),
        QStringLiteral("error"), QStringLiteral("--job-delay"), QStringLiteral("0") }
                             << false << false << QString() << false << QString() << 0
                             << "StartBackup -> error " + ErrorName;
}

void tst_DevABRecovery::startBackup()
{
    QFETCH(QStringList, options);
    QFETCH(bool, accepted);
    QFETCH(bool, jobEnds);
    QFETCH(QString, kind);
    QFETCH(bool, success);
    QFETCH(QString, message);
    QFETCH(int, delayMs);
    QFETCH(QString, lastLine);

    QSignalSpy ends(this, &tst_DevABRecovery::jobEnded);
    QVERIFY2(startService(sessionOptions(options)), qPrintable(failure()));
    QVERIFY2(!ends.wait(300), "JobEnd before anybody asked for a backup");

    const QDBusMessage reply = call(QStringLiteral("StartBackup"));
    QElapsedTimer sinceReply;
    sinceReply.start();
    if (accepted) {
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(reply.signature(), QString());
        QVERIFY2(ends.isEmpty(), "StartBackup replied only after the job had ended");
    } else {
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(reply.errorName(), ErrorName);
    }

    if (!jobEnds) {
        QVERIFY2(!ends.wait(1500), "JobEnd for a job that must not end");
    } else {
        QVERIFY(ends.wait(delayMs + 10000));
        // The reply left after the timer had been armed, so half the delay is a safe bound.
        QVERIFY2(sinceReply.elapsed() >= delayMs / 2,
            qPrintable(QStringLiteral("JobEnd after %1 ms").arg(sinceReply.elapsed())));
        QCOMPARE(ends.first(), QVariantList({ kind, success, message }));
        QVERIFY2(!ends.wait(300), "JobEnd twice");
    }
    QVERIFY2(waitForLine(lastLine), qPrintable(failure()));
}

void tst_DevABRecovery::unpromptedJobEnd_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("quietMs"); // how long after "ready" nothing may arrive
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QString>("message");

    QTest::newRow("backup that ends well")
        << QStringList { QStringLiteral("--unprompted-job-end"), QStringLiteral("300") } << 0
        << "backup" << true << QString();
    QTest::newRow("failed job of another kind") << QStringList {
        QStringLiteral("--unprompted-job-end"), QStringLiteral("300"), QStringLiteral("--job-kind"),
        QStringLiteral("restore"), QStringLiteral("--job-success"), QStringLiteral("no"),
        QStringLiteral("--job-message"), QStringLiteral("no space")
    } << 0 << "restore" << false << "no space";
    QTest::newRow("not before its time")
        << QStringList { QStringLiteral("--unprompted-job-end"), QStringLiteral("2500") } << 1000
        << "backup" << true << QString();
    QTest::newRow("despite --no-job-end") << QStringList { QStringLiteral("--unprompted-job-end"),
        QStringLiteral("300"), QStringLiteral("--no-job-end") }
                                          << 0 << "backup" << true << QString();
}

void tst_DevABRecovery::unpromptedJobEnd()
{
    QFETCH(QStringList, options);
    QFETCH(int, quietMs);
    QFETCH(QString, kind);
    QFETCH(bool, success);
    QFETCH(QString, message);

    QSignalSpy ends(this, &tst_DevABRecovery::jobEnded);
    QVERIFY2(startService(sessionOptions(options)), qPrintable(failure()));
    if (quietMs > 0)
        QVERIFY2(!ends.wait(quietMs), "JobEnd before its time");
    QTRY_COMPARE_WITH_TIMEOUT(ends.count(), 1, 10000);
    QCOMPARE(ends.first(), QVariantList({ kind, success, message }));
    QVERIFY2(!ends.wait(800), "JobEnd twice");
}

void tst_DevABRecovery::refusesTakenName()
{
    QVERIFY2(startService({ Session }), qPrintable(failure()));

    QProcess second;
    second.start(QStringLiteral(DEVABRECOVERY_PATH), { Session });
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 1);
    const QString error = QString::fromLocal8Bit(second.readAllStandardError());
    QVERIFY2(error.contains(Service), qPrintable(error));
    QVERIFY(!second.readAllStandardOutput().contains("ready"));

    // The first instance still serves.
    QCOMPARE(call(QStringLiteral("CanBackup")).type(), QDBusMessage::ReplyMessage);
}

void tst_DevABRecovery::badOptions_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("named"); // what the error message must name

    QTest::newRow("can-backup maybe")
        << QStringList { QStringLiteral("--can-backup"), QStringLiteral("maybe") } << "maybe";
    QTest::newRow("start-backup later")
        << QStringList { QStringLiteral("--start-backup"), QStringLiteral("later") } << "later";
    QTest::newRow("job-success 1")
        << QStringList { QStringLiteral("--job-success"), QStringLiteral("1") } << "job-success";
    QTest::newRow("negative delay")
        << QStringList { QStringLiteral("--job-delay"), QStringLiteral("-5") } << "-5";
    QTest::newRow("delay in words")
        << QStringList { QStringLiteral("--job-delay"), QStringLiteral("soon") } << "soon";
    QTest::newRow("unprompted delay in words")
        << QStringList { QStringLiteral("--unprompted-job-end"), QStringLiteral("x") }
        << "unprompted-job-end";
    QTest::newRow("unknown option")
        << QStringList { QStringLiteral("--frobnicate") } << "frobnicate";
    QTest::newRow("stray argument") << QStringList { QStringLiteral("extra") } << "extra";
}

void tst_DevABRecovery::badOptions()
{
    QFETCH(QStringList, options);
    QFETCH(QString, named);

    QProcess process;
    process.start(QStringLiteral(DEVABRECOVERY_PATH), sessionOptions(options));
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 2);
    const QString error = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(error.contains(named), qPrintable(error));
}

void tst_DevABRecovery::systemBusOwner_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<bool>("owns");

    QTest::newRow("root") << "root" << true;
    QTest::newRow("nobody") << "nobody" << false;
}

void tst_DevABRecovery::systemBusOwner()
{
    QFETCH(QString, user);
    QFETCH(bool, owns);
    if (geteuid() != 0)
        QSKIP("needs root to start programs as another user on a system bus");

    PrivateBus systemBus(PrivateBus::System, { QStringLiteral(DEVABRECOVERY_POLICY) });
    QVERIFY2(systemBus.start(), qPrintable(systemBus.errorString()));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), systemBus.address());

    if (owns) {
        QVERIFY2(startService({}, environment), qPrintable(failure()));
        return;
    }
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("runuser"),
        { QStringLiteral("-u"), user, QStringLiteral("--"), QStringLiteral(DEVABRECOVERY_PATH) });
    if (!process.waitForFinished(10000)) {
        // runuser passes the signal on, so no instance is left behind on a failure.
        process.terminate();
        process.waitForFinished(5000);
        QFAIL("a user other than root serves the name");
    }
    const QString error = QString::fromLocal8Bit(process.readAllStandardError());
    // 126 and 127: the build tree lies where that user may not go, so nothing was learnt.
    if (process.exitCode() == 126 || process.exitCode() == 127)
        QSKIP(qPrintable(QStringLiteral("%1 cannot run the program: %2").arg(user, error)));
    QCOMPARE(process.exitCode(), 1);
    QVERIFY2(error.contains(QStringLiteral("cannot own the name ") + Service), qPrintable(error));
}

void tst_DevABRecovery::systemBusCaller_data()
{
    QTest::addColumn<QString>("user");

    QTest::newRow("root") << "root";
    QTest::newRow("nobody") << "nobody";
}

void tst_DevABRecovery::systemBusCaller()
{
    QFETCH(QString, user);
    if (geteuid() != 0)
        QSKIP("needs root to own the name on a system bus");

    PrivateBus systemBus(PrivateBus::System, { QStringLiteral(DEVABRECOVERY_POLICY) });
    QVERIFY2(systemBus.start(), qPrintable(systemBus.errorString()));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), systemBus.address());
    QVERIFY2(startService({ QStringLiteral("--can-backup"), QStringLiteral("no") }, environment),
        qPrintable(failure()));

    QProcess caller;
    caller.setProcessEnvironment(environment);
    caller.start(QStringLiteral("runuser"),
        { QStringLiteral("-u"), user, QStringLiteral("--"), QStringLiteral("dbus-send"),
            QStringLiteral("--system"), QStringLiteral("--print-reply"),
            QStringLiteral("--dest=") + Service, Path, Interface + QStringLiteral(".CanBackup") });
    QVERIFY(caller.waitForFinished(10000));
    const QString output = QString::fromLocal8Bit(caller.readAll());
    QVERIFY2(caller.exitCode() == 0 && output.contains(QStringLiteral("boolean false")),
        qPrintable(output + QString::fromLocal8Bit(caller.readAllStandardError())));
}

QTEST_GUILESS_MAIN(tst_DevABRecovery)
#include "tst_devabrecovery.moc"
