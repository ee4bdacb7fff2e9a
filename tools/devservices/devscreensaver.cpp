#include "devscreensaver.h"

#include "devserviceregistration.h"
#include "screensaveradaptor.h"

#include <QFile>
#include <cstdio>

const QString DevScreenSaver::ServiceName = QStringLiteral("org.freedesktop.ScreenSaver");
const QString DevScreenSaver::ObjectPath = QStringLiteral("/org/freedesktop/ScreenSaver");

DevScreenSaver::DevScreenSaver(const QString &recordPath, QObject *parent)
    : QObject(parent)
    , m_recordPath(recordPath)
{
    new ScreenSaverAdaptor(this);
}

uint DevScreenSaver::Inhibit(const QString &applicationName, const QString &reason)
{
    const uint cookie = m_nextCookie++;
    record(QStringLiteral("Inhibit \"%1\" \"%2\" -> %3").arg(applicationName, reason).arg(cookie));
    return cookie;
}

void DevScreenSaver::UnInhibit(uint cookie)
{
    record(QStringLiteral("UnInhibit %1").arg(cookie));
}

void DevScreenSaver::record(const QString &line)
{
    // The file first: whoever sees the line on standard output finds the call recorded.
    if (!m_recordPath.isEmpty()) {
        QFile file(m_recordPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)
            || file.write(line.toUtf8() + '\n') < 0) {
            std::fprintf(stderr, "tevrin-dev-screensaver: cannot append to %s: %s\n",
                qPrintable(m_recordPath), qPrintable(file.errorString()));
        }
    }
    reportLine(line);
}
