#pragma once

#include <QString>

// The development stand-ins write what they were asked, one line an event, to a record that
// tests and the demo read. A text is quoted so that an empty one, or one with blanks, still
// reads as one item of its line.
inline QString quotedForRecord(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char('"'), QLatin1String("\\\""));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return QLatin1Char('"') + text + QLatin1Char('"');
}
