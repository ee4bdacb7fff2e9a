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

#include <QDateTime>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

const char ChildFlag[] = "--log-child";

QStringList readLines(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
        ? QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
        : QStringList();
}

// Runs in a child process, because the message handler and a fatal line are process-wide.
// Arguments: "fatal" or "log", and the log file path ("" for the default file).
int childMain(int argc, char *argv[])
{
    if (argv[3][0] != '\0')
        Karvo::LogManager::setlogFilePath(QString::fromLocal8Bit(argv[3]));
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("logchild"));
    Karvo::LogManager::registerConsoleAppender();
    Karvo::LogManager::registerFileAppender();
    if (qstrcmp(argv[2], "fatal") == 0) {
        // The abort that follows must not leave a core file behind.
        const rlimit noCore { 0, 0 };
        setrlimit(RLIMIT_CORE, &noCore);
        qFatal("child line");
    }
    qWarning("child line");
    return 0;
}

} // namespace

class tst_LogManager : public QObject
{
    Q_OBJECT

private slots:
    void fileLines();
    void threadsDoNotMixLines();
    void childProcess_data();
    void childProcess();

private:
    // Only the file appender is registered in this process, so the test's own output stays
    // readable.
    QString useFile(const QString &name);

    QTemporaryDir m_dir;
};

QString tst_LogManager::useFile(const QString &name)
{
    const QString path = m_dir.filePath(name);
    Karvo::LogManager::setlogFilePath(path);
    Karvo::LogManager::registerFileAppender();
    return path;
}

void tst_LogManager::fileLines()
{
    QFile file(m_dir.filePath(QStringLiteral("lines.log")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("from an earlier run\n") > 0);
    file.close();
    const QString signature = QStringLiteral("void Class::run() \"quoted\"");
    const QString nonAscii = QString::fromUtf8("Prüfung 升级");
    // The stamps have millisecond precision; allow for that rounding at both ends.
    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
    useFile(QStringLiteral("lines.log"));
    qt_message_output(QtDebugMsg, QMessageLogContext(), signature);
    qt_message_output(QtInfoMsg, QMessageLogContext(), nonAscii);
    // Registering again, as a program that sets up its appenders twice does, must not truncate.
    Karvo::LogManager::registerFileAppender();
    qt_message_output(QtWarningMsg, QMessageLogContext(), QStringLiteral("plain"));
    qt_message_output(QtCriticalMsg, QMessageLogContext(), QStringLiteral("plain"));
    const QDateTime after = QDateTime::currentDateTime().addMSecs(1);

    const QStringList lines = readLines(file.fileName());
    QCOMPARE(lines.value(0), QStringLiteral("from an earlier run"));
    QStringList unstamped;
    for (const QString &line : lines.mid(1)) {
        const QDateTime stamp = QDateTime::fromString(line.section(' ', 0, 0), Qt::ISODateWithMs);
        QVERIFY2(stamp >= before && stamp <= after, qPrintable(line));
        unstamped << line.section(' ', 1);
    }
    QCOMPARE(unstamped,
        QStringList({ "[Debug] " + signature, "[Info] " + nonAscii, "[Warning] plain",
            "[Critical] plain" }));
}

void tst_LogManager::threadsDoNotMixLines()
{
    const int threadCount = 4;
    const int linesPerThread = 2000;
    // Long lines widen the window in which unguarded writes would overlap.
    const QByteArray padding(400, 'x');
    const QString path = useFile(QStringLiteral("threads.log"));
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t)
        threads.emplace_back([t, &padding] {
            for (int i = 0; i < linesPerThread; ++i)
                qWarning("thread %d line %d %s", t, i, padding.constData());
        });
    for (std::thread &thread : threads)
        thread.join();

    // Every line whole, and each thread's own lines in their order.
    const QStringList lines = readLines(path);
    QCOMPARE(lines.size(), threadCount * linesPerThread);
    const QRegularExpression pattern(
        QStringLiteral(R"(^\S+ \[Warning\] thread ([0-3]) line (\d+) x{400}$)"));
    std::vector<int> next(threadCount, 0);
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = pattern.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        QCOMPARE(match.captured(2).toInt(), next[size_t(match.captured(1).toInt())]++);
    }
}

void tst_LogManager::childProcess_data()
{
    QTest::addColumn<bool>("fatal");
    QTest::addColumn<QString>("path"); // empty: the default file
    QTest::addColumn<bool>("opens");

    QTest::newRow("console and file, directories made")
        << false << m_dir.filePath("child/new/child.log") << true;
    QTest::newRow("default file in the cache location") << false << QString() << true;
    QTest::newRow("fatal line reaches both before the abort")
        << true << m_dir.filePath("child/fatal.log") << true;
    QTest::newRow("path is a directory") << false << m_dir.path() << false;
}

void tst_LogManager::childProcess()
{
    QFETCH(bool, fatal);
    QFETCH(QString, path);
    QFETCH(bool, opens);
    const QString file = path.isEmpty() ? m_dir.filePath("cache/logchild/logchild.log") : path;

    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("cache"))));
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
        { QString::fromLatin1(ChildFlag), QLatin1String(fatal ? "fatal" : "log"), path });
    QVERIFY2(child.waitForFinished(30000), qPrintable(child.errorString()));
    QCOMPARE(child.exitStatus(), fatal ? QProcess::CrashExit : QProcess::NormalExit);

    const QStringList errors = QString::fromUtf8(child.readAllStandardError()).split('\n');
    const QStringList logged = errors.filter(QRegularExpression(
        QStringLiteral(R"(^\S+ \[%1\] child line$)").arg(fatal ? "Fatal" : "Warning")));
    const QStringList notes = errors.filter(QStringLiteral("cannot open log file"));
    QCOMPARE(logged.size(), 1);
    QCOMPARE(notes.size(), opens ? 0 : 1);
    if (opens)
        QCOMPARE(readLines(file), logged);
    else
        QVERIFY2(notes.first().contains(file), qPrintable(notes.first()));
}

int main(int argc, char *argv[])
{
    if (argc > 3 && qstrcmp(argv[1], ChildFlag) == 0)
        return childMain(argc, argv);
    QCoreApplication app(argc, argv);
    tst_LogManager test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_logmanager.moc"
