#pragma once

#include <QByteArray>

// The daemon always works with the machine's private source list. A test that runs the real
// daemon puts the installed placeholder there and gives back what was there before.
class SystemSourceList
{
public:
    static constexpr const char *Path = "/etc/tevrin-offline-update/update.list";

    SystemSourceList();
    ~SystemSourceList();

    SystemSourceList(const SystemSourceList &) = delete;
    SystemSourceList &operator=(const SystemSourceList &) = delete;

    bool isValid() const { return m_valid; }
    QByteArray read() const;

private:
    bool m_valid = false;
    bool m_hadList = false;
    QByteArray m_saved;
};
