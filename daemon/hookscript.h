#pragma once

#include <QString>
#include <QStringList>

// One run of a package's hook script. A script needs neither an executable bit nor an
// interpreter line: it is handed to bash, with the user's home directory as its one argument.
struct HookScript
{
    enum Order { DirectoryOrder, NameOrder };
    static constexpr int TimeoutMs = 30000;

    // The entries of |directory| that run as scripts: files and directories, hidden ones
    // included, symbolic links never. NameOrder sorts by name without regard to case.
    static QStringList entries(const QString &directory, Order order);

    // Runs |script| in |directory| and waits up to TimeoutMs; a script still running then is
    // killed.
    static HookScript run(const QString &bash, const QString &script, const QString &homePath,
                          const QString &directory);

    bool finished = false;
    int exitCode = -1;
    QString output;
    QString errorString;
};
