#include "logmanager.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QString>
#include <cstdio>
#include <mutex>

namespace Karvo {

namespace {

struct State
{
    std::mutex mutex;
    QString path;
    bool console = false;
    QFile file;
};

// Never destroyed: Qt and other static objects still log while the process exits, after
// function-local statics would be gone. Every line is flushed, so nothing is lost.
State &state()
{
    static State *const instance = new State;
    return *instance;
}

QString defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QLatin1Char('/')
        + QCoreApplication::applicationName() + QStringLiteral(".log");
}

QLatin1String levelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return QLatin1String("Debug");
    case QtInfoMsg:
        return QLatin1String("Info");
    case QtWarningMsg:
        return QLatin1String("Warning");
    case QtCriticalMsg:
        return QLatin1String("Critical");
    case QtFatalMsg:
        break;
    }
    return QLatin1String("Fatal");
}

// A caller's string (a path, a package's output) may be megabytes long, and the daemon's log is
// written as root on every refused call: no message may make a line longer than this.
constexpr int MaxMessageBytes = 4096;

QByteArray boundedText(const QString &message)
{
    QByteArray text = message.toUtf8();
    if (text.size() <= MaxMessageBytes)
        return text;
    // Half a character would make the whole line unreadable to a strict UTF-8 reader.
    int end = MaxMessageBytes;
    while (end > 0 && (uchar(text.at(end)) & 0xC0) == 0x80)
        --end;
    const QByteArray all = QByteArray::number(text.size());
    text.truncate(end);
    return text + "… [cut: " + all + " bytes in all]";
}

void writeLine(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    const QByteArray line = (QDateTime::currentDateTime().toString(Qt::ISODateWithMs)
                                + QStringLiteral(" [") + levelName(type) + QStringLiteral("] "))
                                .toUtf8()
        + boundedText(message) + '\n';
    // A line logged from inside this handler (by a Qt class it uses) must not wait for the
    // lock its own thread holds.
    static thread_local bool writing = false;
    if (writing) {
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        return;
    }
    writing = true;
    State &s = state();
    {
        const std::lock_guard<std::mutex> lock(s.mutex);
        if (s.console) {
            std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
            std::fflush(stderr);
        }
        if (s.file.isOpen()) {
            s.file.write(line);
            s.file.flush();
        }
    }
    writing = false;
}

} // namespace

void LogManager::setlogFilePath(const QString &path)
{
    State &s = state();
    const std::lock_guard<std::mutex> lock(s.mutex);
    s.path = path;
}

QString LogManager::logFilePath()
{
    State &s = state();
    const std::lock_guard<std::mutex> lock(s.mutex);
    return s.path.isEmpty() ? defaultFilePath() : s.path;
}

void LogManager::registerConsoleAppender()
{
    {
        State &s = state();
        const std::lock_guard<std::mutex> lock(s.mutex);
        s.console = true;
    }
    qInstallMessageHandler(writeLine);
}

void LogManager::registerFileAppender()
{
    {
        State &s = state();
        const std::lock_guard<std::mutex> lock(s.mutex);
        if (s.path.isEmpty())
            s.path = defaultFilePath();
        s.file.close();
        s.file.setFileName(s.path);
        QDir().mkpath(QFileInfo(s.path).absolutePath());
        if (!s.file.open(QIODevice::WriteOnly | QIODevice::Append)) {
            std::fprintf(stderr, "Karvo::LogManager: cannot open log file %s: %s\n",
                qUtf8Printable(s.path), qUtf8Printable(s.file.errorString()));
            std::fflush(stderr);
        }
    }
    qInstallMessageHandler(writeLine);
}

} // namespace Karvo
