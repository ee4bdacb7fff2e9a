#pragma once

#include <QObject>
#include <QString>

// Stand-in for the desktop's session manager. It never reboots: it only records that it was
// asked to, on standard output and, if given, in a file, so that a test or a person can see it.
class DevSessionManager : public QObject
{
    Q_OBJECT

public:
    static const QString ServiceName;
    static const QString ObjectPath;

    // |recordPath| gets one line "RequestReboot" appended per request; empty: no file.
    explicit DevSessionManager(const QString &recordPath, QObject *parent = nullptr);

public slots:
    // Called by the generated adaptor.
    void RequestReboot();

private:
    QString m_recordPath;
};
