#pragma once

class QString;

namespace Karvo {

// Sends every Qt log line, as "<ISO time with ms> [<Level>] <message>", to standard error
// and/or to a log file. The message handler is process-wide and may be called from any thread.
// A message longer than 4096 bytes of UTF-8 is cut on a character boundary, and the line says
// so and how long it was: "… [cut: <bytes> bytes in all]".
class LogManager
{
public:
    // May be called before any QCoreApplication exists. Takes effect at the next
    // registerFileAppender().
    static void setlogFilePath(const QString &path);
    // The path set, else the default: the application's cache location + "/<name>.log".
    static QString logFilePath();

    static void registerConsoleAppender();
    // Opens logFilePath() for appending, creating it and its directories. A file that cannot
    // be opened is reported once on standard error; the other appender keeps working.
    static void registerFileAppender();
};

} // namespace Karvo
