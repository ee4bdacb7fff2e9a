#include "aptsource.h"

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

namespace AptSource {

namespace {

// A word of a source line: nothing that apt or the list's line structure would split at.
bool isOneWord(const QString &text)
{
    for (const QChar c : text) {
        if (c.isSpace() || c.category() == QChar::Other_Control || c == QLatin1Char(']'))
            return false;
    }
    return !text.isEmpty();
}

} // namespace

QString placeholderLine()
{
    return QStringLiteral(
        "deb [trusted=yes] file:///home/qel/.cache/tevrin-offline-update/repo/ torak main");
}

QString repositoryUri(const QString &directoryPath)
{
    QString path = directoryPath;
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return QStringLiteral("file://") + QString::fromLatin1(QUrl::toPercentEncoding(path, "/"));
}

bool validComponent(const QString &name)
{
    static const QRegularExpression allowed(QStringLiteral(R"(\A[A-Za-z0-9._+-]+\z)"));
    return name != QLatin1String(".") && name != QLatin1String("..")
        && allowed.match(name).hasMatch();
}

QString sourceLine(
    const QString &repositoryUri, const QStringList &components, const QString &signedBy)
{
    if (!isOneWord(repositoryUri) || (!signedBy.isEmpty() && !isOneWord(signedBy)))
        return QString();
    QString line = signedBy.isEmpty() ? QStringLiteral("deb [trusted=yes] ")
                                      : QStringLiteral("deb [signed-by=%1] ").arg(signedBy);
    line += repositoryUri + QStringLiteral(" torak");
    for (const QString &component : components) {
        if (!validComponent(component))
            return QString();
        line += QLatin1Char(' ') + component;
    }
    return line;
}

QString pointAt(const QString &listText, const QString &line, bool *replaced)
{
    // Ours: the placeholder and the lines of the versions that mounted in ~/.cache, and the
    // lines that name a run directory's <uid>/repo/.
    static const QRegularExpression ours(QStringLiteral(
        R"(\Adeb \[(?:trusted=yes|signed-by=[^\] ]+)\] )"
        R"(file://(?:[^ ]*/\.cache/tevrin-offline-update/repo/|[^ ]*/[0-9]+/repo/) torak( [^ ]+)*\z)"));
    if (replaced)
        *replaced = false;
    if (line.isEmpty() || line.contains(QLatin1Char('\n')) || line.contains(QLatin1Char('\r')))
        return listText;

    const QStringList lines = listText.split(QLatin1Char('\n'));
    QStringList kept;
    bool any = false;
    for (const QString &existing : lines) {
        if (!ours.match(existing).hasMatch()) {
            kept << existing;
        } else if (!any) {
            kept << line;
            any = true;
        }
    }
    if (replaced)
        *replaced = any;
    return kept.join(QLatin1Char('\n'));
}

} // namespace AptSource
