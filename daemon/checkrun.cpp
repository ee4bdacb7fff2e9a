#include "checkrun.h"

CheckRun::CheckRun(const CallerIdentity &caller, const QString &busName)
    : m_caller(caller)
    , m_busName(busName)
{ }

CheckRun::~CheckRun()
{
    release();
}

void CheckRun::release()
{
    m_packageRoot.reset();
    m_directory.unmountAll();
    // The loop devices let go of the copy with their mounts; then its blocks are free.
    m_copy.reset();
}
