#pragma once

#include "childprocess.h"

#include <QDBusConnection>

// The machine's own authority daemon, run on a test's private system bus with the project's
// actions installed and a rules file that lets the test users in and keeps one out.
class SystemAuthority
{
public:
    static constexpr const char *DeniedUser = "tevrint-denied";

    SystemAuthority();
    ~SystemAuthority();

    SystemAuthority(const SystemAuthority &) = delete;
    SystemAuthority &operator=(const SystemAuthority &) = delete;

    static bool isAvailable();
    static QString busPolicyFile();

    // Starts the authority on the bus the process's DBUS_SYSTEM_BUS_ADDRESS names.
    bool start(const QDBusConnection &bus, QString *error);

private:
    ChildProcess m_process;
    bool m_installedActions = false;
    bool m_wroteRules = false;
};
