#include "argumentdispatcher.h"

#include "urlinfo.h"

#include <QUrl>

ArgumentDispatcher::ArgumentDispatcher(
    PathHandler offlineUpdateFile, PathHandler isoUpdateFile, ErrorHandler errorFileType)
    : m_offlineUpdateFile(std::move(offlineUpdateFile))
    , m_isoUpdateFile(std::move(isoUpdateFile))
    , m_errorFileType(std::move(errorFileType))
{ }

void ArgumentDispatcher::dispatch(const QStringList &arguments) const
{
    bool packageGiven = false;
    bool imageGiven = false;
    for (const QString &argument : arguments) {
        const QString path = UrlInfo(argument).toLocalFile();
        if (path.contains(QLatin1String(".oup"))) {
            m_offlineUpdateFile(path);
            packageGiven = true;
        } else if (path.contains(QLatin1String(".iso"))) {
            m_isoUpdateFile(path);
            imageGiven = true;
        }
    }
    // Two elements are the program and one argument: a single stray argument (a desktop
    // launcher's placeholder, say) is not worth a message.
    if (!packageGiven && !imageGiven && arguments.size() >= 3)
        m_errorFileType();
}
