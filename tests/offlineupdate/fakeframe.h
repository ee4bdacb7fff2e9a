#pragma once

#include "frameproxyinterface.h"

#include <QList>
#include <QPointer>
#include <QWidget>

// The main window as a module sees it: a page area that takes over every pushed page and
// remembers the order of the pushes.
class FakeFrame : public FrameProxyInterface
{
public:
    struct Push
    {
        ModuleInterface *module;
        QPointer<QWidget> page;
    };

    void pushWidget(ModuleInterface *inter, QWidget *widget) override;
    void setCurrentModule(int moduleIndex, int pageIndex) override;
    ModuleInterface *currentModule() override;

    QList<Push> pushes() const { return m_pushes; }
    QWidget *pageArea() { return &m_pageArea; }

private:
    QWidget m_pageArea;
    QList<Push> m_pushes;
};
