#include "testuser.h"

#include "childprocess.h"

#include <QFile>
#include <pwd.h>
#include <unistd.h>

TestUser::TestUser(const QString &name)
    : m_name(name)
{
    if (geteuid() != 0)
        return;
    if (!getpwnam(QFile::encodeName(name).constData()))
        ChildProcess::run({ QStringLiteral("useradd"), QStringLiteral("--create-home"),
            QStringLiteral("--shell"), QStringLiteral("/bin/bash"), name });
    if (const passwd *entry = getpwnam(QFile::encodeName(name).constData())) {
        m_uid = entry->pw_uid;
        m_gid = entry->pw_gid;
        m_home = QFile::decodeName(entry->pw_dir);
    }
}

TestUser::~TestUser()
{
    if (isValid())
        ChildProcess::run({ QStringLiteral("userdel"), QStringLiteral("--remove"), m_name });
}

QStringList TestUser::command(const QStringList &command) const
{
    return QStringList { QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(m_uid),
        QStringLiteral("--regid=%1").arg(m_gid), QStringLiteral("--init-groups"),
        QStringLiteral("--") }
    + command;
}
