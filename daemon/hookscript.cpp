#include "hookscript.h"

#include "filedescriptor.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Runs as PID 1 of the script's namespace, with the bash program as $0, the script as $1 and
// the home directory as $2: the paths are arguments, never part of this text. When the script
// has ended it names, on standard error, what the script left running, then ends it; the
// kernel would end it anyway with PID 1, but silently.
const char NamespaceInit[] = R"("$0" -- "$1" "$2" 2>&1
status=$?
for process in /proc/[0-9]*; do
    pid=${process#/proc/}
    [ "$pid" = 1 ] && continue
    { read -r name < "$process/comm"; } 2>/dev/null && printf '%s %s\n' "$pid" "$name" >&2
done
kill -KILL -1 2>/dev/null
exit $status
)";

constexpr int ReportBytes = 16 * 1024;
// How long a killed namespace may take to go before the run stops waiting for it.
constexpr int KillGraceMs = 5000;

void keepTail(QByteArray *buffer, const QByteArray &more, int limit)
{
    if (more.size() >= limit) {
        *buffer = more.right(limit);
        return;
    }
    buffer->append(more);
    if (buffer->size() > limit)
        buffer->remove(0, buffer->size() - limit);
}

QString lastNonEmptyLine(const QByteArray &tail)
{
    int end = tail.size();
    while (end > 0) {
        const int start = tail.lastIndexOf('\n', end - 1) + 1;
        QByteArray line = tail.mid(start, end - start);
        const int nul = line.indexOf('\0');
        if (nul >= 0)
            line.truncate(nul);
        const QString text = QString::fromLocal8Bit(line).trimmed();
        if (!text.isEmpty())
            return text.right(HookRun::LastLineChars);
        end = start - 1;
    }
    return QString();
}

QByteArray readSmallFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(4096) : QByteArray();
}

QByteArray namespaceOf(qint64 pid)
{
    char target[64];
    const QByteArray link = "/proc/" + QByteArray::number(pid) + "/ns/pid";
    const ssize_t length = readlink(link.constData(), target, sizeof target);
    return length > 0 ? QByteArray(target, int(length)) : QByteArray();
}

} // namespace

QStringList HookScript::entries(int directoryFd, Order order)
{
    QStringList names;
    const int listFd = fcntl(directoryFd, F_DUPFD_CLOEXEC, 0);
    DIR *list = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (!list) {
        if (listFd >= 0)
            close(listFd);
        return names;
    }
    // The duplicate shares the caller's read position.
    rewinddir(list);
    while (const dirent *entry = readdir(list)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat status = {};
            if (fstatat(directoryFd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) < 0)
                continue;
            type = S_ISREG(status.st_mode) ? DT_REG : S_ISDIR(status.st_mode) ? DT_DIR : DT_UNKNOWN;
        }
        if (type == DT_REG || type == DT_DIR)
            names << QFile::decodeName(entry->d_name);
    }
    closedir(list);
    if (order == NameOrder) {
        std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
            const int folded = a.compare(b, Qt::CaseInsensitive);
            return folded != 0 ? folded < 0 : a < b;
        });
    }
    return names;
}

QStringList HookScript::entries(int hooksFd, const QByteArray &name, Order order, bool *refused)
{
    *refused = false;
    const FileDescriptor directory(
        openat(hooksFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!directory.isValid()) {
        // ELOOP: a link; ENOTDIR: a file. Either way the package is not as it should be.
        *refused = errno == ELOOP || errno == ENOTDIR;
        return QStringList();
    }
    return entries(directory.get(), order);
}

HookRun::HookRun(const QString &bash, int timeLimitMs, QObject *parent)
    : HookRun(bash, timeLimitMs, QStringLiteral("setpriv"), QStringLiteral("unshare"), parent)
{ }

HookRun::HookRun(const QString &bash, int timeLimitMs, const QString &setpriv,
    const QString &unshare, QObject *parent)
    : QObject(parent)
    , m_bash(bash)
    , m_setpriv(setpriv)
    , m_unshare(unshare)
    , m_timeLimitMs(timeLimitMs)
    , m_process(new QProcess(this))
    , m_timer(new QTimer(this))
{
    qRegisterMetaType<HookRun::Result>();
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &HookRun::endAtTimeLimit);
    connect(m_process, &QProcess::readyReadStandardOutput, this, &HookRun::readOutput);
    connect(m_process, &QProcess::readyReadStandardError, this, &HookRun::readReport);
    connect(m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
        [this](int exitCode, QProcess::ExitStatus status) {
            complete(exitCode, status == QProcess::NormalExit);
        });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            startFailed();
    });
}

HookRun::~HookRun()
{
    // The namespace goes with its first process; that one must not outlive the run.
    if (isRunning()) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(KillGraceMs);
    }
}

bool HookRun::isRunning() const
{
    return m_process->state() != QProcess::NotRunning;
}

void HookRun::start(const QString &directoryPath, const QString &script, const QString &homePath)
{
    if (isRunning()) {
        qWarning() << Q_FUNC_INFO << "refusing to start" << script << "while" << m_script
                   << "still runs";
        return;
    }
    m_script = directoryPath + QLatin1Char('/') + script;
    m_tail.clear();
    m_report.clear();
    m_stopReason.clear();
    m_killing = false;
    m_ended.clear();
    m_process->setWorkingDirectory(directoryPath);
    // setpriv: the parent-death signal takes the namespace down with a daemon that dies.
    // unshare: --kill-child passes that on to the namespace's first process, and with it
    // every process in the namespace ends.
    m_process->start(m_setpriv,
        { QStringLiteral("--pdeathsig"), QStringLiteral("KILL"), QStringLiteral("--"), m_unshare,
            QStringLiteral("--pid"), QStringLiteral("--fork"), QStringLiteral("--kill-child"),
            QStringLiteral("--mount-proc"), QStringLiteral("--"), m_bash, QStringLiteral("-c"),
            QLatin1String(NamespaceInit), m_bash, m_script, homePath });
    // A script that reads its standard input gets an end of file, not a wait for its time limit.
    m_process->closeWriteChannel();
    if (m_timeLimitMs >= 0)
        m_timer->start(m_timeLimitMs);
}

void HookRun::kill()
{
    if (!isRunning())
        return;
    if (m_killing) {
        // Asked again, or the namespace did not go within the grace time.
        m_process->kill();
        return;
    }
    m_killing = true;
    if (m_stopReason.isEmpty())
        m_stopReason = QStringLiteral("the script was stopped");

    // Killing the namespace's first process (not the unshare above it) means that by the time
    // the run reports its end the kernel has ended and reaped everything inside.
    const qint64 init = namespaceInit();
    if (init > 0) {
        const QByteArray ns = namespaceOf(init);
        QDir proc(QStringLiteral("/proc"));
        for (const QString &entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            bool isPid = false;
            const qint64 pid = entry.toLongLong(&isPid);
            if (!isPid || pid == init || ns.isEmpty() || namespaceOf(pid) != ns)
                continue;
            const QByteArray name = readSmallFile(QStringLiteral("/proc/%1/comm").arg(pid));
            m_ended << QStringLiteral("%1 %2").arg(pid).arg(QString::fromLocal8Bit(name).trimmed());
        }
        m_ended << QStringLiteral("%1 %2").arg(init).arg(QFileInfo(m_bash).fileName());
        ::kill(pid_t(init), SIGKILL);
        m_timer->start(KillGraceMs);
    } else {
        m_process->kill();
    }
}

void HookRun::endAtTimeLimit()
{
    if (!m_killing)
        m_stopReason = QStringLiteral("the script ran longer than %1 ms").arg(m_timeLimitMs);
    kill();
}

qint64 HookRun::namespaceInit() const
{
    const qint64 pid = m_process->processId();
    if (pid <= 0)
        return 0;
    const QByteArray children
        = readSmallFile(QStringLiteral("/proc/%1/task/%1/children").arg(pid)).trimmed();
    return children.split(' ').value(0).toLongLong();
}

void HookRun::readOutput()
{
    keepTail(&m_tail, m_process->readAllStandardOutput(), OutputTailBytes);
}

void HookRun::readReport()
{
    keepTail(&m_report, m_process->readAllStandardError(), ReportBytes);
}

void HookRun::complete(int exitCode, bool normalExit)
{
    m_timer->stop();
    readOutput();
    readReport();
    // The namespace's first process reports "<pid> <name>" lines; anything else on that
    // channel (unshare's own complaints when killed) is not a process.
    static const QRegularExpression processLine(QStringLiteral(R"(\A[0-9]+ \S.*\z)"));
    QString complaint;
    for (const QByteArray &line : m_report.split('\n')) {
        const QString text = QString::fromLocal8Bit(line).trimmed();
        if (processLine.match(text).hasMatch())
            m_ended << text;
        else if (!text.isEmpty())
            qWarning() << Q_FUNC_INFO << m_script << (complaint = text);
    }

    Result result;
    result.finished = normalExit && m_stopReason.isEmpty();
    result.exitCode = result.finished ? exitCode : -1;
    result.outputTail = m_tail;
    result.lastLine = lastNonEmptyLine(m_tail);
    // A script that never got to run (no namespace for it) says nothing; the tools did.
    if (result.lastLine.isEmpty())
        result.lastLine = complaint.right(LastLineChars);
    result.ended = m_ended;
    if (!result.finished)
        result.errorString = m_stopReason.isEmpty() ? m_process->errorString() : m_stopReason;
    if (!m_ended.isEmpty())
        qWarning() << Q_FUNC_INFO << "ended what" << m_script << "left running:" << m_ended;
    emit finished(result);
}

void HookRun::startFailed()
{
    m_timer->stop();
    Result result;
    result.errorString = m_process->errorString();
    emit finished(result);
}
