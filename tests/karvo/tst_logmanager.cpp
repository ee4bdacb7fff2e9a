// Faults this test is there to catch:
// - a line without its time or level prefix, with a wrong level name, or with the message text
//   altered (function signature, quoted strings, non-ASCII text);
// - the log file truncated instead of appended to, also when the appender is registered again;
//   lines out of order, or not flushed before an abort;
// - a log file whose directories do not exist yet not being created;
// - lines written from several threads at once mixed into each other;
// - an unopenable log file crashing the program, silencing the console or being reported more
//   than once;
// - the default file not resolved from the cache location and the application name;
// - the two appenders writing different text for the same line.

#include "logmanager.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <memory>
#include <sys/resource.h>
#include <vector>

namespace {

const char ChildFlag[] = "--log-child";
const char ChildAppName[] = "logchild";
const char ChildMessage[] = "child line";
const char ChildFatalMessage[] = "child fatal";
const char OpenFailureNote[] = "cannot open log file";

const QRegularExpression LinePattern(
    QStringLiteral(R"(^(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}) \[(\w+)\] (.*)$)"));

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void logAs(QtMsgType type, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    switch (type) {
    case QtDebugMsg:
        qDebug("%s", bytes.constData());
        break;
    case QtInfoMsg:
        qInfo("%s", bytes.constData());
        break;
    case QtWarningMsg:
        qWarning("%s", bytes.constData());
        break;
    case QtCriticalMsg:
        qCritical("%s", bytes.constData());
        break;
    case QtFatalMsg:
        qFatal("%s", bytes.constData());
    }
}

// Runs in a child process, because the message handler and a fatal line are process-wide.
// Arguments: the mode ("log" or "fatal") and the log file path ("" for the default file).
int childMain(int argc, char *argv[])
{
    const QByteArray mode = argv[2];
    if (argc > 3 && argv[3][0] != '\0')
        Karvo::LogManager::setlogFilePath(QString::fromLocal8Bit(argv[3]));
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(ChildAppName));
    Karvo::LogManager::registerConsoleAppender();
    Karvo::LogManager::registerFileAppender();
    std::printf("%s\n", qUtf8Printable(Karvo::LogManager::logFilePath()));
    std::fflush(stdout);
    if (mode == "fatal") {
        // The abort that follows must not leave a core file behind.
        const rlimit noCore { 0, 0 };
        setrlimit(RLIMIT_CORE, &noCore);
        qFatal("%s", ChildFatalMessage);
    }
    qWarning("%s", ChildMessage);
    return 0;
}

} // namespace

class tst_LogManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void lineFormat_data();
    void lineFormat();
    void appendsInOrder();
    void createsMissingDirectories();
    void threadsDoNotMixLines();
    void childProcess_data();
    void childProcess();

private:
    QString useFreshFile(const QString &name);

    QTemporaryDir m_dir;
};

void tst_LogManager::initTestCase()
{
    QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));
}

// Points the file appender at a new file. Only the file appender is registered in this
// process, so the test's own output stays readable.
QString tst_LogManager::useFreshFile(const QString &name)
{
    const QString path = m_dir.filePath(name);
    Karvo::LogManager::setlogFilePath(path);
    Karvo::LogManager::registerFileAppender();
    return path;
}

void tst_LogManager::lineFormat_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("streamed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("level");
    QTest::addColumn<QString>("message");

    QTest::newRow("debug") << int(QtDebugMsg) << false << QStringLiteral("plain debug")
                           << QStringLiteral("Debug") << QStringLiteral("plain debug");
    QTest::newRow("info") << int(QtInfoMsg) << false << QStringLiteral("plain info")
                          << QStringLiteral("Info") << QStringLiteral("plain info");
    QTest::newRow("warning") << int(QtWarningMsg) << false << QStringLiteral("plain warning")
                             << QStringLiteral("Warning") << QStringLiteral("plain warning");
    QTest::newRow("critical") << int(QtCriticalMsg) << false << QStringLiteral("plain critical")
                              << QStringLiteral("Critical") << QStringLiteral("plain critical");
    QTest::newRow("function signature and quoted string")
        << int(QtWarningMsg) << true << QStringLiteral("x") << QStringLiteral("Warning")
        << QStringLiteral("void tst_LogManager::lineFormat() \"x\"");
    QTest::newRow("non-ASCII text")
        << int(QtInfoMsg) << false << QString::fromUtf8("Prüfung \xe5\x8d\x87\xe7\xba\xa7")
        << QStringLiteral("Info") << QString::fromUtf8("Prüfung \xe5\x8d\x87\xe7\xba\xa7");
}

void tst_LogManager::lineFormat()
{
    QFETCH(int, type);
    QFETCH(bool, streamed);
    QFETCH(QString, text);
    QFETCH(QString, level);
    QFETCH(QString, message);

    const QString path = useFreshFile(QStringLiteral("format-%1.log").arg(QTest::currentDataTag()));
    // The stamp has millisecond precision; allow for that rounding at both ends.
    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
    if (streamed)
        qWarning() << Q_FUNC_INFO << text;
    else
        logAs(QtMsgType(type), text);
    const QDateTime after = QDateTime::currentDateTime().addMSecs(1);

    const QStringList lines = readLines(path);
    QCOMPARE(lines.size(), 1);
    const QRegularExpressionMatch match = LinePattern.match(lines.first());
    QVERIFY2(match.hasMatch(), qPrintable(lines.first()));
    const QDateTime stamp = QDateTime::fromString(match.captured(1), Qt::ISODateWithMs);
    QVERIFY2(stamp.isValid(), qPrintable(match.captured(1)));
    QVERIFY2(stamp >= before && stamp <= after, qPrintable(match.captured(1)));
    QCOMPARE(match.captured(2), level);
    QCOMPARE(match.captured(3), message);
}

void tst_LogManager::appendsInOrder()
{
    const QString path = m_dir.filePath(QStringLiteral("append.log"));
    QFile earlier(path);
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("line from an earlier run\n");
    earlier.close();

    useFreshFile(QStringLiteral("append.log"));
    qWarning("first");
    qCritical("second");
    // Registering again, as a program that sets up its appenders twice does, must not
    // truncate either.
    Karvo::LogManager::registerFileAppender();
    qInfo("third");

    const QStringList lines = readLines(path);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(0), QStringLiteral("line from an earlier run"));
    const QStringList expected { QStringLiteral("first"), QStringLiteral("second"),
        QStringLiteral("third") };
    for (int i = 0; i < expected.size(); ++i) {
        const QRegularExpressionMatch match = LinePattern.match(lines.at(i + 1));
        QVERIFY2(match.hasMatch(), qPrintable(lines.at(i + 1)));
        QCOMPARE(match.captured(3), expected.at(i));
    }
}

void tst_LogManager::createsMissingDirectories()
{
    const QString relative = QStringLiteral("not/there/yet/app.log");
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("not"))));

    const QString path = useFreshFile(relative);
    QCOMPARE(Karvo::LogManager::logFilePath(), path);
    qWarning("into a new directory");

    const QStringList lines = readLines(path);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(LinePattern.match(lines.first()).captured(3), QStringLiteral("into a new directory"));
}

void tst_LogManager::threadsDoNotMixLines()
{
    const int threadCount = 4;
    const int linesPerThread = 2000;
    // Long lines widen the window in which unguarded writes would overlap.
    const QByteArray padding(400, 'x');
    const QString path = useFreshFile(QStringLiteral("threads.log"));

    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back(QThread::create([t, &padding] {
            for (int i = 0; i < linesPerThread; ++i)
                qWarning("thread %d line %d %s", t, i, padding.constData());
        }));
        threads.back()->start();
    }
    for (const auto &thread : threads)
        QVERIFY(thread->wait(60000));

    const QStringList lines = readLines(path);
    QCOMPARE(lines.size(), threadCount * linesPerThread);
    const QRegularExpression messagePattern(QStringLiteral(R"(^thread (\d+) line (\d+) x{400}$)"));
    std::vector<int> next(threadCount, 0);
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = LinePattern.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        const QRegularExpressionMatch message = messagePattern.match(match.captured(3));
        QVERIFY2(message.hasMatch(), qPrintable(line));
        const int t = message.captured(1).toInt();
        QVERIFY2(t >= 0 && t < threadCount, qPrintable(line));
        // Each thread's own lines keep their order.
        QCOMPARE(message.captured(2).toInt(), next[size_t(t)]);
        ++next[size_t(t)];
    }
}

void tst_LogManager::childProcess_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expectedPath");
    QTest::addColumn<bool>("fileWritten");
    QTest::addColumn<QString>("level");
    QTest::addColumn<QString>("message");

    const QString fresh = m_dir.filePath(QStringLiteral("child/new/child.log"));
    const QString fatal = m_dir.filePath(QStringLiteral("child/fatal.log"));
    const QString defaultPath
        = m_dir.filePath(QStringLiteral("cache/%1/%1.log")).arg(QString::fromLatin1(ChildAppName));
    const QString underFile = m_dir.filePath(QStringLiteral("plainfile/child.log"));
    const QString child = QString::fromLatin1(ChildMessage);

    QTest::newRow("console and file")
        << QStringLiteral("log") << fresh << fresh << true << QStringLiteral("Warning") << child;
    QTest::newRow("default file in the cache location")
        << QStringLiteral("log") << QString() << defaultPath << true << QStringLiteral("Warning")
        << child;
    QTest::newRow("fatal line reaches both before the abort")
        << QStringLiteral("fatal") << fatal << fatal << true << QStringLiteral("Fatal")
        << QString::fromLatin1(ChildFatalMessage);
    QTest::newRow("path is a directory") << QStringLiteral("log") << m_dir.path() << m_dir.path()
                                         << false << QStringLiteral("Warning") << child;
    QTest::newRow("parent is a regular file") << QStringLiteral("log") << underFile << underFile
                                              << false << QStringLiteral("Warning") << child;
}

void tst_LogManager::childProcess()
{
    QFETCH(QString, mode);
    QFETCH(QString, path);
    QFETCH(QString, expectedPath);
    QFETCH(bool, fileWritten);
    QFETCH(QString, level);
    QFETCH(QString, message);

    QFile plainFile(m_dir.filePath(QStringLiteral("plainfile")));
    QVERIFY(plainFile.open(QIODevice::WriteOnly));
    plainFile.close();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_dir.filePath(QStringLiteral("cache")));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(m_dir.path());
    child.start(
        QCoreApplication::applicationFilePath(), { QString::fromLatin1(ChildFlag), mode, path });
    QVERIFY2(child.waitForFinished(30000), qPrintable(child.errorString()));
    QCOMPARE(child.exitStatus(),
        mode == QLatin1String("fatal") ? QProcess::CrashExit : QProcess::NormalExit);
    if (child.exitStatus() == QProcess::NormalExit)
        QCOMPARE(child.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()).trimmed(), expectedPath);

    const QStringList errorLines = QString::fromUtf8(child.readAllStandardError())
                                       .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList logged;
    int notes = 0;
    for (const QString &line : errorLines) {
        const QRegularExpressionMatch match = LinePattern.match(line);
        if (match.hasMatch() && match.captured(3) == message) {
            QCOMPARE(match.captured(2), level);
            logged << line;
        } else if (line.contains(QLatin1String(OpenFailureNote))) {
            QVERIFY2(line.contains(expectedPath), qPrintable(line));
            ++notes;
        }
    }
    QCOMPARE(logged.size(), 1);
    QCOMPARE(notes, fileWritten ? 0 : 1);
    if (fileWritten)
        QCOMPARE(readLines(expectedPath), logged);
}

int main(int argc, char *argv[])
{
    if (argc > 2 && qstrcmp(argv[1], ChildFlag) == 0)
        return childMain(argc, argv);
    QCoreApplication app(argc, argv);
    tst_LogManager test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_logmanager.moc"
