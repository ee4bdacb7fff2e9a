// The upgrade step with real apt and dpkg on throw-away probe packages from a file:// repository,
// and the shutdown lock against the development login manager on a private bus. Faults caught:
// - progress going backwards, repeating, passing 99, flooding the bus, or a held-back value
//   lost; progress after the end of the run;
// - an interrupted dpkg not repaired first, so that apt refuses to run;
// - apt's errors (stderr) not reaching the output, a character split between reads broken,
//   a NUL byte passed on, a killed or missing apt read as success;
// - the shutdown lock not taken, not given back on release or destruction, or outliving a
//   holder that is killed.
#include "aptstatusprogress.h"
#include "childprocess.h"
#include "packagefixture.h"
#include "privatebus.h"
#include "shutdowninhibitor.h"
#include "upgraderun.h"

#include <QtTest>
#include <unistd.h>

namespace {

const QStringList Probes { QStringLiteral("tevrin-probe-ur-a"), QStringLiteral("tevrin-probe-ur-b"),
    QStringLiteral("tevrin-probe-ur-c") };
const QString Killer = QStringLiteral("tevrin-probe-ur-killer");

int shell(const QString &script, const QStringList &arguments = {})
{
    QByteArray printed;
    const int code = ChildProcess::run(
        QStringList { QStringLiteral("sh"), QStringLiteral("-ec"), script, QStringLiteral("sh") }
            + arguments,
        &printed);
    if (code != 0)
        qWarning("%s", printed.constData());
    return code;
}

void purgeProbes()
{
    for (const QString &name : Probes + QStringList { Killer })
        PackageFixture::purge(name);
}

} // namespace

class tst_UpgradeRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void statusProgress_data();
    void statusProgress();
    void upgrade_data();
    void upgrade();
    void shutdownLock_data();
    void shutdownLock();

private:
    QTemporaryDir m_work;
    CheckEnvironment m_environment;
    QStringList m_oldDebs;
};

void tst_UpgradeRun::initTestCase()
{
    if (geteuid() != 0)
        return; // only the pure rows run
    const QString repo = m_work.filePath(QStringLiteral("repo"));
    for (const QString &name : Probes + QStringList { Killer }) {
        m_oldDebs << PackageFixture::probeDeb(name, QStringLiteral("1.0"), m_work.path());
        QVERIFY(!PackageFixture::probeDeb(name, QStringLiteral("2.0"), repo).isEmpty());
    }
    m_environment.sourceList = m_work.filePath(QStringLiteral("update.list"));
    m_environment.listsDirectory = m_work.filePath(QStringLiteral("lists"));
    // The killer's first configuration kills the dpkg that runs it, as a power cut would.
    QCOMPARE(shell(QStringLiteral(R"(d=$(mktemp -d); dpkg-deb -R "$1" "$d"
printf '#!/bin/sh\n[ -e %s ] || { touch %s; kill -9 $PPID; }\n' "$2" "$2" >"$d/DEBIAN/postinst"
chmod 755 "$d/DEBIAN/postinst"; dpkg-deb --build --root-owner-group "$d" "$1" >/dev/null
rm -rf "$d"; cd "$3"; apt-ftparchive packages . >Packages; apt-ftparchive release . >Release
echo "deb [trusted=yes] file:$3 ./" >"$4"; mkdir -p "$5/partial"
apt-get -o Dir::Etc::sourcelist="$4" -o Dir::Etc::sourceparts=/dev/null -o Dir::State::lists="$5" \
    -o APT::Sandbox::User=root update)"),
                 { m_oldDebs.last(), m_work.filePath(QStringLiteral("killed")), repo,
                     m_environment.sourceList, m_environment.listsDirectory }),
        0);
}

void tst_UpgradeRun::cleanupTestCase()
{
    if (geteuid() == 0)
        purgeProbes();
}

void tst_UpgradeRun::statusProgress_data()
{
    QTest::addColumn<int>("fromStage");
    QTest::addColumn<QStringList>("lines"); // "MS LINE": read at MS, then a value taken at MS
    QTest::addColumn<QStringList>("emitted"); // "MS:VALUE", "end:VALUE" for the final flush

    QTest::newRow("mapped onto fromStage..99")
        << 50 << QStringList { "0 pmstatus:a:0:x", "300 pmstatus:a:50:x", "600 pmstatus:a:100:x" }
        << QStringList { "300:74", "600:99" };
    QTest::newRow("never backwards, never repeated")
        << 50 << QStringList { "0 pmstatus:a:60:x", "300 pmstatus:a:20:x", "600 pmstatus:a:61:x" }
        << QStringList { "0:79" };
    QTest::newRow("held back by the rate limit, then sent")
        << 0 << QStringList { "0 pmstatus:a:10:x", "100 pmstatus:a:20:x", "200 pmstatus:a:30:x" }
        << QStringList { "0:9", "end:29" };
    QTest::newRow("arch-qualified package; other lines ignored")
        << 0
        << QStringList { "0 dlstatus:1:50:x", "0 pmstatus:p:amd64:40:x", "300 pmstatus:p:nan:x",
               "300 garbage", "600 pmstatus:p:150:x" }
        << QStringList { "0:39", "600:99" };
    QTest::newRow("nothing above 99")
        << 99 << QStringList { "0 pmstatus:a:100:x" } << QStringList();
}

void tst_UpgradeRun::statusProgress()
{
    QFETCH(int, fromStage);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, emitted);

    AptStatusProgress progress(fromStage);
    QStringList seen;
    for (const QString &line : lines) {
        const qint64 ms = line.section(QLatin1Char(' '), 0, 0).toLongLong();
        progress.readLine(line.section(QLatin1Char(' '), 1).toUtf8());
        const int value = progress.take(ms);
        if (value >= 0)
            seen << QStringLiteral("%1:%2").arg(ms).arg(value);
    }
    const int last = progress.take(100000);
    if (last >= 0)
        seen << QStringLiteral("end:%1").arg(last);
    QCOMPARE(seen, emitted);
}

void tst_UpgradeRun::upgrade_data()
{
    QTest::addColumn<bool>("interrupted"); // the killer's v1 installed half-way
    QTest::addColumn<QByteArray>("apt"); // empty: the real one; else a script standing in
    QTest::addColumn<QByteArray>("sourceList"); // empty: the test's repository
    QTest::addColumn<bool>("success");
    QTest::addColumn<QString>("outputHas");

    QTest::newRow("several probes upgraded") << false << QByteArray() << QByteArray() << true << "";
    QTest::newRow("interrupted dpkg repaired first")
        << true << QByteArray() << QByteArray() << true << "";
    QTest::newRow("apt error on stderr reaches output")
        << false << QByteArray() << QByteArray("no source line\n") << false << "bad.list";
    QTest::newRow("split character whole, NUL dropped, killed apt fails")
        << false << QByteArray("printf '\\303'; sleep 0.3; printf '\\251\\000x'; kill -9 $$")
        << QByteArray() << false << QStringLiteral("\u00e9x");
    QTest::newRow("apt missing") << false << QByteArray("-") << QByteArray() << false << "";
}

void tst_UpgradeRun::upgrade()
{
    QFETCH(bool, interrupted);
    QFETCH(QByteArray, apt);
    QFETCH(QByteArray, sourceList);
    QFETCH(bool, success);
    QFETCH(QString, outputHas);
    if (geteuid() != 0)
        QSKIP("needs root: installs and upgrades probe packages with dpkg and apt");

    purgeProbes();
    QFile::remove(m_work.filePath(QStringLiteral("killed")));
    for (const QString &deb : m_oldDebs.mid(0, Probes.size()))
        QVERIFY(PackageFixture::install(deb));
    if (interrupted) {
        PackageFixture::install(m_oldDebs.last()); // dies half-way, as planned
        QVERIFY(UpgradeRun::dpkgInterrupted(m_environment));
    }
    CheckEnvironment environment = m_environment;
    if (apt == "-")
        environment.apt = m_work.filePath(QStringLiteral("no-such-apt"));
    else if (!apt.isEmpty())
        QCOMPARE(shell(QStringLiteral("printf '%s\\n' \"$2\" >\"$1\"; chmod 755 \"$1\""),
                     { environment.apt = m_work.filePath(QStringLiteral("apt")),
                         QStringLiteral("#!/bin/sh\n") + apt }),
            0);
    if (!sourceList.isEmpty()) {
        environment.sourceList = m_work.filePath(QStringLiteral("bad.list"));
        QFile list(environment.sourceList);
        QVERIFY(list.open(QIODevice::WriteOnly) && list.write(sourceList) > 0);
    }

    UpgradeRun run(environment);
    QString output;
    QList<int> progress;
    QList<qint64> times;
    QElapsedTimer clock;
    connect(&run, &UpgradeRun::output, this, [&](const QString &text) { output += text; });
    connect(&run, &UpgradeRun::progress, this, [&](int value) {
        progress << value;
        times << clock.elapsed();
    });
    QSignalSpy finished(&run, &UpgradeRun::finished);
    clock.start();
    run.start(50);
    QVERIFY(run.isRunning());
    QVERIFY(finished.wait(300000));
    const int progressAtEnd = progress.size();
    QTest::qWait(400); // nothing may follow the end
    QCOMPARE(progress.size(), progressAtEnd);
    QVERIFY2(finished.first().first().toBool() == success, qPrintable(output));
    QVERIFY(!run.isRunning());
    QVERIFY2(output.contains(outputHas), qPrintable(output));
    QVERIFY(!output.contains(QChar(0)));
    for (int i = 0; i < progress.size(); ++i) {
        QVERIFY(progress[i] > (i ? progress[i - 1] : 50) && progress[i] <= 99);
        QVERIFY(i == 0 || times[i] - times[i - 1] >= AptStatusProgress::MinIntervalMs - 20);
    }
    if (!success)
        return;
    QVERIFY(!progress.isEmpty());
    QVERIFY(!UpgradeRun::dpkgInterrupted(m_environment));
    for (const QString &name : Probes + (interrupted ? QStringList { Killer } : QStringList()))
        QCOMPARE(PackageFixture::installedVersion(name), QStringLiteral("2.0"));
}

void tst_UpgradeRun::shutdownLock_data()
{
    QTest::addColumn<QString>("end"); // how the holder lets go
    QTest::newRow("released") << "release";
    QTest::newRow("inhibitor destroyed") << "destroy";
    QTest::newRow("holder killed") << "kill";
    QTest::newRow("no login manager") << "none";
}

void tst_UpgradeRun::shutdownLock()
{
    QFETCH(QString, end);
    if (geteuid() != 0)
        QSKIP("needs root: only root may own the login manager's name");
    PrivateBus bus(PrivateBus::System,
        { qEnvironmentVariable("TEVRIN_SOURCE_DIR")
            + QStringLiteral("/tools/devlogind/org.freedesktop.login1.conf") });
    QVERIFY2(bus.start(), qPrintable(bus.errorString()));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), bus.address());
    QTemporaryFile record;
    QVERIFY(record.open());
    ChildProcess logind;
    logind.setProcessEnvironment(environment);
    if (end != QLatin1String("none")) {
        logind.start(qEnvironmentVariable("TEVRIN_BINARY_DIR")
                + QStringLiteral("/tools/devlogind/tevrin-dev-logind"),
            { QStringLiteral("--record"), record.fileName() });
        QVERIFY(logind.waitForReadyRead(10000) && logind.readLine().endsWith(" ready\n"));
    }
    const auto recorded = [&](const char *event) {
        QFile file(record.fileName());
        return file.open(QIODevice::ReadOnly) && file.readAll().contains(event);
    };

    QDBusConnection connection
        = QDBusConnection::connectToBus(bus.address(), QTest::currentDataTag());
    auto inhibitor = std::make_unique<ShutdownInhibitor>(connection);
    ChildProcess holder;
    if (end == QLatin1String("none")) {
        QSignalSpy unavailable(inhibitor.get(), &ShutdownInhibitor::unavailable);
        inhibitor->take();
        QVERIFY(unavailable.wait(10000));
        QVERIFY(!inhibitor->isHeld());
        return;
    }
    if (end == QLatin1String("kill")) {
        holder.setProcessEnvironment(environment);
        holder.start(
            QCoreApplication::applicationFilePath(), { QStringLiteral("--hold-shutdown-lock") });
        QVERIFY(holder.waitForReadyRead(10000) && holder.readLine() == "held\n");
    } else {
        inhibitor->take();
        QTRY_VERIFY(inhibitor->isHeld());
    }
    QTRY_VERIFY(recorded(" taken 1 \"shutdown:sleep\""));
    QTest::qWait(200);
    QVERIFY(!recorded(" closed 1"));
    if (end == QLatin1String("release"))
        inhibitor->release();
    else if (end == QLatin1String("destroy"))
        inhibitor.reset();
    else
        holder.kill();
    QTRY_VERIFY(recorded(" closed 1"));
    QDBusConnection::disconnectFromBus(QTest::currentDataTag());
}

// The holder that the test kills: takes the lock on the bus it is pointed at and says so.
static int holdShutdownLock(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ShutdownInhibitor inhibitor(QDBusConnection::systemBus());
    QObject::connect(&inhibitor, &ShutdownInhibitor::taken,
        [] { std::fputs("held\n", stdout), std::fflush(stdout); });
    QObject::connect(&inhibitor, &ShutdownInhibitor::unavailable, &app, &QCoreApplication::quit);
    inhibitor.take();
    return app.exec();
}

int main(int argc, char **argv)
{
    if (argc == 2 && qstrcmp(argv[1], "--hold-shutdown-lock") == 0)
        return holdShutdownLock(argc, argv);
    QCoreApplication app(argc, argv);
    tst_UpgradeRun test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_upgraderun.moc"
