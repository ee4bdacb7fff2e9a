// The client's pure parts. Faults caught:
// - a command line accepted with a switch of another command or a wrong number of files, or a
//   relative path handed on unresolved (the daemon resolves nothing against our directory);
// - a progress line that misses the package when apt's line arrives in pieces, counts
//   packages wrongly, claims 100 % before the service does, or stays on the backup stage while
//   apt runs without a backup.
#include "commandline.h"
#include "progressline.h"

#include <QtTest>

class tst_CliParsing : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data();
    void commandLine();
    void progressLine_data();
    void progressLine();
};

void tst_CliParsing::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("package");
    QTest::addColumn<QString>("switches"); // y, r, v, j: the switches set
    QTest::addColumn<bool>("valid");

    QTest::newRow("relative path resolved")
        << QStringList { "check", "a.oup" } << int(CommandLine::Check) << "/work/a.oup"
        << "" << true;
    QTest::newRow("upgrade, every switch")
        << QStringList { "upgrade", "--reboot", "/srv/u.oup", "--yes", "--verbose", "--json" }
        << int(CommandLine::Upgrade) << "/srv/u.oup"
        << "yrvj" << true;
    QTest::newRow("status with a file")
        << QStringList { "status", "x" } << int(CommandLine::Status) << ""
        << "" << false;
    QTest::newRow("two files") << QStringList { "check", "a", "b" } << int(CommandLine::Check) << ""
                               << "" << false;
    QTest::newRow("switch of another command")
        << QStringList { "check", "a", "--yes" } << int(CommandLine::Check) << ""
        << "" << false;
}

void tst_CliParsing::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, command);
    QFETCH(QString, package);
    QFETCH(QString, switches);
    QFETCH(bool, valid);

    const CommandLine line = CommandLine::parse(arguments, QStringLiteral("/work"));
    QCOMPARE(line.error.isEmpty(), valid);
    QCOMPARE(int(line.command), command);
    if (!valid)
        return;
    QCOMPARE(line.packagePath, package);
    QCOMPARE(QString(QStringList { line.yes ? "y" : "", line.reboot ? "r" : "",
                 line.verbose ? "v" : "", line.json ? "j" : "" }
                         .join(QString())),
        switches);
}

void tst_CliParsing::progressLine_data()
{
    QTest::addColumn<int>("expected"); // packages the check counted
    QTest::addColumn<QStringList>("events"); // "30,1" a pair, anything else apt's output
    QTest::addColumn<int>("percent");
    QTest::addColumn<QString>("package");
    QTest::addColumn<bool>("upgrading");

    QTest::newRow("backup running")
        << 2 << QStringList { "30,1", "开始进行系统备份..." } << 30 << "" << false;
    QTest::newRow("apt without a backup")
        << 2 << QStringList { "30,1", "Unpacking probe (2.0) over (1.0) ...\r\n" } << 30 << "probe"
        << true;
    QTest::newRow("line in pieces, one of two set up")
        << 2 << QStringList { "50,1", "Setting up pro", "be:amd64 (2.0) ...\n" } << 74 << "probe"
        << true;
    QTest::newRow("archive being unpacked")
        << 3 << QStringList { "50,1", "Preparing to unpack .../libfoo1_2.0-1_amd64.deb ...\n" }
        << 50 << "libfoo1" << true;
    QTest::newRow("everything set up, service not done")
        << 1 << QStringList { "50,1", "Setting up probe (2.0) ...\n" } << 99 << "probe" << true;
    QTest::newRow("service done") << 1 << QStringList { "50,1", "100,1" } << 100 << "" << false;
    QTest::newRow("upgrade failed")
        << 2 << QStringList { "50,1", "Unpacking probe (2.0) over (1.0) ...\n", "80,-2" } << 80
        << "probe" << false;
}

void tst_CliParsing::progressLine()
{
    QFETCH(int, expected);
    QFETCH(QStringList, events);
    QFETCH(int, percent);
    QFETCH(QString, package);
    QFETCH(bool, upgrading);

    ProgressLine line(expected);
    const QRegularExpression pair(QStringLiteral("^(\\d+),(-?\\d+)$"));
    int lastProgress = 0;
    int lastCode = 0;
    for (const QString &event : events) {
        const QRegularExpressionMatch match = pair.match(event);
        if (!match.hasMatch()) {
            line.addOutput(event);
            continue;
        }
        lastProgress = match.captured(1).toInt();
        lastCode = match.captured(2).toInt();
        line.setProgress(lastProgress, lastCode);
    }
    QCOMPARE(line.percent(), percent);
    QCOMPARE(line.currentPackage(), package);
    // While apt runs the line says so, whatever the last pair's stage was.
    QCOMPARE(!line.text().startsWith(ProgressLine::stageText(lastProgress, lastCode)), upgrading);
}

QTEST_GUILESS_MAIN(tst_CliParsing)
#include "tst_cliparsing.moc"
