#pragma once

#include "privatebus.h"

#include <QString>
#include <QTemporaryDir>

// A private system bus on which any user may own and call the update daemon's name (so that a
// test may stand in for the daemon without being root), and a private session bus. start()
// points this process's system and session bus at them; call it before anything in the
// process touches either bus.
class TestBuses
{
public:
    TestBuses();

    // Returns why a bus could not be started, or nothing.
    QString start();
    QString systemAddress() const { return m_system.address(); }
    QString sessionAddress() const { return m_session.address(); }

private:
    QTemporaryDir m_dir;
    PrivateBus m_system;
    PrivateBus m_session;
};
