#pragma once

#include <QString>
#include <QStringList>

// How the stand-in recovery service behaves: every branch of a client's backup sequence can be
// chosen from the command line.
struct DevABRecoveryOptions
{
    enum class Answer { Yes, No, Error };
    enum class ParseResult { Run, Help, Error };

    bool sessionBus = false;
    Answer canBackup = Answer::Yes;
    bool startBackupFails = false;
    QString jobKind = QStringLiteral("backup");
    bool jobSuccess = true;
    QString jobMessage;
    int jobDelayMs = 500;
    bool jobEndAfterStart = true;
    int unpromptedJobEndMs = -1; // negative: no job end that nobody asked for

    // Reads the arguments (the program name first). On Help, *message holds the help text; on
    // Error, a one-line reason that names the bad option or value.
    static ParseResult parse(
        const QStringList &arguments, DevABRecoveryOptions *options, QString *message);
};
