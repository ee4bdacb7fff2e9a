// The command-line client against the real daemon on a private system bus, run as an
// unprivileged user the way a script or an administrator at a terminal runs it. Faults caught:
// - exit statuses or JSON results that do not tell a passed package from a refused one, from a
//   service that cannot be reached or from a wrong command line (scripts branch on them), and
//   check rows that mark the wrong item as failed; a relative package name handed on as it is;
//   status calling dpkg interrupted because dpkg warned about something else; a passed check
//   whose JSON does not carry the service's plan (the probe from 1.0 to 2.0);
// - an upgrade that nobody confirmed, started without a terminal and without --yes;
// - upgrade events out of order, a backup announced without a recovery service, the probe not
//   named as the one package upgraded, or a success reported while the probe was not upgraded;
// - a terminal progress line printed line after line instead of redrawn, apt's output shown
//   without --verbose, or the result lost behind the progress line.
#include "daemonfixture.h"
#include "packagefixture.h"
#include "testuser.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>
#include <unistd.h>

namespace {

const QString Probe = QStringLiteral("tevrin-probe-cli");

QString program()
{
    return qEnvironmentVariable("TEVRIN_BINARY_DIR") + QStringLiteral("/cli/tevrin-offline-update");
}

QList<QJsonObject> jsonLines(const QByteArray &output)
{
    QList<QJsonObject> lines;
    for (const QByteArray &line : output.split('\n')) {
        if (!line.isEmpty())
            lines << QJsonDocument::fromJson(line).object();
    }
    return lines;
}

} // namespace

class tst_Cli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void exitStatus_data();
    void exitStatus();
    void upgradeJson();
    void terminalProgress();

private:
    int run(const QStringList &arguments, QByteArray *output, const QString &bus = {});

    QTemporaryDir m_work;
    std::unique_ptr<TestUser> m_user;
    std::unique_ptr<DaemonFixture> m_fixture;
    QString m_probeV1;
};

void tst_Cli::initTestCase()
{
    if (geteuid() != 0)
        QSKIP("needs root: the daemon mounts packages and upgrades a probe package");
    QVERIFY(QFile::setPermissions(m_work.path(),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
            | QFile::ExeOther));
    m_user = std::make_unique<TestUser>(QStringLiteral("tevrint-cli"));
    QVERIFY(m_user->isValid());
    QString probeV2;
    QVERIFY(PackageFixture::probePair(Probe, m_work.path(), &m_probeV1, &probeV2));

    for (const QString &architecture : { QString(), QStringLiteral("mips64el") }) {
        PackageFixture::Package contents;
        contents.manifest = PackageFixture::manifest(1, QString(), architecture);
        contents.debs = QStringList { probeV2 };
        QString error;
        QVERIFY2(PackageFixture::build(contents,
                     m_work.filePath(architecture.isEmpty() ? "passing.oup" : "wrong.oup"), &error),
            qPrintable(error));
    }
    // Installed at 1.0 so that the package offers an upgrade.
    PackageFixture::purge(Probe);
    QVERIFY(PackageFixture::install(m_probeV1));
    m_fixture = std::make_unique<DaemonFixture>();
    QString error;
    QVERIFY2(m_fixture->start(&error), qPrintable(error));
}

void tst_Cli::cleanupTestCase()
{
    m_fixture.reset();
    PackageFixture::purge(Probe);
}

// Runs the client as the test user with |arguments| in the work directory, where the packages
// are, and standard input not a terminal; its exit status, standard output in |output|.
int tst_Cli::run(const QStringList &arguments, QByteArray *output, const QString &bus)
{
    // A package named relative to the client's directory reaches the daemon, which resolves
    // nothing, only when the client made it absolute.
    const QStringList command = m_user->command(QStringList { program() } + arguments);
    ChildProcess client;
    client.setWorkingDirectory(m_work.path());
    if (!bus.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), bus);
        client.setProcessEnvironment(environment);
    }
    client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    client.start(command.first(), command.mid(1));
    client.closeWriteChannel();
    if (!client.waitForFinished(600000))
        return -1;
    *output = client.readAllStandardOutput();
    return client.exitStatus() == QProcess::NormalExit ? client.exitCode() : -1;
}

void tst_Cli::exitStatus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("emptyBus"); // a bus without the service instead of the daemon's
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("failedRow"); // the check row marked "fail"; -1 none, -2 no check

    QTest::newRow("passing package")
        << QStringList { "check", "passing.oup", "--json" } << false << 0 << "passed" << -1;
    QTest::newRow("wrong architecture")
        << QStringList { "check", "wrong.oup", "--json" } << false << 1 << "refused" << 1;
    QTest::newRow("no such file") << QStringList { "check", "/nonexistent.oup", "--json" } << false
                                  << 1 << "refused" << -1;
    QTest::newRow("no service on the bus")
        << QStringList { "check", "passing.oup", "--json" } << true << 3 << "unreachable" << -2;
    QTest::newRow("upgrade without a terminal or --yes")
        << QStringList { "upgrade", "passing.oup", "--json" } << false << 2 << "usage" << -2;
    QTest::newRow("status") << QStringList { "status", "--json" } << false << 0 << "ok" << -2;
    QTest::newRow("status, no service")
        << QStringList { "status", "--json" } << true << 3 << "unreachable" << -2;
    QTest::newRow("status of a file")
        << QStringList { "status", "passing.oup", "--json" } << false << 2 << "usage" << -2;
}

void tst_Cli::exitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, emptyBus);
    QFETCH(int, exitStatus);
    QFETCH(QString, outcome);
    QFETCH(int, failedRow);

    PrivateBus empty(PrivateBus::System);
    QVERIFY2(!emptyBus || empty.start(), qPrintable(empty.errorString()));
    QByteArray output;
    const int status = run(arguments, &output, emptyBus ? empty.address() : QString());
    QVERIFY2(status == exitStatus, output.constData());
    const QList<QJsonObject> lines = jsonLines(output);
    QVERIFY2(!lines.isEmpty(), output.constData());
    QCOMPARE(lines.last().value("event").toString(), QStringLiteral("result"));
    QCOMPARE(lines.last().value("outcome").toString(), outcome);
    QCOMPARE(lines.last().value("exitStatus").toInt(), exitStatus);

    const QJsonObject check
        = lines.first().value("event") == QLatin1String("check") ? lines.first() : QJsonObject();
    QCOMPARE(check.isEmpty(), failedRow == -2);
    if (check.isEmpty())
        return;
    QCOMPARE(check.value("passed").toBool(), exitStatus == 0);
    QCOMPARE(check.contains("plan"), exitStatus == 0);
    if (exitStatus == 0)
        QCOMPARE(check.value("plan").toObject().value("upgraded").toArray(),
            QJsonArray({ QJsonObject { { "name", Probe }, { "architecture", "all" },
                { "from", "1.0" }, { "to", "2.0" } } }));
    const QJsonArray rows = check.value("items").toArray();
    for (int row = 0; row < rows.size(); ++row)
        QCOMPARE(rows.at(row)["verdict"].toString() == QLatin1String("fail"), row == failedRow);
}

// The private bus has no login manager: a reboot that was asked for must be reported as not made,
// and the upgrade as done all the same. A plain success is terminalProgress's.
void tst_Cli::upgradeJson()
{
    PackageFixture::purge(Probe);
    QVERIFY(PackageFixture::install(m_probeV1));
    QByteArray output;
    QCOMPARE(run({ "upgrade", "passing.oup", "--yes", "--reboot", "--json" }, &output), 3);
    QCOMPARE(PackageFixture::installedVersion(Probe), QStringLiteral("2.0"));

    // The outline: each event once in a row; apt's output naming the probe and the service's
    // pairs between the first and the last fold into "upgrading". Pairs never go back.
    QStringList outline;
    int lastProgress = 0;
    for (const QJsonObject &line : jsonLines(output)) {
        QString event = line.value("event").toString();
        const int progress = line["progress"].toInt();
        if (event == QLatin1String("progress")) {
            QVERIFY(progress >= lastProgress);
            lastProgress = progress;
            event += QStringLiteral(":%1,%2").arg(progress).arg(line["code"].toInt());
        }
        // Without a recovery service nothing is backed up, and no backup may be announced.
        if (event == QLatin1String("stage")) {
            const QString stage = line["stage"].toString();
            event = stage == QLatin1String("upgrade") ? QStringLiteral("upgrading")
                                                      : QStringLiteral("stage:") + stage;
        }
        if ((event == QLatin1String("output") && line["text"].toString().contains(Probe))
            || (progress > 30 && progress < 100))
            event = QStringLiteral("upgrading");
        if (event == QLatin1String("output") || (!outline.isEmpty() && outline.last() == event))
            continue;
        outline << event;
    }
    QCOMPARE(outline,
        QStringList({ "check", "upgrade-started", "progress:30,1", "upgrading", "progress:100,1",
            "notice", "stage:post-hooks", "result" }));
    // The service names the probe as the package it upgrades, one of one.
    bool named = false;
    for (const QJsonObject &line : jsonLines(output))
        named |= line["event"] == QLatin1String("stage") && line["package"] == Probe
            && line["done"] == 1 && line["total"] == 1;
    QVERIFY2(named, output.constData());
    const QJsonObject result = jsonLines(output).last();
    QCOMPARE(result["outcome"].toString(), QStringLiteral("reboot-refused"));
    QVERIFY(result["rebootNeeded"].toBool());
}

void tst_Cli::terminalProgress()
{
    PackageFixture::purge(Probe);
    QVERIFY(PackageFixture::install(m_probeV1));
    QByteArray output;
    const QString command
        = QStringList { program(), "upgrade", m_work.filePath("passing.oup"), "--yes" }.join(' ');
    QCOMPARE(
        ChildProcess::run(m_user->command({ "script", "-qec", command, "/dev/null" }), &output), 0);
    QCOMPARE(PackageFixture::installedVersion(Probe), QStringLiteral("2.0"));

    // The terminal ends lines with "\r\n"; a redraw is a "\r" of its own.
    output.replace("\r\n", "\n");
    const QList<QByteArray> lines = output.trimmed().split('\n');
    QVERIFY2(output.contains('\r') && output.contains(Probe.toLatin1()), output.constData());
    QVERIFY2(!output.contains("Setting up"), output.constData());
    QVERIFY2(
        !lines.last().contains('\r') && lines.last().contains("succeeded"), output.constData());
}

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
