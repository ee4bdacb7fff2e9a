#include "devwindowmanager.h"

#include "devserviceregistration.h"
#include "windowmanageradaptor.h"

#include <QFileInfo>

const QString DevWindowManager::ServiceName = QStringLiteral("com.tevrin.wm");
const QString DevWindowManager::ObjectPath = QStringLiteral("/com/tevrin/wm");

DevWindowManager::DevWindowManager(const QString &background, QObject *parent)
    : QObject(parent)
    , m_backgroundUrl(backgroundUrl(background))
{
    new WindowManagerAdaptor(this);
}

QString DevWindowManager::backgroundUrl(const QString &background)
{
    if (background.isEmpty() || background.contains(QLatin1String("://")))
        return background;
    return QStringLiteral("file://") + QFileInfo(background).absoluteFilePath();
}

QString DevWindowManager::GetCurrentWorkspaceBackground()
{
    reportLine(QStringLiteral("GetCurrentWorkspaceBackground -> ") + m_backgroundUrl);
    return m_backgroundUrl;
}
