#include "placeholdermodule.h"

#include "blankpage.h"
#include "frameproxyinterface.h"

PlaceholderModule::PlaceholderModule(
    const QString &name, FrameProxyInterface *frame, QObject *parent)
    : QObject(parent)
    , ModuleInterface(frame)
    , m_name(name)
{ }

PlaceholderModule::~PlaceholderModule()
{
    deactive();
}

QString PlaceholderModule::name() const
{
    return m_name;
}

void PlaceholderModule::active(int pageIndex)
{
    Q_UNUSED(pageIndex)
    m_page = new BlankPage;
    // The window shows the page once it sits there; shown before, it would flash up as a
    // window of its own.
    m_frameProxy->pushWidget(this, m_page);
}

void PlaceholderModule::deactive()
{
    if (m_page) {
        m_page->deleteLater();
        m_page = nullptr;
    }
}
