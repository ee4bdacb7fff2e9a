#include "devabrecoveryoptions.h"

#include <QCommandLineParser>

namespace {

bool readChoice(const QString &option, const QString &value, const QStringList &choices, int *index,
    QString *message)
{
    *index = choices.indexOf(value);
    if (*index >= 0)
        return true;
    *message = QStringLiteral("--%1: '%2' is not one of %3")
                   .arg(option, value, choices.join(QLatin1Char('|')));
    return false;
}

bool readMilliseconds(const QString &option, const QString &value, int *ms, QString *message)
{
    bool ok = false;
    *ms = value.toInt(&ok);
    if (ok && *ms >= 0)
        return true;
    *message = QStringLiteral("--%1: '%2' is not a number of milliseconds").arg(option, value);
    return false;
}

} // namespace

DevABRecoveryOptions::ParseResult DevABRecoveryOptions::parse(
    const QStringList &arguments, DevABRecoveryOptions *options, QString *message)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Development stand-in for the A/B recovery service com.tevrin.ABRecovery.\n"
        "Offers CanBackup, StartBackup and the signal JobEnd on the system bus (or the session\n"
        "bus) and answers as the options below say. Prints one line per event on stdout:\n"
        "\"ready\", \"CanBackup -> true\", \"StartBackup accepted\", "
        "\"JobEnd backup true \\\"\\\"\", ..."));
    const QCommandLineOption help(QStringList { QStringLiteral("h"), QStringLiteral("help") },
        QStringLiteral("Shows this help."));
    const QCommandLineOption session(
        QStringLiteral("session"), QStringLiteral("Serves on the session bus."));
    const QCommandLineOption canBackup(QStringLiteral("can-backup"),
        QStringLiteral("Answer to CanBackup: yes, no, or error "
                       "(a D-Bus error reply). Default: yes."),
        QStringLiteral("yes|no|error"), QStringLiteral("yes"));
    const QCommandLineOption startBackup(QStringLiteral("start-backup"),
        QStringLiteral("Answer to StartBackup: ok, or error (a D-Bus error reply, no job). "
                       "Default: ok."),
        QStringLiteral("ok|error"), QStringLiteral("ok"));
    const QCommandLineOption jobKind(QStringLiteral("job-kind"),
        QStringLiteral("Kind that JobEnd reports. Default: backup."), QStringLiteral("text"),
        QStringLiteral("backup"));
    const QCommandLineOption jobSuccess(QStringLiteral("job-success"),
        QStringLiteral("Whether JobEnd reports success. Default: yes."), QStringLiteral("yes|no"),
        QStringLiteral("yes"));
    const QCommandLineOption jobMessage(QStringLiteral("job-message"),
        QStringLiteral("Error text that JobEnd reports. Default: empty."), QStringLiteral("text"));
    const QCommandLineOption jobDelay(QStringLiteral("job-delay"),
        QStringLiteral("Milliseconds between accepting StartBackup and JobEnd. Default: 500."),
        QStringLiteral("ms"), QStringLiteral("500"));
    const QCommandLineOption noJobEnd(QStringLiteral("no-job-end"),
        QStringLiteral("Never ends a job that StartBackup started (no JobEnd for it)."));
    const QCommandLineOption unprompted(QStringLiteral("unprompted-job-end"),
        QStringLiteral("Emits one JobEnd (kind, success and text as configured) this many "
                       "milliseconds after start-up, although nobody asked for a backup."),
        QStringLiteral("ms"));
    parser.addOptions({ help, session, canBackup, startBackup, jobKind, jobSuccess, jobMessage,
        jobDelay, noJobEnd, unprompted });

    if (!parser.parse(arguments)) {
        *message = parser.errorText();
        return ParseResult::Error;
    }
    if (parser.isSet(help)) {
        *message = parser.helpText();
        return ParseResult::Help;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *message
            = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
        return ParseResult::Error;
    }

    int index = 0;
    if (!readChoice(QStringLiteral("can-backup"), parser.value(canBackup),
            { QStringLiteral("yes"), QStringLiteral("no"), QStringLiteral("error") }, &index,
            message))
        return ParseResult::Error;
    options->canBackup = index == 0 ? Answer::Yes : index == 1 ? Answer::No : Answer::Error;
    if (!readChoice(QStringLiteral("start-backup"), parser.value(startBackup),
            { QStringLiteral("ok"), QStringLiteral("error") }, &index, message))
        return ParseResult::Error;
    options->startBackupFails = index == 1;
    if (!readChoice(QStringLiteral("job-success"), parser.value(jobSuccess),
            { QStringLiteral("yes"), QStringLiteral("no") }, &index, message))
        return ParseResult::Error;
    options->jobSuccess = index == 0;
    if (!readMilliseconds(
            QStringLiteral("job-delay"), parser.value(jobDelay), &options->jobDelayMs, message))
        return ParseResult::Error;
    if (parser.isSet(unprompted)
        && !readMilliseconds(QStringLiteral("unprompted-job-end"), parser.value(unprompted),
            &options->unpromptedJobEndMs, message))
        return ParseResult::Error;

    options->sessionBus = parser.isSet(session);
    options->jobKind = parser.value(jobKind);
    options->jobMessage = parser.value(jobMessage);
    options->jobEndAfterStart = !parser.isSet(noJobEnd);
    return ParseResult::Run;
}
