// tevrin-tool-walkthrough: the offline update tool's window, walked through one upgrade.
#include "application.h"
#include "argumentdispatcher.h"
#include "builtinicons.h"
#include "centerwindow.h"
#include "mainwindow.h"
#include "reporttexttranslation.h"
#include "walkthrough.h"

#include <QCommandLineParser>
#include <QDebug>
#include <QDir>
#include <QtPlugin>

Q_IMPORT_PLUGIN(VelmoraStylePlugin)

int main(int argc, char *argv[])
{
    Karvo::Application app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tevrin-offline-update-tool"));
    app.loadTranslator({ QLocale::system() });
    ReportTextTranslation::load(QLocale::system());
    QGuiApplication::setApplicationDisplayName(QStringLiteral("离线升级工具"));
    QApplication::setStyle(QStringLiteral("velmora"));
    QApplication::setWindowIcon(themeIcon(QStringLiteral("upgrade-tool")));
    QGuiApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Opens the offline update tool's window on PACKAGE and goes through the upgrade as a "
        "user would: check result, recovery guide, confirmation, progress, reboot request. "
        "Exits with 0 when the goal was reached, else with 1 and the reason."));
    parser.addHelpOption();
    const QCommandLineOption goal(QStringLiteral("until"),
        QStringLiteral("Where to stop: result, guide, confirmation (confirmation postponed) or "
                       "end (the whole upgrade; default)."),
        QStringLiteral("step"), QStringLiteral("end"));
    const QCommandLineOption refusal(QStringLiteral("expect-refusal"),
        QStringLiteral("Expect the check to be refused for lack of authorization."));
    const QCommandLineOption shots(QStringLiteral("shots"),
        QStringLiteral("Save a picture of every step into this directory."),
        QStringLiteral("directory"));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
        QStringLiteral("Give up after this many seconds (default 600)."), QStringLiteral("s"),
        QStringLiteral("600"));
    parser.addOptions({ goal, refusal, shots, timeout });
    parser.addPositionalArgument(QStringLiteral("PACKAGE"), QStringLiteral("The .oup file."));
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);

    static const QMap<QString, Walkthrough::Goal> goals = {
        { QStringLiteral("result"), Walkthrough::StopAtResult },
        { QStringLiteral("guide"), Walkthrough::StopAtGuide },
        { QStringLiteral("confirmation"), Walkthrough::StopAtConfirmation },
        { QStringLiteral("end"), Walkthrough::Upgrade },
    };
    if (!parser.isSet(refusal) && !goals.contains(parser.value(goal))) {
        qCritical().noquote() << "unknown step" << parser.value(goal) << "(see --help)";
        return 2;
    }
    if (parser.isSet(shots) && !QDir().mkpath(parser.value(shots))) {
        qCritical().noquote() << "cannot make" << parser.value(shots);
        return 2;
    }

    MainWindow window;
    const ArgumentDispatcher dispatcher(
        [&window](const QString &path) { window.setOfflineUpdateFile(path); },
        [&window](const QString &path) { window.setISOUpdateFile(path); },
        [&window] { window.showErrorFileType(); });
    dispatcher.dispatch(
        { QCoreApplication::applicationFilePath(), parser.positionalArguments().first() });
    Karvo::moveToCenter(&window);
    window.show();

    Walkthrough walkthrough(&window,
        parser.isSet(refusal) ? Walkthrough::ExpectRefusal : goals.value(parser.value(goal)),
        parser.value(shots), parser.value(timeout).toInt());
    QObject::connect(
        &walkthrough, &Walkthrough::finished, &app, [](int code, const QString &reason) {
            if (code != 0)
                qCritical().noquote() << "walkthrough:" << reason;
            QCoreApplication::exit(code);
        });
    walkthrough.start();
    return app.exec();
}
