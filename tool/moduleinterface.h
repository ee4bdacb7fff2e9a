#pragma once

#include <QString>

class FrameProxyInterface;

// One entry of the main window's module list: it owns the pages of one task and pushes them
// into the window through the frame proxy.
class ModuleInterface
{
public:
    explicit ModuleInterface(FrameProxyInterface *frame) : m_frameProxy(frame) {}
    virtual ~ModuleInterface() = default;

    virtual void preInitialize() {}
    virtual QString name() const = 0;
    // Builds the module's first page and pushes it; the page index is not used yet.
    virtual void active(int pageIndex) = 0;
    // Disposes of every page the module holds.
    virtual void deactive() = 0;

protected:
    FrameProxyInterface *m_frameProxy;
};
