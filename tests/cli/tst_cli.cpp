// The command-line client against the real daemon on a private system bus, run as an
// unprivileged user the way a script or an administrator at a terminal runs it. Faults caught:
// - exit statuses or JSON results that do not tell a passed package from a refused one, from a
//   service that cannot be reached or from a wrong command line (scripts branch on them), and
//   check rows that mark the wrong item as failed;
// - an upgrade that nobody confirmed, started without a terminal and without --yes;
// - upgrade events out of order, or a success reported while the probe was not upgraded;
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
    QMap<QString, QString> m_packages;
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
    m_probeV1 = PackageFixture::probeDeb(Probe, QStringLiteral("1.0"), m_work.filePath("v1"));
    const QString probeV2
        = PackageFixture::probeDeb(Probe, QStringLiteral("2.0"), m_work.filePath("v2"));
    QVERIFY(!m_probeV1.isEmpty() && !probeV2.isEmpty());

    QByteArray machine;
    ChildProcess::run({ QStringLiteral("dpkg"), QStringLiteral("--print-architecture") }, &machine);
    const QString native = QString::fromLatin1(machine).trimmed();
    const QString foreign
        = native == QLatin1String("arm64") ? QStringLiteral("amd64") : QStringLiteral("arm64");
    for (const QString &architecture : { native, foreign }) {
        PackageFixture::Package contents;
        contents.manifest
            = QStringLiteral(R"({"type": 1, "data": {"systemType": "desktop", "archs": "%1"}})")
                  .arg(architecture);
        contents.debs = QStringList { probeV2 };
        const QString path = m_work.filePath(architecture + QStringLiteral(".oup"));
        QString error;
        QVERIFY2(PackageFixture::build(contents, path, &error), qPrintable(error));
        m_packages.insert(
            architecture == native ? QStringLiteral("%passing") : QStringLiteral("%wrong"), path);
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
    if (m_user)
        PackageFixture::unmountCache(m_user->home());
}

// Runs the client as the test user with |arguments| (package placeholders replaced) and
// standard input not a terminal; its exit status, standard output in |output|.
int tst_Cli::run(const QStringList &arguments, QByteArray *output, const QString &bus)
{
    QStringList command { program() };
    for (const QString &argument : arguments)
        command << m_packages.value(argument, argument);
    ChildProcess client;
    if (!bus.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), bus);
        client.setProcessEnvironment(environment);
    }
    client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    command = m_user->command(command);
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
        << QStringList { "check", "%passing", "--json" } << false << 0 << "passed" << -1;
    QTest::newRow("wrong architecture")
        << QStringList { "check", "%wrong", "--json" } << false << 1 << "refused" << 1;
    QTest::newRow("no such file") << QStringList { "check", "/nonexistent.oup", "--json" } << false
                                  << 1 << "refused" << -1;
    QTest::newRow("no service on the bus")
        << QStringList { "check", "%passing", "--json" } << true << 3 << "unreachable" << -2;
    QTest::newRow("upgrade without a terminal or --yes")
        << QStringList { "upgrade", "%passing", "--json" } << false << 2 << "usage" << -2;
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
    QCOMPARE(run(arguments, &output, emptyBus ? empty.address() : QString()), exitStatus);
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
    QCOMPARE(run({ "upgrade", "%passing", "--yes", "--reboot", "--json" }, &output), 3);
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
        if ((event == QLatin1String("output") && line["text"].toString().contains(Probe))
            || (progress > 30 && progress < 100))
            event = QStringLiteral("upgrading");
        if (event == QLatin1String("output") || (!outline.isEmpty() && outline.last() == event))
            continue;
        outline << event;
    }
    QCOMPARE(outline,
        QStringList({ "check", "upgrade-started", "progress:30,1", "upgrading", "progress:100,1",
            "notice", "result" }));
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
        = QStringList { program(), "upgrade", m_packages["%passing"], "--yes" }.join(' ');
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
