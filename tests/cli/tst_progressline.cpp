// The client's progress line, fed as the service and apt feed it. Faults caught: a line that
// misses the package when apt's line arrives in pieces, counts packages wrongly, claims 100 %
// before the service does, or stays on the backup stage while apt runs without a backup.
#include "progressline.h"

#include <QtTest>

class tst_ProgressLine : public QObject
{
    Q_OBJECT

private slots:
    void progressLine_data();
    void progressLine();
};

void tst_ProgressLine::progressLine_data()
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

void tst_ProgressLine::progressLine()
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

QTEST_GUILESS_MAIN(tst_ProgressLine)
#include "tst_progressline.moc"
