#include "privateaptsource.h"

#include "aptsource.h"
#include "checkenvironment.h"
#include "filedescriptor.h"
#include "safetree.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <fcntl.h>

bool PrivateAptSource::write(const CheckEnvironment &environment, const QString &line, QString *error)
{
    QFile current(environment.sourceList);
    QString text = AptSource::placeholderLine() + QLatin1Char('\n');
    if (current.exists()) {
        if (!current.open(QIODevice::ReadOnly)) {
            *error = current.errorString();
            return false;
        }
        text = QString::fromUtf8(current.readAll());
        current.close();
    }
    bool replaced = false;
    text = AptSource::pointAt(text, line, &replaced);
    if (!replaced)
        text += (text.isEmpty() || text.endsWith(QLatin1Char('\n')) ? QString()
                                                                    : QStringLiteral("\n"))
            + line + QLatin1Char('\n');

    QDir().mkpath(QFileInfo(environment.sourceList).path());
    QSaveFile list(environment.sourceList);
    const QByteArray bytes = text.toUtf8();
    if (!list.open(QIODevice::WriteOnly) || list.write(bytes) != bytes.size()
        || !list.setPermissions(
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther)
        || !list.commit()) {
        *error = list.errorString();
        return false;
    }
    return true;
}

bool PrivateAptSource::clearLists(const CheckEnvironment &environment, QString *error)
{
    // "partial" must exist for apt to fetch into a lists directory outside its own state
    // directory.
    const QString lists = QDir::cleanPath(environment.listsDirectory);
    const QFileInfo info(lists);
    const FileDescriptor parent(
        ::open(QFile::encodeName(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.isValid()
        && !SafeTree::removeTree(parent.get(), QFile::encodeName(info.fileName()), error))
        return false;
    if (!QDir().mkpath(lists + QStringLiteral("/partial"))) {
        *error = QStringLiteral("cannot make %1/partial").arg(lists);
        return false;
    }
    return true;
}

QString PrivateAptSource::lineFor(const QString &repository, const QString &signedBy)
{
    QStringList components;
    const QFileInfoList pool = QDir(repository + QStringLiteral("/pool"))
                                   .entryInfoList(QDir::Dirs | QDir::Hidden | QDir::NoSymLinks
                                           | QDir::NoDotAndDotDot,
                                       QDir::Unsorted);
    for (const QFileInfo &component : pool) {
        if (AptSource::validComponent(component.fileName()))
            components << component.fileName();
        else
            qWarning() << "PrivateAptSource: skipping the component"
                       << component.fileName().left(256);
    }
    return AptSource::sourceLine(AptSource::repositoryUri(repository), components, signedBy);
}

QStringList PrivateAptSource::arguments(
    const CheckEnvironment &environment, const QStringList &command)
{
    // The repository lies in a directory only root may enter: apt's unprivileged download
    // user could not read it.
    return QStringList { QStringLiteral("-o"),
        QStringLiteral("Dir::Etc::sourcelist=") + environment.sourceList, QStringLiteral("-o"),
        QStringLiteral("Dir::State::lists=") + environment.listsDirectory, QStringLiteral("-o"),
        QStringLiteral("Dir::Etc::sourceparts=/dev/null"), QStringLiteral("-o"),
        QStringLiteral("APT::Sandbox::User=root") }
    + command;
}
