#include "garrolandbusservice.h"

#include "mainwindow.h"
#include "offlineupdateprotocol.h"
#include "tooladaptor.h"

#include <QCoreApplication>
#include <QDebug>

const QString GarrolanDBusService::ServiceName = OfflineUpdate::ToolService;
const QString GarrolanDBusService::ObjectPath = OfflineUpdate::ToolPath;

GarrolanDBusService::GarrolanDBusService(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
    m_adaptor = new ToolAdaptor(this);
    m_registered = m_bus.registerService(ServiceName)
        && m_bus.registerObject(ObjectPath, this, QDBusConnection::ExportAdaptors);
    if (!m_registered)
        qDebug() << "dbus service already registered! " << ServiceName;
}

MainWindow *GarrolanDBusService::parent() const
{
    return qobject_cast<MainWindow *>(QObject::parent());
}

void GarrolanDBusService::Show()
{
    MainWindow *window = parent();
    if (!window)
        return;
    window->raise();
    if (!window->isMinimized() && window->isVisible()) {
        window->activateWindow();
    } else {
        window->showNormal();
        window->activateWindow();
    }
}

void GarrolanDBusService::ShowModule(const QString &module)
{
    ShowPage(module, QString());
    Show();
}

void GarrolanDBusService::ShowPage(const QString &module, const QString &page)
{
    MainWindow *window = parent();
    if (!window)
        return;
    // Switching modules would drop the page that follows the upgrade to its end.
    if (window->upgradeUnderWay())
        return;
    if (window->getModuleCount() == 0)
        window->initAllModule();
    window->showModulePage(module, page);
}

void GarrolanDBusService::ExitApp()
{
    QCoreApplication::quit();
}

void GarrolanDBusService::OpenFile(const QString &path)
{
    MainWindow *window = parent();
    if (!window)
        return;
    Show();
    window->openOfflineUpdateFile(path);
}
