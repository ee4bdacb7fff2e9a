#pragma once

#include <QString>
#include <QStringList>

// What the user asked for. Parsing is kept apart from running so that every combination of
// commands and switches can be tried without a bus.
struct CommandLine
{
    enum Command { NoCommand, Help, Check, Upgrade, Status, History };

    Command command = NoCommand;
    QString commandName;
    QString packagePath; // absolute, as the service resolves nothing against our directory
    bool yes = false;
    bool reboot = false;
    bool verbose = false;
    bool json = false;
    QString error; // non-empty: the command line is unusable, and why

    // |arguments| without the program's name.
    static CommandLine parse(const QStringList &arguments, const QString &workingDirectory);
    static QString usage();
};
