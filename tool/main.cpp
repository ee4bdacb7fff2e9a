#include "application.h"
#include "argumentdispatcher.h"
#include "builtinicons.h"
#include "centerwindow.h"
#include "garrolandbusservice.h"
#include "logmanager.h"
#include "mainwindow.h"
#include "offlineupdateprotocol.h"
#include "reporttexttranslation.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDebug>
#include <QIcon>
#include <QLocale>
#include <QtPlugin>

Q_IMPORT_PLUGIN(VelmoraStylePlugin)

namespace {

// Another instance runs: it gets the first package named on the command line, or is brought
// to the front. Its answer is waited for, so that the package has arrived when this one ends.
void handOver(const QStringList &arguments)
{
    QString package;
    const ArgumentDispatcher dispatcher(
        [&package](const QString &path) {
            if (package.isEmpty())
                package = path;
        },
        [](const QString &) {}, [] {});
    dispatcher.dispatch(arguments);

    QDBusMessage call = QDBusMessage::createMethodCall(OfflineUpdate::ToolService,
        OfflineUpdate::ToolPath, OfflineUpdate::ToolService,
        package.isEmpty() ? QStringLiteral("Show") : QStringLiteral("OpenFile"));
    if (!package.isEmpty())
        call.setArguments({ package });
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
    if (reply.type() == QDBusMessage::ErrorMessage)
        qWarning() << "cannot reach the running instance:" << reply.errorMessage();
}

} // namespace

int main(int argc, char *argv[])
{
    // A widget tool draws with the CPU alone; the X11 platform would otherwise load the GL
    // stack and the graphics drivers, which make up most of an idle tool's memory and a good
    // part of its start-up time.
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    Karvo::Application app(argc, argv);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps, true);
    QCoreApplication::setOrganizationName(QStringLiteral("tevrin"));
    QCoreApplication::setApplicationName(QStringLiteral("tevrin-offline-update-tool"));
    QCoreApplication::setApplicationVersion(QStringLiteral("6.0.12"));

    app.loadTranslator({ QLocale::system() });
    ReportTextTranslation::load(QLocale::system());

    // Window lists show it beside the window title, so it speaks the user's language: the
    // Chinese name is its translation for zh_CN.
    QGuiApplication::setApplicationDisplayName(
        QCoreApplication::translate("main", "Offline Upgrade Tool"));
    QApplication::setStyle(QStringLiteral("velmora"));
    const QIcon productIcon = themeIcon(QStringLiteral("upgrade-tool"));
    QApplication::setWindowIcon(productIcon);
    app.setProductIcon(productIcon);
    app.setApplicationDescription(QCoreApplication::translate(
        "main", "system upgrade tool tevrin system upgrade tool in Linux"));
    // Ending is the main window's decision (closing it quits) or ExitApp's, never a side effect
    // of the last visible window going away.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    Karvo::LogManager::registerConsoleAppender();
    Karvo::LogManager::registerFileAppender();

    MainWindow window;
    Karvo::moveToCenter(&window);

    GarrolanDBusService service(QDBusConnection::sessionBus(), &window);
    if (!service.isRegistered()) {
        handOver(QCoreApplication::arguments());
        return 0;
    }

    const ArgumentDispatcher dispatcher(
        [&window](const QString &path) { window.setOfflineUpdateFile(path); },
        [&window](const QString &path) { window.setISOUpdateFile(path); },
        [&window] { window.showErrorFileType(); });
    dispatcher.dispatch(QCoreApplication::arguments());

    window.show();
    return app.exec();
}
