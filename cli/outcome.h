#pragma once

#include <QJsonObject>
#include <QString>

// How a command ended: the exit status, a short name for scripts ("passed", "busy", ...), a
// sentence for people and any facts worth handing to a script alongside.
struct Outcome
{
    int exitStatus = 0;
    QString name;
    QString message;
    QJsonObject details;
};
