// Faults this test is there to catch: a line without its time or level prefix, or with the
// message text altered (quotes, non-ASCII text); the log file truncated instead of appended to,
// also when the appender is registered twice; a fatal line not reaching console and file before
// the abort; the default file not resolved from the cache location and the application name,
// or its directories not created; an unopenable log file crashing the program, silencing the
// console or being reported more than once; the two appenders writing different text; a long
// message written whole (a caller's 10 MB path on every refused call), cut inside a character or
// cut without saying so and how long it was, or a short one altered.
#include "logmanager.h"

#include <QDateTime>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <sys/resource.h>

namespace {

const char ChildFlag[] = "--log-child";
const char Line[] = "child line \"quoted\" Prüfung 升级";

QStringList readLines(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
        ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)
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
        // As a program that sets up its appenders twice does; the file must not be truncated.
        Karvo::LogManager::registerFileAppender();
        // The abort that follows must not leave a core file behind.
        const rlimit noCore { 0, 0 };
        setrlimit(RLIMIT_CORE, &noCore);
        qFatal("%s", Line);
    }
    qWarning("%s", Line);
    return 0;
}

} // namespace

class tst_LogManager : public QObject
{
    Q_OBJECT

private slots:
    void childProcess_data()
    {
        QTest::addColumn<bool>("fatal");
        QTest::addColumn<QString>("path"); // empty: the default file
        QTest::addColumn<bool>("opens");
        QTest::newRow("default file in the cache location, directories made")
            << false << QString() << true;
        QTest::newRow("registered twice, fatal line appended to both before the abort")
            << true << m_dir.filePath("fatal.log") << true;
        QTest::newRow("path is a directory") << false << m_dir.path() << false;
    }
    void childProcess()
    {
        QFETCH(bool, fatal);
        QFETCH(QString, path);
        QFETCH(bool, opens);
        const QString file = path.isEmpty() ? m_dir.filePath("cache/logchild/logchild.log") : path;
        // A line from an earlier run, which the appender must keep.
        const QStringList earlier
            = path.isEmpty() || !opens ? QStringList() : QStringList("earlier");
        QFile old(file);
        QVERIFY(
            earlier.isEmpty() || (old.open(QIODevice::WriteOnly) && old.write("earlier\n") > 0));
        old.close();
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("cache"))));
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
            { QString::fromLatin1(ChildFlag), QLatin1String(fatal ? "fatal" : "log"), path });
        QVERIFY2(child.waitForFinished(30000), qPrintable(child.errorString()));
        QCOMPARE(child.exitStatus(), fatal ? QProcess::CrashExit : QProcess::NormalExit);

        const QStringList errors = QString::fromUtf8(child.readAllStandardError()).split('\n');
        const QString prefix = QLatin1String(fatal ? " [Fatal] " : " [Warning] ");
        const QStringList logged = errors.filter(prefix + QString::fromUtf8(Line));
        QVERIFY(logged.size() == 1 && logged.first().endsWith(QString::fromUtf8(Line)));
        const QString stamp = logged.first().section(' ', 0, 0);
        QVERIFY2(QDateTime::fromString(stamp, Qt::ISODateWithMs).isValid(), qPrintable(stamp));
        // Whatever its words, a note about a file that cannot be opened names the file.
        QCOMPARE(errors.filter(file).size(), opens ? 0 : 1);
        if (opens)
            QCOMPARE(readLines(file), earlier + logged);
    }

    void longMessage_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("kept"); // the part of the message the line keeps
        QTest::addColumn<int>("bytes"); // the message's length in UTF-8 if it is cut, else 0
        const QString path = QStringLiteral("/home/u/") + QString(10 * 1024 * 1024 - 8, 'x');
        QTest::newRow("10 MB path cut to 4 KiB") << path << path.left(4096) << path.size();
        // 1 + 1365 three-byte characters end at byte 4096 exactly, so the cut falls before the
        // next one rather than inside it.
        const QString wide = QStringLiteral("a") + QString(2000, QChar(0x5347));
        QTest::newRow("three-byte characters cut between two")
            << wide << wide.left(1366) << 1 + 3 * 2000;
        // Two bytes each after one ASCII byte: the 4096th byte is the first half of a character.
        const QString umlauts = QStringLiteral("a") + QString(3000, QChar(0xfc));
        QTest::newRow("two-byte characters, a cut inside one moved before it")
            << umlauts << umlauts.left(2048) << 1 + 2 * 3000;
        // Four bytes each, two UTF-16 units in Qt: the cut falls after the third byte of one.
        QString faces = QStringLiteral("a");
        for (int i = 0; i < 1100; ++i)
            faces += QString::fromUcs4(U"\U0001F600", 1);
        QTest::newRow("four-byte characters, a cut inside one moved before it")
            << faces << faces.left(1 + 2 * 1023) << 1 + 4 * 1100;
        const QString fits = QString(4096 - 3, 'y') + QChar(0x5347);
        QTest::newRow("exactly 4096 bytes untouched") << fits << fits << 0;
        QTest::newRow("short text untouched")
            << QString::fromUtf8(Line) << QString::fromUtf8(Line) << 0;
    }
    void longMessage()
    {
        QFETCH(QString, message);
        QFETCH(QString, kept);
        QFETCH(int, bytes);
        const QString file = m_dir.filePath(QStringLiteral("long.log"));
        QFile::remove(file);
        Karvo::LogManager::setlogFilePath(file);
        // The test's own handler, put back at once: QtTest reports through it.
        const QtMessageHandler testLog = qInstallMessageHandler(nullptr);
        Karvo::LogManager::registerFileAppender();
        qWarning("%s", qUtf8Printable(message));
        qInstallMessageHandler(testLog);

        QFile log(file);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray written = log.readAll();
        QVERIFY(written.endsWith('\n') && written.count('\n') == 1);
        const QString line = QString::fromUtf8(written.chopped(1));
        // Decoding would have turned half a character into a replacement character.
        QCOMPARE(line.toUtf8(), written.chopped(1));
        const QString note
            = bytes == 0 ? QString() : QStringLiteral("… [cut: %1 bytes in all]").arg(bytes);
        QCOMPARE(line.section(QLatin1Char(' '), 1), QStringLiteral("[Warning] ") + kept + note);
        QVERIFY(kept.toUtf8().size() <= 4096);
    }

private:
    QTemporaryDir m_dir;
};

int main(int argc, char *argv[])
{
    if (argc > 3 && qstrcmp(argv[1], ChildFlag) == 0)
        return childMain(argc, argv);
    QCoreApplication app(argc, argv);
    tst_LogManager test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_logmanager.moc"
