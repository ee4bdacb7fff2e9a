#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QMap>
#include <QObject>

class QSocketNotifier;

// Stand-in for the machine's login manager: hands out inhibitor locks and takes reboot
// requests. Every lock is the write end of a pipe whose read end it watches, so it sees the
// moment the holder closes the lock or dies. Each event becomes one line, with the time, in
// the record file (and on standard output), so that a test or a demo can tell whether shutdown
// was held off while something ran.
class DevLogind : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    static const QString ServiceName;
    static const QString ObjectPath;

    // |recordPath| empty: events go to standard output only.
    explicit DevLogind(const QString &recordPath, QObject *parent = nullptr);
    ~DevLogind() override;

    bool open(QString *error);
    // Exports the object, then takes the name; fails when the name has an owner already.
    bool registerOn(QDBusConnection connection, QString *error);

    // Called by the generated adaptor.
    QDBusUnixFileDescriptor Inhibit(
        const QString &what, const QString &who, const QString &why, const QString &mode);
    void Reboot(bool interactive);

private:
    void onLockReadable(int id);
    QString caller() const;
    void record(const QString &line);

    QFile m_record;
    int m_nextId = 1;
    QMap<int, QSocketNotifier *> m_locks; // id -> watcher of the read end
};
