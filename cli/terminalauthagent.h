#pragma once

#include <QProcess>
#include <QString>

// A text authentication agent for this process while it runs from a terminal, so that the
// service's authorization asks for a password right here, where no desktop agent reaches.
class TerminalAuthAgent
{
public:
    explicit TerminalAuthAgent(const QString &program = QStringLiteral("pkttyagent"));
    ~TerminalAuthAgent();

    TerminalAuthAgent(const TerminalAuthAgent &) = delete;
    TerminalAuthAgent &operator=(const TerminalAuthAgent &) = delete;

    // Starts the agent for this process when standard input is a terminal and the agent is
    // installed, and waits until it has registered; false when none runs.
    bool start();
    void stop();

private:
    QString m_program;
    QProcess m_process;
};
