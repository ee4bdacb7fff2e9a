#include "fakeframe.h"

void FakeFrame::pushWidget(ModuleInterface *inter, QWidget *widget)
{
    widget->setParent(&m_pageArea);
    widget->show();
    m_pushes.append({ inter, widget });
}

void FakeFrame::setCurrentModule(int moduleIndex, int pageIndex)
{
    Q_UNUSED(moduleIndex)
    Q_UNUSED(pageIndex)
}

ModuleInterface *FakeFrame::currentModule()
{
    return m_pushes.isEmpty() ? nullptr : m_pushes.last().module;
}
