#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>

class QTimer;

// One child process run on the event loop: the daemon never waits for a program, it is told
// when the program ended or ran out of time. A program that runs out of time is killed with
// its whole process group and is reported as not finished, whatever it printed so far.
class AsyncCommand : public QObject
{
    Q_OBJECT

public:
    struct Result
    {
        bool finished = false; // ended by itself within its time, not by a signal
        int exitCode = -1;
        QByteArray standardOutput;
        QByteArray standardError;
        QString errorString; // why it did not finish

        bool succeeded() const { return finished && exitCode == 0; }
        // For a log line or a failure's detail: why it did not finish, or its exit code and
        // what it printed.
        QString describe() const;
    };
    using Done = std::function<void(const Result &)>;

    // Starts |program| with |arguments| (never through a shell) as a child of |owner|; |done| is
    // called once, on the event loop, unless |owner| goes first. |workingDirectory| may be
    // empty.
    static AsyncCommand *start(QObject *owner, const QString &program, const QStringList &arguments,
        int timeLimitMs, Done done, const QString &workingDirectory = QString());

    // Ends the program (and what it started) now; |done| still comes, as not finished.
    void kill();

signals:
    // Output as it arrives, for callers that stream it; it is kept for the result as well.
    void standardOutputRead(const QByteArray &chunk);
    void standardErrorRead(const QByteArray &chunk);

private:
    AsyncCommand(QObject *owner, Done done);
    void deliver();

    QProcess *m_process;
    QTimer *m_timer;
    Done m_done;
    Result m_result;
    bool m_timedOut = false;
    bool m_delivered = false;
};
