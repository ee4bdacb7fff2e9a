// The check engine in-process, with its programs handed in: a df that prints what the test
// wants, an apt that writes what the test wants, hook directories the test lays out. Faults
// caught here:
// - the backup-space rule reading the wrong df field or path, or passing when df prints no
//   table (its comparison is tst_checkrules');
// - post-upgrade scripts run out of name order (case-blind), through a symbolic link, with the
//   home path split at its blank, or left running past their time (with their children);
// - upgrade output losing a character split between two reads, passing text after a NUL
//   byte, sent again on a later run, or a killed shell read as success.
#include "hookscript.h"
#include "offlinecheck.h"
#include "packagefixture.h"

#include <QtTest>
#include <unistd.h>

namespace {

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly)
        && file.write(content) == content.size()
        && file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeOther);
}

} // namespace

class tst_OfflineCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void backupSpace_data();
    void backupSpace();
    void postHooks();
    void postHookRunningPastItsTimeIsKilled();
    void upgradeOutput_data();
    void upgradeOutput();

private:
    QTemporaryDir m_work;
    CheckEnvironment m_environment;
};

void tst_OfflineCheck::initTestCase()
{
    QVERIFY(m_work.isValid());
    // A df that prints a table from the environment, as the real one prints the disk's.
    m_environment.df = m_work.filePath(QStringLiteral("df"));
    QVERIFY(writeFile(m_environment.df,
        "#!/bin/sh\n"
        "echo 'Filesystem 1K-blocks Used Available Use% Mounted on'\n"
        "[ -n \"$FAKE_DF_HEADER_ONLY\" ] && exit 0\n"
        "case \"$1\" in\n"
        "  /home) echo \"/dev/fake 1 1 $FAKE_HOME_FREE 1% /home\" ;;\n"
        "  /) echo \"/dev/fake 1 $FAKE_ROOT_USED 1 1% /\" ;;\n"
        "esac\n"));
    m_environment.sourceList = m_work.filePath(QStringLiteral("update.list"));
    QVERIFY(writeFile(m_environment.sourceList,
        "deb [trusted=yes] file:///home/qel/.cache/"
        "tevrin-offline-update/repo/ torak main\n"));
    m_environment.listsDirectory = m_work.filePath(QStringLiteral("lists/"));
}

void tst_OfflineCheck::backupSpace_data()
{
    QTest::addColumn<QByteArray>("homeFree");
    QTest::addColumn<QByteArray>("rootUsed"); // empty: df prints no table
    QTest::addColumn<int>("item");

    QTest::newRow("free equals used plus reserve")
        << QByteArray("30485760") << QByteArray("20000000") << 6;
    QTest::newRow("df prints no table") << QByteArray() << QByteArray() << 0;
}

void tst_OfflineCheck::backupSpace()
{
    if (geteuid() != 0)
        QSKIP("needs root: the package is loop-mounted");
    QFETCH(QByteArray, homeFree);
    QFETCH(QByteArray, rootUsed);
    QFETCH(int, item);

    QTemporaryDir home;
    const QString package = home.filePath(QStringLiteral("update.oup"));
    QString error;
    QVERIFY2(PackageFixture::build({}, package, &error), qPrintable(error));
    qputenv("FAKE_HOME_FREE", homeFree);
    qputenv("FAKE_ROOT_USED", rootUsed);
    qputenv("FAKE_DF_HEADER_ONLY", rootUsed.isEmpty() ? "1" : "");

    OfflineCheck check(m_environment);
    QSignalSpy results(&check, &OfflineCheck::sendOfflineFileCheckResult);
    check.startOfflineFileCheck(CallerIdentity::root(), home.path(), package);
    QCOMPARE(results.count(), 1);
    QCOMPARE(results.first().at(0).toInt(), item);
    PackageFixture::unmountCache(home.path());
}

void tst_OfflineCheck::postHooks()
{
    QTemporaryDir work;
    const QString home = work.filePath(QStringLiteral("my home"));
    const QString hooks = home + QStringLiteral("/.cache/tevrin-offline-update/hooks/posthook/");
    for (const char *name : { "B-second", "a-first", ".hidden" })
        QVERIFY(writeFile(hooks + QLatin1String(name),
            "printf '%s %s %s\\n' \"$(basename \"$0\")\" \"$#\" \"$1\" >> \"$1/order\"\n"));
    // A link in the directory is not run, whatever it points at.
    QVERIFY(writeFile(work.filePath(QStringLiteral("outside")), "touch \"$1/outside-ran\"\n"));
    QVERIFY(
        QFile::link(work.filePath(QStringLiteral("outside")), hooks + QStringLiteral("0-link")));

    OfflineCheck(m_environment).execHookPost(home);
    QFile order(home + QStringLiteral("/order"));
    QVERIFY(order.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(order.readAll()),
        QStringLiteral(".hidden 1 %1\na-first 1 %1\nB-second 1 %1\n").arg(home));
    QVERIFY(!QFileInfo::exists(home + QStringLiteral("/outside-ran")));
}

void tst_OfflineCheck::postHookRunningPastItsTimeIsKilled()
{
    QTemporaryDir home;
    const QString hooks
        = home.filePath(QStringLiteral(".cache/tevrin-offline-update/hooks/posthook"));
    QVERIFY(writeFile(hooks + QStringLiteral("/a-slow"), "sleep 41.5\ntouch \"$1/late\"\n"));
    QVERIFY(writeFile(hooks + QStringLiteral("/b-next"), "touch \"$1/next\"\n"));
    QTest::ignoreMessage(QtWarningMsg,
        QRegularExpression(
            QStringLiteral("\"Failed bash %1\"").arg(QRegularExpression::escape(hooks))));

    QElapsedTimer timer;
    timer.start();
    OfflineCheck(m_environment).execHookPost(home.path());
    QVERIFY2(timer.elapsed() >= 29000 && timer.elapsed() < 40000,
        qPrintable(QString::number(timer.elapsed())));
    QVERIFY(QFileInfo::exists(home.filePath(QStringLiteral("next"))));
    QVERIFY(!QFileInfo::exists(home.filePath(QStringLiteral("late"))));
    // The script's own child went with it.
    QCOMPARE(QProcess::execute(
                 QStringLiteral("pgrep"), { QStringLiteral("-f"), QStringLiteral("sleep 41.5") }),
        1);
}

void tst_OfflineCheck::upgradeOutput_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<int>("result"); // -1: the shell is killed
    QTest::addColumn<QString>("text");

    // "升级" is e5 8d 87 e7 ba a7; the first piece ends inside its first character.
    QTest::newRow("character split between reads")
        << QByteArray("Unpacking \\xe5\\x8d") << QByteArray("\\x87\\xe7\\xba\\xa7 done\\n") << 0
        << QStringLiteral("Unpacking 升级 done\n");
    QTest::newRow("text after a NUL is dropped")
        << QByteArray("before\\0after") << QByteArray() << 0 << QStringLiteral("before");
    QTest::newRow("nothing written") << QByteArray() << QByteArray() << 0 << QString();
    QTest::newRow("apt fails with 100")
        << QByteArray("E: broken\\n") << QByteArray() << 100 << QStringLiteral("E: broken\n");
    QTest::newRow("shell killed") << QByteArray("half") << QByteArray() << -1
                                  << QStringLiteral("half");
}

void tst_OfflineCheck::upgradeOutput()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(int, result);
    QFETCH(QString, text);
    qputenv("FAKE_APT_FIRST", first);
    qputenv("FAKE_APT_SECOND", second);
    qputenv("FAKE_APT_EXIT", QByteArray::number(qMax(result, 0)));
    qputenv("FAKE_APT_SIGNAL", result < 0 ? "1" : "");

    // An apt whose upgrade writes two pieces, and exits with FAKE_APT_EXIT or is killed.
    CheckEnvironment environment = m_environment;
    environment.apt = m_work.filePath(QStringLiteral("apt"));
    QVERIFY(writeFile(environment.apt,
        "#!/bin/bash\n"
        "printf \"$FAKE_APT_FIRST\"\n"
        "sleep 0.3\n"
        "printf \"$FAKE_APT_SECOND\"\n"
        "[ -n \"$FAKE_APT_SIGNAL\" ] && kill -9 $$\n"
        "exit ${FAKE_APT_EXIT:-0}\n"));
    OfflineCheck check(environment);
    QSignalSpy chunks(&check, &OfflineCheck::sendExecDistUpgradeInfo);
    // A second run of the same engine sends each chunk once, not once per earlier run.
    for (int run = 0; run < 2; ++run) {
        chunks.clear();
        QCOMPARE(check.execSystemUpgrade(), result);
        QString joined;
        for (const QList<QVariant> &chunk : qAsConst(chunks))
            joined += chunk.first().toString();
        QVERIFY(!joined.contains(QChar::ReplacementCharacter));
        QCOMPARE(joined, text);
    }
}

QTEST_GUILESS_MAIN(tst_OfflineCheck)
#include "tst_offlinecheck.moc"
