// Tests the development stand-ins for the window manager and the session manager through the
// tool's own client (the offline update model) on a private session bus.
// Faults caught here:
// - a wallpaper answer that the model cannot turn back into the picture's path (no "file://",
//   a relative path passed on, a URL mangled);
// - a reboot request that is not recorded on standard output and in the --record file, that is
//   recorded more or less often than asked, or that is not flushed at once, so that a script
//   waiting for the line waits in vain;
// - "ready" printed before the name is owned, a second instance that does not notice that the
//   name is taken, and --help or bad options handled as a normal start.
#include "childprocess.h"
#include "offlineupdatemodel.h"
#include "testbuses.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

const QString WindowManager = QStringLiteral(DEV_WM_PATH);
const QString SessionManager = QStringLiteral(DEV_SESSIONMANAGER_PATH);

// Reads |process|'s standard output into |lines| until |count| whole lines equal to |line| have
// come, or 10 s have passed.
bool waitForLine(QProcess &process, QStringList *lines, const QString &line, int count = 1)
{
    QDeadlineTimer deadline(10000);
    for (;;) {
        while (process.canReadLine())
            lines->append(QString::fromUtf8(process.readLine()).trimmed());
        if (lines->count(line) >= count)
            return true;
        if (deadline.hasExpired() || !process.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
}

QStringList fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Ends a stand-in that a test started, also when the test fails half-way.
struct StopProcess
{
    void operator()(ChildProcess *process) const
    {
        process->terminate();
        if (!process->waitForFinished(5000))
            process->kill();
        process->waitForFinished(5000);
        delete process;
    }
};

} // namespace

class tst_DevServices : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void wallpaper_data();
    void wallpaper();
    void rebootRecorded();
    void commandLine_data();
    void commandLine();

private:
    std::unique_ptr<ChildProcess, StopProcess> start(const QString &program,
        const QStringList &arguments, QStringList *lines,
        const QString &workingDirectory = QString());

    TestBuses m_buses;
    QTemporaryDir m_dir;
};

void tst_DevServices::initTestCase()
{
    QString error;
    QVERIFY2(m_buses.start(&error), qPrintable(error));
    QVERIFY(m_dir.isValid());
}

std::unique_ptr<ChildProcess, StopProcess> tst_DevServices::start(const QString &program,
    const QStringList &arguments, QStringList *lines, const QString &workingDirectory)
{
    std::unique_ptr<ChildProcess, StopProcess> process(new ChildProcess);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (!workingDirectory.isEmpty())
        process->setWorkingDirectory(workingDirectory);
    process->start(program, arguments);
    if (!process->waitForStarted(10000) || !waitForLine(*process, lines, QStringLiteral("ready")))
        return nullptr;
    return process;
}

void tst_DevServices::wallpaper_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("path");

    const QString relativeDir = m_dir.path();
    QTest::newRow("absolute path")
        << QStringList { QStringLiteral("--background"), QStringLiteral("/usr/share/a b.jpg") }
        << QStringLiteral("file:///usr/share/a b.jpg") << QStringLiteral("/usr/share/a b.jpg");
    QTest::newRow("relative path")
        << QStringList { QStringLiteral("--background=pictures/wall.png") }
        << QStringLiteral("file://") + relativeDir + QStringLiteral("/pictures/wall.png")
        << relativeDir + QStringLiteral("/pictures/wall.png");
    QTest::newRow("URL as given") << QStringList { QStringLiteral("--background"),
        QStringLiteral("a://b://c") }
                                  << QStringLiteral("a://b://c") << QStringLiteral("b");
    QTest::newRow("no wallpaper") << QStringList() << QString() << QString();
}

void tst_DevServices::wallpaper()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, answer);
    QFETCH(QString, path);

    QStringList lines;
    const auto service = start(WindowManager, arguments, &lines, m_dir.path());
    QVERIFY(service);

    OfflineUpdateModel model;
    QCOMPARE(model.getDesktopImage(), path);
    QVERIFY(waitForLine(*service, &lines,
        (QStringLiteral("GetCurrentWorkspaceBackground -> ") + answer).trimmed()));
}

void tst_DevServices::rebootRecorded()
{
    const QString record = m_dir.filePath(QStringLiteral("reboots"));
    QStringList lines;
    const auto service = start(SessionManager, { QStringLiteral("--record"), record }, &lines);
    QVERIFY(service);

    // No daemon on the system bus: the post-upgrade hooks fail at once and the reboot follows.
    OfflineUpdateModel model;
    model.systemReboot();
    QVERIFY(waitForLine(*service, &lines, QStringLiteral("RequestReboot")));
    QCOMPARE(fileLines(record), QStringList { QStringLiteral("RequestReboot") });

    model.systemReboot();
    QVERIFY(waitForLine(*service, &lines, QStringLiteral("RequestReboot"), 2));
    QCOMPARE(fileLines(record),
        (QStringList { QStringLiteral("RequestReboot"), QStringLiteral("RequestReboot") }));
}

void tst_DevServices::commandLine_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("nameTaken");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("output");

    QTest::newRow("window manager's name taken")
        << WindowManager << QStringList() << true << 1 << QByteArray("another program owns it");
    QTest::newRow("session manager's name taken")
        << SessionManager << QStringList() << true << 1 << QByteArray("another program owns it");

    QTest::newRow("window manager help")
        << WindowManager << QStringList { QStringLiteral("--help") } << false << 0
        << QByteArray("--background <path>");
    QTest::newRow("session manager help") << SessionManager << QStringList { QStringLiteral("-h") }
                                          << false << 0 << QByteArray("--record <file>");
    QTest::newRow("unknown option") << WindowManager << QStringList { QStringLiteral("--record=x") }
                                    << false << 2 << QByteArray("Unknown option 'record'");
    QTest::newRow("stray argument") << SessionManager << QStringList { QStringLiteral("reboot") }
                                    << false << 2 << QByteArray("unexpected argument 'reboot'");
    QTest::newRow("missing value") << SessionManager << QStringList { QStringLiteral("--record") }
                                   << false << 2 << QByteArray("Missing value after '--record'");
}

void tst_DevServices::commandLine()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(bool, nameTaken);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, output);

    QStringList lines;
    const auto first = nameTaken ? start(program, {}, &lines) : nullptr;
    QVERIFY(first || !nameTaken);
    ChildProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    const QByteArray printed = process.readAll();
    QVERIFY2(printed.contains(output), printed.constData());
    QVERIFY(!printed.split('\n').contains("ready"));
}

QTEST_GUILESS_MAIN(tst_DevServices)
#include "tst_devservices.moc"
