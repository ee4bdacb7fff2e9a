// The check engine in-process, with its programs handed in: a df that prints what the test
// wants, an apt that writes what the test wants, hook directories the test lays out. Faults
// caught here:
// - the backup-space rule reading the wrong df field, comparing strictly, or failing a /home
//   with more than 2 TiB free;
// - hook scripts run in the wrong order, through a symbolic link, with the home path split at
//   its blank, or left running past their time (with their children);
// - upgrade output losing a character split between two reads, passing text after a NUL
//   byte, or a killed shell read as success.
#include "hookscript.h"
#include "offlinecheck.h"
#include "packagefixture.h"

#include <QtTest>
#include <unistd.h>

namespace {

bool writeFile(const QString &path, const QByteArray &content, bool executable = false)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(content);
    file.close();
    return !executable
           || file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeGroup
                                  | QFile::ExeOther);
}

QStringList names(const QStringList &paths)
{
    QStringList result;
    for (const QString &path : paths)
        result << QFileInfo(path).fileName();
    return result;
}

} // namespace

class tst_OfflineCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void hookEntries();
    void backupSpace_data();
    void backupSpace();
    void postHooksRunByNameWithTheHomeAsOneArgument();
    void postHookRunningPastItsTimeIsKilled();
    void upgradeOutput_data();
    void upgradeOutput();

private:
    CheckEnvironment environment() const;

    QTemporaryDir m_work;
};

void tst_OfflineCheck::initTestCase()
{
    QVERIFY(m_work.isValid());
    // A df that prints a table from the environment, as the real one prints the disk's.
    QVERIFY(writeFile(m_work.filePath(QStringLiteral("df")),
                      "#!/bin/sh\n"
                      "echo 'Filesystem 1K-blocks Used Available Use% Mounted on'\n"
                      "[ -n \"$FAKE_DF_HEADER_ONLY\" ] && exit 0\n"
                      "case \"$1\" in\n"
                      "  /home) echo \"/dev/fake 1 1 $FAKE_HOME_FREE 1% /home\" ;;\n"
                      "  /) echo \"/dev/fake 1 $FAKE_ROOT_USED 1 1% /\" ;;\n"
                      "esac\n",
                      true));
    // An apt whose upgrade writes FAKE_APT_OUTPUT in two pieces and exits with FAKE_APT_EXIT.
    QVERIFY(writeFile(m_work.filePath(QStringLiteral("apt")),
                      "#!/bin/bash\n"
                      "printf \"$FAKE_APT_FIRST\"\n"
                      "sleep 0.3\n"
                      "printf \"$FAKE_APT_SECOND\"\n"
                      "[ -n \"$FAKE_APT_SIGNAL\" ] && kill -9 $$\n"
                      "exit ${FAKE_APT_EXIT:-0}\n",
                      true));
    QVERIFY(writeFile(m_work.filePath(QStringLiteral("update.list")),
                      "deb [trusted=yes] file:///home/qel/.cache/tevrin-offline-update/repo/ torak main\n"));
}

CheckEnvironment tst_OfflineCheck::environment() const
{
    CheckEnvironment environment;
    environment.df = m_work.filePath(QStringLiteral("df"));
    environment.sourceList = m_work.filePath(QStringLiteral("update.list"));
    environment.listsDirectory = m_work.filePath(QStringLiteral("lists/"));
    return environment;
}

void tst_OfflineCheck::hookEntries()
{
    QTemporaryDir directory;
    for (const char *name : { "B-second", "a-first", ".hidden" })
        QVERIFY(writeFile(directory.filePath(QLatin1String(name)), "true\n"));
    QVERIFY(QDir(directory.path()).mkdir(QStringLiteral("c-directory")));
    QVERIFY(QFile::link(m_work.filePath(QStringLiteral("df")), directory.filePath(QStringLiteral("0-link"))));

    QCOMPARE(names(HookScript::entries(directory.path(), HookScript::NameOrder)),
             QStringList({ ".hidden", "a-first", "B-second", "c-directory" }));
    QStringList listed = names(HookScript::entries(directory.path(), HookScript::DirectoryOrder));
    listed.sort();
    QCOMPARE(listed, QStringList({ ".hidden", "B-second", "a-first", "c-directory" }));
    QCOMPARE(HookScript::entries(directory.filePath(QStringLiteral("missing")), HookScript::NameOrder),
             QStringList());
}

void tst_OfflineCheck::backupSpace_data()
{
    QTest::addColumn<QByteArray>("homeFree");
    QTest::addColumn<QByteArray>("rootUsed");
    QTest::addColumn<bool>("headerOnly");
    QTest::addColumn<int>("item");

    QTest::newRow("free equals used plus reserve") << QByteArray("30485760") << QByteArray("20000000")
                                                   << false << 6;
    QTest::newRow("one KiB less") << QByteArray("30485759") << QByteArray("20000000") << false << 5;
    QTest::newRow("more than 2 TiB free") << QByteArray("3000000000") << QByteArray("20000000")
                                          << false << 6;
    QTest::newRow("df prints no table") << QByteArray() << QByteArray() << true << 0;
}

void tst_OfflineCheck::backupSpace()
{
    if (geteuid() != 0)
        QSKIP("needs root: the package is loop-mounted");
    QFETCH(QByteArray, homeFree);
    QFETCH(QByteArray, rootUsed);
    QFETCH(bool, headerOnly);
    QFETCH(int, item);

    QTemporaryDir home;
    PackageFixture::Package contents;
    QString error;
    const QString package = home.filePath(QStringLiteral("update.oup"));
    QVERIFY2(PackageFixture::build(contents, package, &error), qPrintable(error));

    qputenv("FAKE_HOME_FREE", homeFree);
    qputenv("FAKE_ROOT_USED", rootUsed);
    if (headerOnly)
        qputenv("FAKE_DF_HEADER_ONLY", "1");
    else
        qunsetenv("FAKE_DF_HEADER_ONLY");
    if (item == 5)
        QTest::ignoreMessage(QtWarningMsg,
                             qPrintable(QStringLiteral("bool OfflineCheck::checkSystemBackupSpace() "
                                                       "\"Insufficient free space, free size:%1 used size:%2\"")
                                            .arg(QString::fromLatin1(homeFree),
                                                 QString::fromLatin1(rootUsed))));

    OfflineCheck check(environment());
    QSignalSpy results(&check, &OfflineCheck::sendOfflineFileCheckResult);
    check.startOfflineFileCheck(CallerIdentity::root(), home.path(), package);
    QCOMPARE(results.count(), 1);
    QCOMPARE(results.first().at(0).toInt(), item);

    PackageFixture::unmountCache(home.path());
}

void tst_OfflineCheck::postHooksRunByNameWithTheHomeAsOneArgument()
{
    QTemporaryDir work;
    const QString home = work.filePath(QStringLiteral("my home"));
    const QString hooks = home + QStringLiteral("/.cache/tevrin-offline-update/hooks/posthook");
    QVERIFY(QDir().mkpath(hooks));
    const QByteArray script = "printf '%s %s %s\\n' \"$(basename \"$0\")\" \"$#\" \"$1\" >> \"$1/order\"\n";
    for (const char *name : { "B-second", "a-first", ".hidden" })
        QVERIFY(writeFile(hooks + QLatin1Char('/') + QLatin1String(name), script));
    // A link in the directory is not run, whatever it points at.
    QVERIFY(writeFile(work.filePath(QStringLiteral("outside")), "touch \"$1/outside-ran\"\n"));
    QVERIFY(QFile::link(work.filePath(QStringLiteral("outside")), hooks + QStringLiteral("/0-link")));

    OfflineCheck check(environment());
    check.execHookPost(home);

    QFile order(home + QStringLiteral("/order"));
    QVERIFY(order.open(QIODevice::ReadOnly));
    const QString expected = QStringLiteral(".hidden 1 %1\na-first 1 %1\nB-second 1 %1\n").arg(home);
    QCOMPARE(QString::fromUtf8(order.readAll()), expected);
    QVERIFY(!QFileInfo::exists(home + QStringLiteral("/outside-ran")));
}

void tst_OfflineCheck::postHookRunningPastItsTimeIsKilled()
{
    QTemporaryDir home;
    const QString hooks = home.filePath(QStringLiteral(".cache/tevrin-offline-update/hooks/posthook"));
    QVERIFY(QDir().mkpath(hooks));
    QVERIFY(writeFile(hooks + QStringLiteral("/a-slow"), "sleep 41.5\ntouch \"$1/late\"\n"));
    QVERIFY(writeFile(hooks + QStringLiteral("/b-next"), "touch \"$1/next\"\n"));

    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("^void OfflineCheck::execHookPost\\(const "
                                                           "QString&\\) \"Failed bash %1\"")
                                                .arg(QRegularExpression::escape(hooks))));
    OfflineCheck check(environment());
    QElapsedTimer timer;
    timer.start();
    check.execHookPost(home.path());
    QVERIFY2(timer.elapsed() >= 29000 && timer.elapsed() < 40000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(QFileInfo::exists(home.filePath(QStringLiteral("next"))));
    QVERIFY(!QFileInfo::exists(home.filePath(QStringLiteral("late"))));
    // The script's own child went with it.
    QCOMPARE(QProcess::execute(QStringLiteral("pgrep"), { QStringLiteral("-f"), QStringLiteral("sleep 41.5") }), 1);
}

void tst_OfflineCheck::upgradeOutput_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<QByteArray>("exitCode");
    QTest::addColumn<bool>("killed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("result");

    // "升级" is e5 8d 87 e7 ba a7; the first piece ends inside its first character.
    QTest::newRow("character split between reads")
        << QByteArray("Unpacking \\xe5\\x8d") << QByteArray("\\x87\\xe7\\xba\\xa7 done\\n")
        << QByteArray("0") << false << QStringLiteral("Unpacking 升级 done\n") << 0;
    QTest::newRow("text after a NUL is dropped")
        << QByteArray("before\\0after") << QByteArray() << QByteArray("0") << false
        << QStringLiteral("before") << 0;
    QTest::newRow("nothing written") << QByteArray() << QByteArray() << QByteArray("0") << false
                                     << QString() << 0;
    QTest::newRow("apt fails with 100") << QByteArray("E: broken\\n") << QByteArray()
                                        << QByteArray("100") << false << QStringLiteral("E: broken\n")
                                        << 100;
    QTest::newRow("shell killed") << QByteArray("half") << QByteArray() << QByteArray("0") << true
                                  << QStringLiteral("half") << -1;
}

void tst_OfflineCheck::upgradeOutput()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(QByteArray, exitCode);
    QFETCH(bool, killed);
    QFETCH(QString, text);
    QFETCH(int, result);

    CheckEnvironment fake = environment();
    fake.apt = m_work.filePath(QStringLiteral("apt"));
    qputenv("FAKE_APT_FIRST", first);
    qputenv("FAKE_APT_SECOND", second);
    qputenv("FAKE_APT_EXIT", exitCode);
    if (killed)
        qputenv("FAKE_APT_SIGNAL", "1");
    else
        qunsetenv("FAKE_APT_SIGNAL");

    OfflineCheck check(fake);
    QSignalSpy chunks(&check, &OfflineCheck::sendExecDistUpgradeInfo);
    QCOMPARE(check.execSystemUpgrade(), result);
    QString joined;
    for (const QList<QVariant> &chunk : chunks) {
        QVERIFY(!chunk.first().toString().contains(QChar::ReplacementCharacter));
        joined += chunk.first().toString();
    }
    QCOMPARE(joined, text);
    // A second run of the same engine sends each chunk once, not once per earlier run.
    if (result == 0 && !text.isEmpty()) {
        chunks.clear();
        QCOMPARE(check.execSystemUpgrade(), 0);
        QString again;
        for (const QList<QVariant> &chunk : chunks)
            again += chunk.first().toString();
        QCOMPARE(again, text);
    }
}

QTEST_GUILESS_MAIN(tst_OfflineCheck)
#include "tst_offlinecheck.moc"
