#pragma once

#include <QDBusConnection>
#include <QObject>

class MainWindow;
class ToolAdaptor;

// The tool's name on the session bus: it keeps the tool to one instance per session and lets
// other desktop programs bring the window forward, switch its module or end it. Every method
// acts on the main window, which is this object's parent.
class GarrolanDBusService : public QObject
{
    Q_OBJECT

public:
    static const QString ServiceName;
    static const QString ObjectPath;

    explicit GarrolanDBusService(const QDBusConnection &bus, QObject *parent = nullptr);

    // False when the name or the object could not be registered: another instance owns the
    // name, or there is no session bus. The caller is expected to end the process.
    bool isRegistered() const { return m_registered; }

public slots:
    void Show();
    void ShowModule(const QString &module);
    void ShowPage(const QString &module, const QString &page);
    void ExitApp();
    void OpenFile(const QString &path);
    // The parent as the main window; null when the parent is anything else.
    MainWindow *parent() const;

private:
    ToolAdaptor *m_adaptor = nullptr;
    QDBusConnection m_bus;
    bool m_registered = false;
};
