#pragma once

#include "commandline.h"
#include "outcome.h"

#include <QObject>

class CheckSession;
class Confirmation;
class DaemonClient;
class SessionOutput;
class TerminalAuthAgent;
class UpgradeSession;
struct CheckFacts;

// "check" and "upgrade": the check, and for an upgrade the confirmation and the upgrade
// session. Ctrl-C ends it cleanly until the upgrade has been asked for; after that the
// service goes on and so does the report.
class PackageCommand : public QObject
{
    Q_OBJECT

public:
    // |authAgent|, when given, is started before the first privileged call. Without --yes the
    // confirmation is read from standard input, which the caller has made sure is a terminal.
    PackageCommand(const CommandLine &commandLine, const QString &home, DaemonClient *daemon,
        SessionOutput *output, TerminalAuthAgent *authAgent, QObject *parent = nullptr);

    void start();
    void interrupt();

signals:
    void finished(const Outcome &outcome);

private:
    void acceptCheck(const CheckFacts &facts);
    void startUpgrade(int expectedPackages);
    void finish(const Outcome &outcome);

    CommandLine m_commandLine;
    QString m_home;
    DaemonClient *m_daemon;
    SessionOutput *m_output;
    TerminalAuthAgent *m_authAgent;
    Confirmation *m_confirmation = nullptr;
    UpgradeSession *m_upgrade = nullptr;
    bool m_done = false;
};
