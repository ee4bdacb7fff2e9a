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
#include "childprocess.h"
#include "privatebus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QtTest>
#include <unistd.h>

namespace {

const QString Service = QStringLiteral("com.tevrin.ABRecovery"); // also the interface's name
const QString Path = QStringLiteral("/com/tevrin/ABRecovery");
const QString ErrorName = QStringLiteral("com.tevrin.ABRecovery.Error.Failed");
const QString Program = QStringLiteral(DEVABRECOVERY_PATH);

// The error name of an error reply, else the reply's signature followed by its arguments.
QVariantList call(const QString &method)
{
    const QDBusMessage reply = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(Service, Path, Service, method), QDBus::Block, 10000);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return { reply.errorName() };
    return QVariantList { reply.signature() } + reply.arguments();
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
    void backup_data();
    void backup();
    void refusals_data();
    void refusals();
    void systemBusPolicy_data();
    void systemBusPolicy();

private:
    // True once the service is ready; the reason for a failure goes to the test's log.
    bool startService(const QStringList &options, bool sessionBus = true);
    // The lines the service printed after "ready".
    QStringList stopService();

    PrivateBus m_bus { PrivateBus::Session };
    ChildProcess m_service;
};

void tst_DevABRecovery::initTestCase()
{
    QVERIFY2(m_bus.start(), qPrintable(m_bus.errorString()));
    m_bus.exportAddress();
    // Made once for every row: the connection follows the name from one instance to the next.
    QVERIFY(QDBusConnection::sessionBus().connect(Service, Path, Service, QStringLiteral("JobEnd"),
        QStringLiteral("sbs"), this, SIGNAL(jobEnded(QString, bool, QString))));
}

void tst_DevABRecovery::cleanup()
{
    stopService();
}

bool tst_DevABRecovery::startService(const QStringList &options, bool sessionBus)
{
    m_service.start(Program,
        (sessionBus ? QStringList { QStringLiteral("--session") } : QStringList()) + options);
    // The line comes once the name and the object are on the bus.
    if (m_service.waitForReadyRead(10000) && m_service.readLine() == "ready\n")
        return true;
    qWarning("the service is not ready: %s", m_service.readAllStandardError().constData());
    return false;
}

QStringList tst_DevABRecovery::stopService()
{
    m_service.kill();
    m_service.waitForFinished(5000);
    return QString::fromLocal8Bit(m_service.readAllStandardOutput())
        .split('\n', Qt::SkipEmptyParts);
}

void tst_DevABRecovery::backup_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QVariantList>("canBackup"); // see call()
    QTest::addColumn<QVariantList>("startBackup");
    QTest::addColumn<QVariantList>("jobEnd"); // empty: none may come
    QTest::addColumn<int>("delayMs"); // JobEnd may not come sooner after StartBackup's reply
    QTest::addColumn<QStringList>("lines"); // all of stdout after "ready"

    const QVariantList yes { "b", true };
    const QVariantList accepted { "" };
    const QString ok = QStringLiteral("StartBackup accepted");
    const QString text = QStringLiteral(R"(say "no" \ now)");
    QTest::newRow("defaults") << QStringList() << yes << accepted
                              << QVariantList { "backup", true, "" } << 500
                              << QStringList { "CanBackup -> true", ok,
                                     R"(JobEnd backup true "")" };
    QTest::newRow("no backup possible, failed job, text with quotes and a backslash")
        << QStringList { "--can-backup", "no", "--job-success", "no", "--job-message", text }
        << QVariantList { "b", false } << accepted << QVariantList { "backup", false, text } << 500
        << QStringList { "CanBackup -> false", ok, R"(JobEnd backup false "say \"no\" \\ now")" };
    QTest::newRow("unprompted job end of another kind, despite --no-job-end")
        << QStringList { "--unprompted-job-end", "2500", "--no-job-end", "--job-kind", "Backup",
               "--job-message", "no space" }
        << yes << accepted << QVariantList { "Backup", true, "no space" } << 2000
        << QStringList { "CanBackup -> true", ok, R"(JobEnd Backup true "no space")" };
    QTest::newRow("CanBackup fails, no job end")
        << QStringList { "--can-backup", "error", "--no-job-end", "--job-delay", "0" }
        << QVariantList { ErrorName } << accepted << QVariantList() << 0
        << QStringList { "CanBackup -> error " + ErrorName, ok };
    QTest::newRow("StartBackup refused")
        << QStringList { "--start-backup", "error", "--job-delay", "0" } << yes
        << QVariantList { ErrorName } << QVariantList() << 0
        << QStringList { "CanBackup -> true", "StartBackup -> error " + ErrorName };
}

void tst_DevABRecovery::backup()
{
    QFETCH(QStringList, options);
    QFETCH(QVariantList, jobEnd);
    QFETCH(int, delayMs);

    QSignalSpy ends(this, &tst_DevABRecovery::jobEnded);
    QVERIFY(startService(options));
    QTEST(call(QStringLiteral("CanBackup")), "canBackup");
    QVERIFY2(!ends.wait(300), "JobEnd before anybody asked for a backup");
    QTEST(call(QStringLiteral("StartBackup")), "startBackup");
    QElapsedTimer sinceReply;
    sinceReply.start();
    QVERIFY2(ends.isEmpty(), "StartBackup replied only after the job had ended");
    if (jobEnd.isEmpty()) {
        QVERIFY2(!ends.wait(1500), "JobEnd for a job that must not end");
    } else {
        QVERIFY(ends.wait(delayMs + 10000));
        // The reply left after the timer had been armed, so half the delay is a safe bound.
        QVERIFY2(sinceReply.elapsed() >= delayMs / 2,
            qPrintable(QStringLiteral("JobEnd after %1 ms").arg(sinceReply.elapsed())));
        QCOMPARE(ends.first(), jobEnd);
        QVERIFY2(!ends.wait(300), "JobEnd twice");
    }
    QTEST(stopService(), "lines");
}

void tst_DevABRecovery::refusals_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode"); // 1: another instance owns the name already
    QTest::addColumn<QString>("named"); // what the error message must name

    QTest::newRow("name already taken") << QStringList() << 1 << Service;
    QTest::newRow("can-backup maybe") << QStringList { "--can-backup", "maybe" } << 2 << "maybe";
    QTest::newRow("start-backup later")
        << QStringList { "--start-backup", "later" } << 2 << "later";
    QTest::newRow("job-success 1") << QStringList { "--job-success", "1" } << 2 << "job-success";
    QTest::newRow("negative delay") << QStringList { "--job-delay", "-5" } << 2 << "-5";
    QTest::newRow("unprompted delay in words")
        << QStringList { "--unprompted-job-end", "x" } << 2 << "unprompted-job-end";
    QTest::newRow("unknown option") << QStringList { "--frobnicate" } << 2 << "frobnicate";
    QTest::newRow("stray argument") << QStringList { "extra" } << 2 << "extra";
}

void tst_DevABRecovery::refusals()
{
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QString, named);

    if (exitCode == 1)
        QVERIFY(startService({}));
    QByteArray error;
    QCOMPARE(ChildProcess::run(
                 QStringList { Program, QStringLiteral("--session") } + options, &error, 10000),
        exitCode);
    QVERIFY2(error.contains(named.toUtf8()), error.constData());
    if (exitCode == 1) // the first instance still serves
        QCOMPARE(call(QStringLiteral("CanBackup")), QVariantList({ "b", true }));
}

void tst_DevABRecovery::systemBusPolicy_data()
{
    QTest::addColumn<QString>("user");

    QTest::newRow("root owns the name and calls") << "root";
    QTest::newRow("nobody calls, but may not own the name") << "nobody";
}

void tst_DevABRecovery::systemBusPolicy()
{
    QFETCH(QString, user);
    if (geteuid() != 0)
        QSKIP("needs root to own the name and to run programs as another user");

    PrivateBus systemBus(PrivateBus::System, { QStringLiteral(DEVABRECOVERY_POLICY) });
    QVERIFY2(systemBus.start(), qPrintable(systemBus.errorString()));
    systemBus.exportAddress();
    const QStringList asUser { "runuser", "-u", user, "--" };
    QByteArray output;
    if (user != QLatin1String("root")) {
        const int exitCode = ChildProcess::run(asUser + QStringList { Program }, &output, 10000);
        // 126 and 127: the build tree lies where that user may not go, so nothing was learnt.
        if (exitCode == 126 || exitCode == 127)
            QSKIP(qPrintable(user + " cannot run the program: " + output));
        QCOMPARE(exitCode, 1);
        QVERIFY2(output.contains("cannot own the name " + Service.toUtf8()), output.constData());
    }
    QVERIFY(startService({ "--can-backup", "no" }, false));
    const int exitCode = ChildProcess::run(asUser
            + QStringList { "dbus-send", "--system", "--print-reply", "--dest=" + Service, Path,
                Service + ".CanBackup" },
        &output, 10000);
    QVERIFY2(exitCode == 0 && output.contains("boolean false"), output.constData());
}

QTEST_GUILESS_MAIN(tst_DevABRecovery)
#include "tst_devabrecovery.moc"
