#include "aptsource.h"

#include <QRegularExpression>
#include <QStringList>

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
    return QStringLiteral("deb [trusted=yes] file://%1/.cache/tevrin-offline-update/repo/ torak")
               .arg(homePath)
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
