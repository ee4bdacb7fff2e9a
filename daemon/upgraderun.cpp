#include "upgraderun.h"

#include "commandoutput.h"

#include <QDebug>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTextCodec>
#include <QTextDecoder>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int StatusFd = 3;
constexpr int MaxStatusLine = 64 * 1024;

// apt writes its machine-readable progress to a descriptor number named on its command line.
// QProcess has no way to hand a child more than the three standard channels, so the write end
// of a pipe is put on descriptor 3 between fork and exec. This needs no shell and no wrapper
// program, and the pipe stays close-on-exec in the daemon: no other child (a hook, a mount)
// inherits it and keeps it open, and apt's own children get it only if apt passes it on.
class StatusDescriptorProcess : public QProcess
{
public:
    StatusDescriptorProcess(int statusFd, QObject *parent)
        : QProcess(parent)
        , m_statusFd(statusFd)
    { }

protected:
    // Runs in the child after fork: only async-signal-safe calls.
    void setupChildProcess() override
    {
        if (m_statusFd == StatusFd)
            ::fcntl(StatusFd, F_SETFD, 0); // dup2 onto itself would leave close-on-exec set
        else
            ::dup2(m_statusFd, StatusFd);
    }

private:
    const int m_statusFd;
};

QString adminDirectoryOption(const CheckEnvironment &environment)
{
    return QStringLiteral("--admindir=") + environment.dpkgAdminDirectory;
}

// dpkg journals every change in updates/ before it makes it, and empties the directory when the
// change is complete; entries left there mean a dpkg run ended half-way.
bool journalHasEntries(const CheckEnvironment &environment)
{
    const QDir updates(environment.dpkgAdminDirectory + QStringLiteral("/updates"));
    return !updates.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                .isEmpty();
}

} // namespace

UpgradeRun::UpgradeRun(const CheckEnvironment &environment, QObject *parent)
    : QObject(parent)
    , m_environment(environment)
{
    m_progressTimer.setSingleShot(true);
    connect(&m_progressTimer, &QTimer::timeout, this, &UpgradeRun::emitDueProgress);
}

UpgradeRun::~UpgradeRun()
{
    closeStatusPipe();
}

bool UpgradeRun::isRunning() const
{
    return m_step != Step::Idle;
}

bool UpgradeRun::dpkgJournalHasEntries(const CheckEnvironment &environment)
{
    return journalHasEntries(environment);
}

QStringList UpgradeRun::auditArguments(const CheckEnvironment &environment)
{
    return { adminDirectoryOption(environment), QStringLiteral("--audit") };
}

bool UpgradeRun::dpkgInterrupted(const CheckEnvironment &environment)
{
    return !CommandOutput::run(environment.dpkg, auditArguments(environment)).isEmpty()
        || journalHasEntries(environment);
}

void UpgradeRun::start(int fromStage)
{
    if (isRunning())
        return;
    m_step = Step::Audit;
    m_progress = AptStatusProgress(fromStage);
    m_clock.start();
    m_ending = false;
    m_repairFailed = false;
    m_killed = false;
    m_failedScript.clear();
    m_lastLine.clear();
    m_partialLine.clear();
    // A fresh decoder per run: a character split between two reads arrives whole, and nothing
    // of an earlier run's output is carried over.
    m_decoder.reset(QTextCodec::codecForName("UTF-8")->makeDecoder());
    // The first process starts from the event loop, so that even a failure to start reaches
    // the caller after start() has returned, never from inside it.
    QTimer::singleShot(0, this, &UpgradeRun::startAudit);
}

void UpgradeRun::startAudit()
{
    m_auditOutput.clear();
    startStep(Step::Audit, new QProcess(this), m_environment.dpkg, auditArguments(m_environment));
}

void UpgradeRun::afterAudit()
{
    const bool failed
        = m_process->exitStatus() != QProcess::NormalExit || m_process->exitCode() != 0;
    const bool interrupted = !m_auditOutput.trimmed().isEmpty() || journalHasEntries(m_environment);
    if (failed || interrupted)
        qWarning() << Q_FUNC_INFO << "dpkg --audit" << describeEnd(QStringLiteral("dpkg"))
                   << QString::fromUtf8(m_auditOutput).trimmed();
    if (interrupted)
        startRepair();
    else
        startUpgrade();
}

void UpgradeRun::readStatusLine(const QByteArray &line)
{
    m_progress.readLine(line);
    // "pmstatus:name[:arch]:percent:text": the package apt works on, by name alone.
    const QList<QByteArray> fields = line.split(':');
    if (fields.size() >= 4 && fields.first() == "pmstatus" && !fields.at(1).isEmpty()) {
        const QString package = QString::fromUtf8(fields.at(1));
        if (package != m_package) {
            m_package = package;
            emit workingOn(package);
        }
    }
}

void UpgradeRun::startRepair()
{
    emit stepStarted(true);
    qWarning() << Q_FUNC_INFO << "dpkg was interrupted; configuring what it left unfinished";
    startStep(Step::Repair, new QProcess(this), m_environment.dpkg,
        { adminDirectoryOption(m_environment), QStringLiteral("--force-confnew"),
            QStringLiteral("--configure"), QStringLiteral("-a") });
}

void UpgradeRun::startUpgrade()
{
    emit stepStarted(false);
    m_package.clear();
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        end(false,
            QStringLiteral("cannot make a pipe for apt's status: ") + qt_error_string(errno));
        return;
    }
    m_statusRead = pipeFds[0];
    m_statusWrite = pipeFds[1];
    // apt blocks on a full pipe otherwise; the read end alone is non-blocking.
    ::fcntl(m_statusWrite, F_SETFL, ::fcntl(m_statusWrite, F_GETFL) & ~O_NONBLOCK);
    m_statusLine.clear();
    m_statusNotifier = std::make_unique<QSocketNotifier>(m_statusRead, QSocketNotifier::Read);
    connect(
        m_statusNotifier.get(), &QSocketNotifier::activated, this, &UpgradeRun::onStatusReadable);

    startStep(Step::Upgrade, new StatusDescriptorProcess(m_statusWrite, this), m_environment.apt,
        { QStringLiteral("-y"), QStringLiteral("-o"),
            QStringLiteral("Dpkg::Options::=--force-confnew"), QStringLiteral("-o"),
            QStringLiteral("APT::Sandbox::User=root"), QStringLiteral("-o"),
            QStringLiteral("Dir::Etc::sourcelist=") + m_environment.sourceList,
            QStringLiteral("-o"),
            QStringLiteral("Dir::State::lists=") + m_environment.listsDirectory,
            QStringLiteral("-o"), QStringLiteral("Dir::Etc::sourceparts=/dev/null"),
            QStringLiteral("-o"), QStringLiteral("APT::Status-Fd=%1").arg(StatusFd),
            QStringLiteral("dist-upgrade") });
    // The child has its copy now; ours would keep the pipe from ever reporting its end.
    if (m_statusWrite >= 0) {
        ::close(m_statusWrite);
        m_statusWrite = -1;
    }
}

void UpgradeRun::startStep(
    Step step, QProcess *process, const QString &program, const QStringList &arguments)
{
    if (m_process)
        m_process->deleteLater();
    m_process = process;
    m_step = step;

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Nobody is there to answer a question: no configuration prompt may wait for one.
    environment.insert(QStringLiteral("DEBIAN_FRONTEND"), QStringLiteral("noninteractive"));
    environment.insert(QStringLiteral("DEBCONF_NONINTERACTIVE_SEEN"), QStringLiteral("true"));
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::MergedChannels);
    // Standard input reads as ended: a prompt that slips through gets end-of-file at once
    // instead of waiting for ever.
    process->setStandardInputFile(QProcess::nullDevice());
    connect(process, &QProcess::readyReadStandardOutput, this, &UpgradeRun::onProcessOutput);
    connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
        &UpgradeRun::onProcessFinished);
    connect(process, &QProcess::errorOccurred, this, &UpgradeRun::onProcessError);
    qInfo() << Q_FUNC_INFO << program << arguments;
    process->start(program, arguments, QIODevice::ReadOnly);
}

void UpgradeRun::onProcessOutput()
{
    QProcess *process = qobject_cast<QProcess *>(sender());
    if (!process || process != m_process)
        return;
    QByteArray chunk = process->readAllStandardOutput();
    if (m_step == Step::Audit) {
        m_auditOutput += chunk;
        return;
    }
    chunk.replace('\0', QByteArray());
    const QString text = m_decoder->toUnicode(chunk);
    if (text.isEmpty())
        return;
    m_partialLine += text;
    const QStringList lines = m_partialLine.split(QLatin1Char('\n'));
    static const QRegularExpression failedScript(
        QStringLiteral("^dpkg: error processing package ([a-z0-9][a-z0-9+.-]+)(?::\\S+)? "));
    for (int i = 0; i < lines.size() - 1; ++i) {
        const QRegularExpressionMatch match = failedScript.match(lines.at(i));
        if (match.hasMatch() && m_failedScript.isEmpty())
            m_failedScript = match.captured(1);
    }
    for (int i = lines.size() - 2; i >= 0; --i) {
        if (!lines.at(i).trimmed().isEmpty()) {
            m_lastLine = lines.at(i).trimmed().left(4096);
            break;
        }
    }
    m_partialLine = lines.last().right(4096);
    emit output(text);
}

void UpgradeRun::onProcessError()
{
    QProcess *process = qobject_cast<QProcess *>(sender());
    // A crash is reported by finished() too; only a start failure comes without it.
    if (!process || process != m_process || process->error() != QProcess::FailedToStart)
        return;
    const QString program = process->program();
    if (m_step == Step::Audit) {
        qWarning() << Q_FUNC_INFO << "cannot run" << program
                   << "to audit dpkg:" << process->errorString();
        startUpgrade();
        return;
    }
    if (m_step == Step::Upgrade)
        onStatusReadable();
    end(false, QStringLiteral("cannot start %1: %2").arg(program, process->errorString()));
}

void UpgradeRun::onProcessFinished()
{
    QProcess *process = qobject_cast<QProcess *>(sender());
    if (!process || process != m_process)
        return;
    if (process->bytesAvailable() > 0)
        onProcessOutput();
    const bool success = process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
    switch (m_step) {
    case Step::Audit:
        afterAudit();
        break;
    case Step::Repair:
        m_repairFailed = !success;
        if (success)
            startUpgrade();
        else
            end(false,
                QStringLiteral("repairing the interrupted dpkg failed: ")
                    + describeEnd(QStringLiteral("dpkg --configure -a")));
        break;
    case Step::Upgrade:
        onStatusReadable();
        closeStatusPipe();
        m_killed = process->exitStatus() != QProcess::NormalExit;
        end(success, describeEnd(QStringLiteral("apt dist-upgrade")));
        break;
    case Step::Idle:
        break;
    }
}

QString UpgradeRun::describeEnd(const QString &what) const
{
    if (m_process->exitStatus() != QProcess::NormalExit)
        return QStringLiteral("%1 was killed by a signal").arg(what);
    return QStringLiteral("%1 exited with code %2").arg(what).arg(m_process->exitCode());
}

void UpgradeRun::onStatusReadable()
{
    if (m_statusRead < 0)
        return;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(m_statusRead, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            break; // EAGAIN: everything written so far has been read
        if (count == 0) {
            // Every writer has gone; a line without its newline is still a whole line.
            readStatusLine(m_statusLine);
            m_statusLine.clear();
            closeStatusPipe();
            break;
        }
        m_statusLine.append(buffer, int(count));
        int newline;
        while ((newline = m_statusLine.indexOf('\n')) >= 0) {
            readStatusLine(m_statusLine.left(newline));
            m_statusLine.remove(0, newline + 1);
        }
        if (m_statusLine.size() > MaxStatusLine)
            m_statusLine.clear(); // not a status line; nothing of it is worth keeping
    }
    emitDueProgress();
}

void UpgradeRun::emitDueProgress()
{
    const qint64 now = m_clock.elapsed();
    const int value = m_progress.take(now);
    if (value >= 0)
        emit progress(value);
    const int delay = m_progress.pendingDelay(now);
    if (delay >= 0) {
        if (!m_progressTimer.isActive())
            m_progressTimer.start(delay);
    } else if (m_ending) {
        finish();
    }
}

void UpgradeRun::closeStatusPipe()
{
    m_statusNotifier.reset();
    for (int *fd : { &m_statusRead, &m_statusWrite }) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void UpgradeRun::end(bool success, const QString &why)
{
    closeStatusPipe();
    m_ending = true;
    m_endSuccess = success;
    m_endWhy = why;
    // A value the rate limit still holds back goes out first: the clients must not see the
    // final pair before the last step of the run.
    emitDueProgress();
}

void UpgradeRun::finish()
{
    m_ending = false;
    m_step = Step::Idle;
    if (m_endSuccess)
        qInfo() << Q_FUNC_INFO << m_endWhy;
    else
        qWarning() << Q_FUNC_INFO << m_endWhy;
    emit finished(m_endSuccess, m_endWhy);
}
