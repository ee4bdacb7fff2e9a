#pragma once

#include <QString>

// What the tool tells a user about something that went wrong: a sentence that says what is
// wrong and what to do, and the technical text (a program's own message, paths, codes) that
// is shown only on request.
struct UserMessage
{
    QString sentence;
    QString details;

    bool isEmpty() const { return sentence.isEmpty(); }
};
