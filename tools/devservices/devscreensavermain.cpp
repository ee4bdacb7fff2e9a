#include "devscreensaver.h"
#include "devserviceregistration.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tevrin-dev-screensaver"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Development stand-in for the desktop's screen saver org.freedesktop.ScreenSaver.\n"
        "Offers Inhibit and UnInhibit at /org/freedesktop/ScreenSaver on the session bus. It\n"
        "blanks nothing: it prints one line per call, \"Inhibit \\\"<application>\\\"\n"
        "\\\"<reason>\\\" -> <cookie>\" or \"UnInhibit <cookie>\", and appends the same line to\n"
        "the --record file. Prints \"ready\" once it owns its name."));
    const QCommandLineOption help(QStringList { QStringLiteral("h"), QStringLiteral("help") },
        QStringLiteral("Shows this help."));
    const QCommandLineOption record(QStringLiteral("record"),
        QStringLiteral("Appends one line per call to this file."), QStringLiteral("file"));
    parser.addOptions({ help, record });

    if (!parser.parse(app.arguments()) || !parser.positionalArguments().isEmpty()) {
        const QString reason = parser.errorText().isEmpty()
            ? QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first())
            : parser.errorText();
        std::fprintf(stderr, "tevrin-dev-screensaver: %s (see --help)\n", qPrintable(reason));
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }

    DevScreenSaver service(parser.value(record));
    QString error;
    if (!registerDevService(QDBusConnection::sessionBus(), &service, DevScreenSaver::ServiceName,
            DevScreenSaver::ObjectPath, &error)) {
        std::fprintf(stderr, "tevrin-dev-screensaver: %s\n", qPrintable(error));
        return 1;
    }
    reportLine(QStringLiteral("ready"));
    return app.exec();
}
