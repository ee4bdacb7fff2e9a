#include "urlinfo.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>

QUrl UrlInfo(const QString &path)
{
    if (QFile::exists(path))
        return QUrl::fromLocalFile(QDir(QDir::currentPath()).absoluteFilePath(path));

    static const QRegularExpression positionSuffix(QStringLiteral(R"(:(\d+)(?::(\d+))?:?$)"));
    const QRegularExpressionMatch match = positionSuffix.match(path);
    const QString shortened = match.hasMatch() ? path.chopped(match.capturedLength()) : path;

    QUrl url = QUrl::fromUserInput(shortened, QDir::currentPath(), QUrl::AssumeLocalFile);
    if (!url.isValid())
        url = QUrl::fromLocalFile(QDir(QDir::currentPath()).absoluteFilePath(shortened));
    return url;
}
