#include "systemupdatemodule.h"

#include "frameproxyinterface.h"
#include "systemupdatemodel.h"
#include "systemupdatewidget.h"

SystemUpdateModule::SystemUpdateModule(FrameProxyInterface *frame, QObject *parent)
    : QObject(parent)
    , ModuleInterface(frame)
{ }

SystemUpdateModule::~SystemUpdateModule()
{
    deactive();
}

QString SystemUpdateModule::name() const
{
    return QStringLiteral("systemupdate");
}

void SystemUpdateModule::active(int pageIndex)
{
    Q_UNUSED(pageIndex)
    if (!m_model)
        m_model = new SystemUpdateModel(this);
    m_page = new SystemUpdateWidget(m_model);
    // The window shows the page once it sits there; shown before, it would flash up as a
    // window of its own.
    m_frameProxy->pushWidget(this, m_page);
}

void SystemUpdateModule::deactive()
{
    if (m_page) {
        m_page->deleteLater();
        m_page = nullptr;
    }
}
