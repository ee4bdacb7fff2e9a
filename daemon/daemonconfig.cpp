#include "daemonconfig.h"

#include <QDebug>
#include <QFile>

namespace {

// The file is the administrator's; a size far beyond any sensible one means something else
// took its place.
constexpr qint64 MaxSize = 64 * 1024;

} // namespace

DaemonConfig DaemonConfig::read(const QString &path)
{
    DaemonConfig config;
    QFile file(path);
    if (!file.exists())
        return config;
    // A file that is there but cannot be read may have meant to require signatures.
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << Q_FUNC_INFO << "cannot read" << path << ":" << file.errorString()
                   << "- requiring signatures";
        config.requireSignature = true;
        return config;
    }
    if (file.size() > MaxSize) {
        qWarning() << Q_FUNC_INFO << path << "is larger than" << MaxSize
                   << "bytes - requiring signatures";
        config.requireSignature = true;
        return config;
    }
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines.at(i)).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int equals = line.indexOf(QLatin1Char('='));
        const QString key = line.left(equals).trimmed();
        const QString value = equals < 0 ? QString() : line.mid(equals + 1).trimmed();
        const QString where = QStringLiteral("%1:%2").arg(path).arg(i + 1);
        if (equals < 0) {
            qWarning() << Q_FUNC_INFO << where << "is not a key=value line, ignored:" << line;
        } else if (key == QLatin1String("RequireSignature")) {
            // Anything but the two words asks for signatures: a misspelt "true" must not leave
            // the administrator believing that unsigned packages are refused.
            config.requireSignature = value != QLatin1String("false");
            if (value != QLatin1String("true") && value != QLatin1String("false"))
                qWarning() << Q_FUNC_INFO << where << "RequireSignature must be true or false, not"
                           << value << "- requiring signatures";
        } else {
            qWarning() << Q_FUNC_INFO << where << "unknown key, ignored:" << key;
        }
    }
    return config;
}
