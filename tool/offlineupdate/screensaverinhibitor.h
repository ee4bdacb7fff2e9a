#pragma once

#include <QDBusConnection>
#include <QObject>

// Holds off screen blanking and locking through the desktop's screen saver service for as long
// as it is inhibiting. Nothing waits for the bus: the cookie arrives later, and a release that
// comes first is carried out when it does.
class ScreenSaverInhibitor : public QObject
{
    Q_OBJECT

public:
    explicit ScreenSaverInhibitor(const QDBusConnection &sessionBus, QObject *parent = nullptr);
    ~ScreenSaverInhibitor() override;

    void inhibit(const QString &reason);
    void release();

signals:
    // No screen saver service took the request: the caller has to keep the session awake
    // some other way.
    void unavailable();

private:
    void uninhibit();

    QDBusConnection m_bus;
    bool m_wanted = false;
    bool m_pending = false;
    uint m_cookie = 0;
    bool m_held = false;
};
