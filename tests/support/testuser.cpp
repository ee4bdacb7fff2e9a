#include "testuser.h"

#include <QFile>
#include <QProcess>
#include <pwd.h>
#include <unistd.h>

namespace {

int runProgram(const QString &program, const QStringList &arguments, QByteArray *output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120000))
        return -1;
    if (output)
        *output = process.readAll();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace

TestUser::TestUser(const QString &name)
    : m_name(name)
{
    if (geteuid() != 0)
        return;
    if (!getpwnam(QFile::encodeName(name).constData()))
        runProgram(QStringLiteral("useradd"),
                   { QStringLiteral("--create-home"), QStringLiteral("--shell"),
                     QStringLiteral("/bin/bash"), name });
    if (const passwd *entry = getpwnam(QFile::encodeName(name).constData())) {
        m_uid = entry->pw_uid;
        m_gid = entry->pw_gid;
        m_home = QFile::decodeName(entry->pw_dir);
    }
}

TestUser::~TestUser()
{
    if (isValid())
        runProgram(QStringLiteral("userdel"), { QStringLiteral("--remove"), m_name });
}

QStringList TestUser::command(const QStringList &command) const
{
    return QStringList { QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(m_uid),
                         QStringLiteral("--regid=%1").arg(m_gid), QStringLiteral("--init-groups"),
                         QStringLiteral("--") }
           + command;
}

int TestUser::run(const QStringList &commandLine, QByteArray *output) const
{
    const QStringList full = command(commandLine);
    return runProgram(full.first(), full.mid(1), output);
}

bool TestUser::give(const QString &path) const
{
    return lchown(QFile::encodeName(path).constData(), m_uid, m_gid) == 0;
}
