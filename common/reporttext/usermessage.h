#pragma once

#include <QString>

// What a client tells a user about something that went wrong: a sentence that says what is
// wrong and what to do, and the technical text (a program's own message, paths, codes) that
// the tool shows only on request and the command-line client in brackets after the sentence.
struct UserMessage
{
    QString sentence;
    QString details;

    bool isEmpty() const { return sentence.isEmpty(); }
    // The sentence and its details on one line, for a terminal or a log.
    QString inOneLine() const
    {
        if (details.isEmpty())
            return sentence;
        return sentence + QStringLiteral(" (")
            + QString(details).replace(QLatin1Char('\n'), QStringLiteral("; ")) + QLatin1Char(')');
    }
};
