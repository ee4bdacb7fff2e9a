#pragma once

class ModuleInterface;
class QWidget;

// What the main window offers its modules (and itself) for showing pages.
class FrameProxyInterface
{
public:
    virtual ~FrameProxyInterface() = default;

    // Shows |widget| in the page area as |inter|'s current page; the window becomes its parent.
    virtual void pushWidget(ModuleInterface *inter, QWidget *widget) = 0;
    virtual void setCurrentModule(int moduleIndex, int pageIndex) = 0;
    // The module of the page on top, or null when no page is shown.
    virtual ModuleInterface *currentModule() = 0;
};
