#include "devserviceregistration.h"
#include "devwindowmanager.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tevrin-dev-wm"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Development stand-in for the desktop's window manager com.tevrin.wm.\n"
        "Offers GetCurrentWorkspaceBackground at /com/tevrin/wm on the session bus (or the\n"
        "system bus) and answers it with the picture given. Prints \"ready\" once it owns its\n"
        "name, then one line per call: \"GetCurrentWorkspaceBackground -> <answer>\"."));
    const QCommandLineOption help(QStringList { QStringLiteral("h"), QStringLiteral("help") },
        QStringLiteral("Shows this help."));
    const QCommandLineOption system(
        QStringLiteral("system"), QStringLiteral("Serves on the system bus."));
    const QCommandLineOption background(QStringLiteral("background"),
        QStringLiteral("The wallpaper: a picture's path, answered as a file URL, or a URL, "
                       "answered as it is. Default: none (an empty answer)."),
        QStringLiteral("path"));
    parser.addOptions({ help, system, background });

    if (!parser.parse(app.arguments()) || !parser.positionalArguments().isEmpty()) {
        const QString reason = parser.errorText().isEmpty()
            ? QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first())
            : parser.errorText();
        std::fprintf(stderr, "tevrin-dev-wm: %s (see --help)\n", qPrintable(reason));
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }

    DevWindowManager service(parser.value(background));
    QString error;
    if (!registerDevService(
            parser.isSet(system) ? QDBusConnection::systemBus() : QDBusConnection::sessionBus(),
            &service, DevWindowManager::ServiceName, DevWindowManager::ObjectPath, &error)) {
        std::fprintf(stderr, "tevrin-dev-wm: %s\n", qPrintable(error));
        return 1;
    }
    reportLine(QStringLiteral("ready"));
    return app.exec();
}
