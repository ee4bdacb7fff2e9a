#include "aptsource.h"

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

namespace AptSource {

QString placeholderLine()
{
    return QStringLiteral(
        "deb [trusted=yes] file:///home/qel/.cache/tevrin-offline-update/repo/ torak main");
}

QString sourceLine(const QString &homePath, const QStringList &components)
{
    QString componentText;
    for (const QString &component : components)
        componentText += QLatin1Char(' ') + component;
    // apt splits a source line at blanks, so a home path that holds one would cut the URI in
    // two; apt takes the percent-encoded form of a file URI's path.
    const QString uriPath = QString::fromLatin1(QUrl::toPercentEncoding(homePath, "/"));
    return QStringLiteral("deb [trusted=yes] file://%1/.cache/tevrin-offline-update/repo/ torak")
               .arg(uriPath)
           + componentText;
}

QString pointAt(const QString &listText, const QString &line, bool *replaced)
{
    static const QRegularExpression ours(QStringLiteral(
        R"(^deb \[trusted=yes\] file:///.*/\.cache/tevrin-offline-update/repo/ torak( [^ ]+)*$)"));
    QStringList lines = listText.split(QLatin1Char('\n'));
    bool any = false;
    for (QString &existing : lines) {
        if (ours.match(existing).hasMatch()) {
            existing = line;
            any = true;
        }
    }
    if (replaced)
        *replaced = any;
    return lines.join(QLatin1Char('\n'));
}

} // namespace AptSource
