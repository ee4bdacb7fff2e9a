#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>

class QProcess;
class QTimer;

// Listing a package's hook scripts. A script needs neither an executable bit nor an
// interpreter line: it is handed to bash, with the user's home directory as its one argument.
struct HookScript
{
    enum Order { DirectoryOrder, NameOrder };

    // The names of the entries of the open directory |directoryFd| that run as scripts: regular
    // files and directories, hidden ones included, symbolic links never. DirectoryOrder is the
    // order readdir gives; NameOrder sorts by name without regard to case.
    static QStringList entries(int directoryFd, Order order);

    // The same for the directory |name| ("prehook", "posthook") below |hooksFd|. A package
    // without it has no scripts; one whose |name| is a symbolic link or not a directory is
    // refused: the list is empty and |refused| is set, so that the caller fails the item
    // instead of quietly running nothing.
    static QStringList entries(int hooksFd, const QByteArray &name, Order order, bool *refused);
};

// One run of one hook script, driven by the event loop. The script gets a PID namespace of its
// own: whatever it starts (a background job, a setsid daemon) ends when the script ends, when
// the run is killed at its time limit, and when the daemon itself dies, so nothing it left
// behind can hold the hooks image busy or outlive the check. Its output is kept bounded: a
// script that writes without end costs the daemon OutputTailBytes, not memory without end.
class HookRun : public QObject
{
    Q_OBJECT

public:
    struct Result
    {
        bool finished = false; // ran to its end within the time limit
        int exitCode = -1;
        QString lastLine; // the last non-empty output line, at most LastLineChars of its end
        QByteArray outputTail; // the last OutputTailBytes of standard output and error
        QString errorString; // why it did not finish
        QStringList ended; // "<pid> <name>" of the processes that had to be ended with it
    };

    static constexpr int OutputTailBytes = 64 * 1024;
    static constexpr int LastLineChars = 1024;

    HookRun(const QString &bash, int timeLimitMs, QObject *parent = nullptr);
    HookRun(const QString &bash, int timeLimitMs, const QString &setpriv, const QString &unshare,
        QObject *parent = nullptr);
    ~HookRun() override;

    // Runs |script| (an entry name inside |directoryPath|, a directory under the root-owned run
    // directory) with |homePath| as its one argument and |directoryPath| as working directory.
    // One script at a time: a start while one runs is refused with a warning.
    void start(const QString &directoryPath, const QString &script, const QString &homePath);
    // Ends the running script and everything it started; finished() follows.
    void kill();
    bool isRunning() const;

signals:
    void finished(const HookRun::Result &result);

private:
    void readOutput();
    void readReport();
    void endAtTimeLimit();
    void complete(int exitCode, bool normalExit);
    void startFailed();
    qint64 namespaceInit() const;

    QString m_bash;
    QString m_setpriv;
    QString m_unshare;
    int m_timeLimitMs;
    QProcess *m_process;
    QTimer *m_timer;
    QString m_script;
    QByteArray m_tail;
    QByteArray m_report;
    QString m_stopReason;
    bool m_killing = false;
    QStringList m_ended;
};

Q_DECLARE_METATYPE(HookRun::Result)
