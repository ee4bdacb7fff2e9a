#include "isoupdatemodule.h"

#include "frameproxyinterface.h"
#include "isoupdatemodel.h"
#include "isoupdatewidget.h"

ISOUpdateModule::ISOUpdateModule(FrameProxyInterface *frame, QObject *parent)
    : QObject(parent)
    , ModuleInterface(frame)
{ }

ISOUpdateModule::~ISOUpdateModule()
{
    deactive();
}

QString ISOUpdateModule::name() const
{
    return QStringLiteral("isoupdate");
}

void ISOUpdateModule::active(int pageIndex)
{
    Q_UNUSED(pageIndex)
    if (!m_model)
        m_model = new ISOUpdateModel(this);
    m_page = new ISOUpdateWidget(m_model);
    // The window shows the page once it sits there; shown before, it would flash up as a
    // window of its own.
    m_frameProxy->pushWidget(this, m_page);
}

void ISOUpdateModule::deactive()
{
    if (m_page) {
        m_page->deleteLater();
        m_page = nullptr;
    }
}
