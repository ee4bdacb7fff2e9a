#include "daemonstatustext.h"

namespace {

struct StatusText
{
    const char *sent; // UTF-8, as the daemon sends it
    const char *sentence;
};

const StatusText Texts[] = {
    { "开始进行系统备份...",
        QT_TRANSLATE_NOOP("DaemonStatusText", "Starting the system backup...") },
    { "系统备份完成", QT_TRANSLATE_NOOP("DaemonStatusText", "The system backup is complete") },
    { "开始进行系统升级...",
        QT_TRANSLATE_NOOP("DaemonStatusText", "Starting the system upgrade...") },
};

} // namespace

QString DaemonStatusText::translated(const QString &text)
{
    for (const StatusText &known : Texts) {
        if (text == QString::fromUtf8(known.sent))
            return tr(known.sentence);
    }
    return QString();
}
