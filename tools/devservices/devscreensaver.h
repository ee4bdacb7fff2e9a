#pragma once

#include <QObject>
#include <QString>

// Stand-in for the desktop's screen saver service. It blanks nothing: it records every
// inhibition and its end, on standard output and, if given, in a file.
class DevScreenSaver : public QObject
{
    Q_OBJECT

public:
    static const QString ServiceName;
    static const QString ObjectPath;

    // |recordPath| gets one line per call appended; empty: no file.
    explicit DevScreenSaver(const QString &recordPath, QObject *parent = nullptr);

public slots:
    // Called by the generated adaptor.
    uint Inhibit(const QString &applicationName, const QString &reason);
    void UnInhibit(uint cookie);

private:
    void record(const QString &line);

    QString m_recordPath;
    uint m_nextCookie = 1;
};
