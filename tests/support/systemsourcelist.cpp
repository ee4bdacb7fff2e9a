#include "systemsourcelist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

SystemSourceList::SystemSourceList()
    : m_hadList(QFileInfo::exists(QLatin1String(Path)))
    , m_saved(read())
{
    QFile placeholder(
        qEnvironmentVariable("TEVRIN_SOURCE_DIR") + QStringLiteral("/data/update.list"));
    QFile list { QLatin1String(Path) };
    m_valid = QDir().mkpath(QFileInfo(list).path()) && placeholder.open(QIODevice::ReadOnly)
        && list.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && list.write(placeholder.readAll()) > 0;
}

SystemSourceList::~SystemSourceList()
{
    QFile list { QLatin1String(Path) };
    if (!m_hadList)
        list.remove();
    else if (list.open(QIODevice::WriteOnly | QIODevice::Truncate))
        list.write(m_saved);
}

QByteArray SystemSourceList::read() const
{
    QFile list { QLatin1String(Path) };
    return list.open(QIODevice::ReadOnly) ? list.readAll() : QByteArray();
}
