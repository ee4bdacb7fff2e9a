#include "devsessionmanager.h"

#include "devserviceregistration.h"
#include "sessionmanageradaptor.h"

#include <QFile>
#include <cstdio>

const QString DevSessionManager::ServiceName = QStringLiteral("com.tevrin.SessionManager");
const QString DevSessionManager::ObjectPath = QStringLiteral("/com/tevrin/SessionManager");

DevSessionManager::DevSessionManager(const QString &recordPath, QObject *parent)
    : QObject(parent)
    , m_recordPath(recordPath)
{
    new SessionManagerAdaptor(this);
}

void DevSessionManager::RequestReboot()
{
    // The file first: whoever sees the line on standard output finds the request recorded.
    if (!m_recordPath.isEmpty()) {
        QFile record(m_recordPath);
        if (!record.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)
            || record.write("RequestReboot\n") < 0) {
            std::fprintf(stderr, "tevrin-dev-sessionmanager: cannot append to %s: %s\n",
                qPrintable(m_recordPath), qPrintable(record.errorString()));
        }
    }
    reportLine(QStringLiteral("RequestReboot"));
}
