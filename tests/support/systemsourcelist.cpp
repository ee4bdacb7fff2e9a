#include "systemsourcelist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

SystemSourceList::SystemSourceList()
{
    const QString path = QString::fromLatin1(Path);
    QFile existing(path);
    m_hadList = existing.open(QIODevice::ReadOnly);
    if (m_hadList)
        m_saved = existing.readAll();
    existing.close();

    QFile placeholder(qEnvironmentVariable("TEVRIN_SOURCE_DIR") + QStringLiteral("/data/update.list"));
    QFile list(path);
    m_valid = QDir().mkpath(QFileInfo(path).path()) && placeholder.open(QIODevice::ReadOnly)
              && list.open(QIODevice::WriteOnly | QIODevice::Truncate)
              && list.write(placeholder.readAll()) > 0;
}

SystemSourceList::~SystemSourceList()
{
    const QString path = QString::fromLatin1(Path);
    if (!m_hadList) {
        QFile::remove(path);
        return;
    }
    QFile list(path);
    if (list.open(QIODevice::WriteOnly | QIODevice::Truncate))
        list.write(m_saved);
}

QByteArray SystemSourceList::read() const
{
    QFile list(QString::fromLatin1(Path));
    return list.open(QIODevice::ReadOnly) ? list.readAll() : QByteArray();
}
