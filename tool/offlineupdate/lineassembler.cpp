#include "lineassembler.h"

namespace {

// What a terminal would show of |line|: the text after its last carriage return.
QString afterCarriageReturn(QString line)
{
    // "\r\n" ends a line like "\n" alone.
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    return line.mid(line.lastIndexOf(QLatin1Char('\r')) + 1);
}

} // namespace

QStringList LineAssembler::add(const QString &piece)
{
    if (piece.isEmpty())
        return {};
    if (!m_lineOpen && !piece.contains(QLatin1Char('\n')))
        return { afterCarriageReturn(piece) };

    QStringList lines = (m_open + piece).split(QLatin1Char('\n'));
    m_open = lines.takeLast();
    m_lineOpen = !m_open.isEmpty();
    for (QString &line : lines)
        line = afterCarriageReturn(line);
    return lines;
}
