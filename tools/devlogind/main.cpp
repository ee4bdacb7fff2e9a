#include "devlogind.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <cstdio>

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "tevrin-dev-logind: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tevrin-dev-logind"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Development stand-in for the login manager org.freedesktop.login1.\n"
        "Offers Manager.Inhibit (the lock is a pipe whose closing it watches) and Manager.Reboot\n"
        "(recorded, nothing reboots) on the system bus, or the session bus. Writes one line per\n"
        "event, time first, to stdout and to the record file: \"ready\",\n"
        "\"taken ID \\\"WHAT\\\" \\\"WHO\\\" \\\"WHY\\\" \\\"MODE\\\" uid=N\", \"closed ID\", "
        "\"reboot non-interactive uid=N\"."));
    parser.addHelpOption();
    const QCommandLineOption session(
        QStringLiteral("session"), QStringLiteral("Serves on the session bus."));
    const QCommandLineOption recordFile(QStringLiteral("record"),
        QStringLiteral("Appends every event to this file as well."), QStringLiteral("file"));
    parser.addOptions({ session, recordFile });
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument '%1' (see --help)")
                        .arg(parser.positionalArguments().first()));

    QDBusConnection connection
        = parser.isSet(session) ? QDBusConnection::sessionBus() : QDBusConnection::systemBus();
    if (!connection.isConnected())
        return fail(
            QStringLiteral("cannot connect to the bus: ") + connection.lastError().message());
    DevLogind service(parser.value(recordFile));
    QString error;
    if (!service.open(&error) || !service.registerOn(connection, &error))
        return fail(error);
    return app.exec();
}
