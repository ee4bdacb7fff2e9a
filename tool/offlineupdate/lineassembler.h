#pragma once

#include <QString>
#include <QStringList>

// Puts the daemon's upgrade output back into whole lines. The output arrives in pieces that
// end wherever the pipe was read, often mid-word; the daemon's own status sentences arrive as
// pieces of their own without a line end.
class LineAssembler
{
public:
    // Takes the next piece and returns the lines it completes. A piece without a line end that
    // comes when no line is open is a sentence of its own; otherwise it continues the open
    // line. A carriage return starts the open line afresh, as on a terminal.
    QStringList add(const QString &piece);
    // The line begun but not ended yet; empty when none is open.
    QString openLine() const { return m_open; }

private:
    QString m_open;
    bool m_lineOpen = false;
};
