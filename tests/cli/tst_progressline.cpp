// The client's progress line, fed as the service and apt feed it. Faults caught: a backup
// claimed that the service did not announce, the repair not shown as a stage of its own, the
// package taken from apt's archive name (which may carry apt's number) instead of the service's
// stage, a percentage that runs back behind the service's pairs, a failure shown with its code
// as a percentage; and for a service without stage signals: a package missed when apt's line
// arrives in pieces, packages counted wrongly, 100 % claimed before the service does.
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
    // "30,1" a pair; "stage:upgrade,3,20,name" a stage signal; anything else apt's output.
    QTest::addColumn<int>("expected"); // packages the check counted
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("percent");
    QTest::addColumn<QString>("package");

    QTest::newRow("no backup announced")
        << 2 << QStringList { "30,1", "开始进行系统升级...", "stage:upgrade,0,2," }
        << "Upgrading the system   30%" << 30 << "";
    QTest::newRow("backup announced") << 2 << QStringList { "30,1", "stage:backup,0,0," }
                                      << "Backing up the system   30%" << 30 << "";
    QTest::newRow("repair") << 2
                            << QStringList { "30,1", "stage:repair,0,2,",
                                   "Setting up libc-bin (2.36) ...\n" }
                            << "Finishing interrupted installations   30%" << 30 << "";
    QTest::newRow("package 3 of 20, the service's name")
        << 20
        << QStringList { "50,1", "stage:upgrade,3,20,openjdk-17-jdk",
               "Preparing to unpack .../57-openjdk-17-jdk_17.0.9_amd64.deb ...\n" }
        << "Upgrading the system: package 3 of 20 (openjdk-17-jdk)   54%" << 54
        << "openjdk-17-jdk";
    QTest::newRow("the service's pairs ahead of the count")
        << 20 << QStringList { "50,1", "stage:upgrade,1,20,a", "70,1" }
        << "Upgrading the system: package 1 of 20 (a)   70%" << 70 << "a";
    QTest::newRow("last package begun, not done")
        << 2 << QStringList { "30,1", "stage:upgrade,2,2,b" }
        << "Upgrading the system: package 2 of 2 (b)   64%" << 64 << "b";
    QTest::newRow("upgrade done") << 2 << QStringList { "30,1", "stage:upgrade,2,2,b", "100,1" }
                                  << "Upgrade finished  100%" << 100 << "";
    QTest::newRow("post-upgrade scripts")
        << 2 << QStringList { "30,1", "stage:upgrade,2,2,b", "100,1", "stage:post-hooks,0,0," }
        << "Running post-upgrade scripts  100%" << 100 << "";
    QTest::newRow("upgrade failed, no percentage")
        << 20 << QStringList { "50,1", "stage:upgrade,3,20,openjdk-17-jdk", "80,-2" }
        << "The upgrade failed" << -1 << "";
    QTest::newRow("backup failed")
        << 2 << QStringList { "30,1", "stage:backup,0,0,", "70,-1" } << "The backup failed" << -1
        << "";

    // A service that sends no stage signal.
    QTest::newRow("old service: its first pair claims no backup")
        << 2 << QStringList { "30,1", "开始进行系统备份..." } << "Preparing the upgrade   30%" << 30
        << "";
    QTest::newRow("old service: apt without a backup")
        << 2 << QStringList { "30,1", "Unpacking probe (2.0) over (1.0) ...\r\n" }
        << "Upgrading the system   30%  probe" << 30 << "probe";
    QTest::newRow("old service: line in pieces, one of two set up")
        << 2 << QStringList { "50,1", "Setting up pro", "be:amd64 (2.0) ...\n" }
        << "Upgrading the system   74%  probe" << 74 << "probe";
    QTest::newRow("old service: an archive's name is no package")
        << 3 << QStringList { "50,1", "Preparing to unpack .../57-libfoo1_2.0-1_amd64.deb ...\n" }
        << "Backup done, upgrading the system   50%" << 50 << "";
    QTest::newRow("old service: everything set up, service not done")
        << 1 << QStringList { "50,1", "Setting up probe (2.0) ...\n" }
        << "Upgrading the system   99%  probe" << 99 << "probe";
    QTest::newRow("old service: done") << 1 << QStringList { "50,1", "100,1" }
                                       << "Upgrade finished  100%" << 100 << "";
    QTest::newRow("old service: upgrade failed")
        << 2 << QStringList { "50,1", "Unpacking probe (2.0) over (1.0) ...\n", "80,-2" }
        << "The upgrade failed" << -1 << "";
}

void tst_ProgressLine::progressLine()
{
    QFETCH(int, expected);
    QFETCH(QStringList, events);
    QFETCH(QString, text);
    QFETCH(int, percent);
    QFETCH(QString, package);

    ProgressLine line(expected);
    const QRegularExpression pair(QStringLiteral("^(\\d+),(-?\\d+)$"));
    for (const QString &event : events) {
        if (event.startsWith(QLatin1String("stage:"))) {
            const QStringList stage = event.mid(6).split(',');
            line.setStage(stage.at(0), stage.at(1).toInt(), stage.at(2).toInt(), stage.at(3));
            continue;
        }
        const QRegularExpressionMatch match = pair.match(event);
        if (match.hasMatch())
            line.setProgress(match.captured(1).toInt(), match.captured(2).toInt());
        else
            line.addOutput(event);
    }
    QCOMPARE(line.text(), text);
    QCOMPARE(line.percent(), percent);
    QCOMPARE(line.currentPackage(), package);
}

QTEST_GUILESS_MAIN(tst_ProgressLine)
#include "tst_progressline.moc"
