// The tool's window with its real modules against a scripted daemon and desktop services that
// answer slowly, on private buses. Faults caught here:
// - the GUI thread waiting on the bus anywhere between a package handed in and the reboot
//   request (a getter, the backup question, the wallpaper, the screen saver, the post-upgrade
//   hooks): the longest gap of a 5 ms timer must stay under 50 ms;
// - a package handed over while an upgrade runs checked (which would drop the page that follows
//   it), or a refusal that says nothing.
#include "floatingmessage.h"
#include "garrolandbusservice.h"
#include "mainwindow.h"
#include "modalhandler.h"
#include "offlinecheckresultwidget.h"
#include "offlineupdateprotocol.h"
#include "scriptedservice.h"
#include "suggestbutton.h"
#include "testbuses.h"
#include "warningbutton.h"

#include <QCheckBox>
#include <QtTest>
#include <memory>

namespace {

using namespace OfflineUpdate;

const QString CheckMethod = QStringLiteral("StartOfflineFileCheck");

constexpr int Slow = 800;

} // namespace

class tst_ToolWindow : public QObject
{
    Q_OBJECT

    TestBuses m_buses;

private slots:
    void initTestCase() { QCOMPARE(m_buses.start(), QString()); }

    // Handing a package over while idle is the real program's test (tst_tool); here it comes
    // while the upgrade runs.
    void staysResponsive()
    {
        ScriptedService daemon(m_buses.systemAddress(), DaemonService);
        daemon.setReply(CheckMethod, noAnswer()); // answers when the check ends
        daemon.setReply(QStringLiteral("BackupSystem"), noAnswer());
        daemon.setReply(QStringLiteral("GetUpgradeType"), answer({ int(SystemUpgrade) }, Slow));
        daemon.setReply(QStringLiteral("GetPatchUpgradeSerial"), answer({ QString() }, Slow));
        daemon.setReply(QStringLiteral("GetDistUpgradeSum"), answer({ 300 }, Slow));
        daemon.setReply(
            QStringLiteral("GetPackageSignature"), answer({ int(SignatureVerified), "Key" }, Slow));
        daemon.setReply(QStringLiteral("IsAllowBackupSystem"), answer({ true }, Slow));
        // Stands in for post-upgrade hooks that run far longer than any bus time-out.
        daemon.setReply(QStringLiteral("StartExecHookPost"), answer({}, 2000));
        ScriptedService windowManager(m_buses.sessionAddress(), QStringLiteral("com.tevrin.wm"));
        windowManager.setReply(QStringLiteral("GetCurrentWorkspaceBackground"),
            answer({ QStringLiteral("file:///nonexistent/wallpaper.png") }, Slow));
        ScriptedService sessionManager(
            m_buses.sessionAddress(), QStringLiteral("com.tevrin.SessionManager"));
        ScriptedService screenSaver(
            m_buses.sessionAddress(), QStringLiteral("org.freedesktop.ScreenSaver"));
        screenSaver.setReply(QStringLiteral("Inhibit"), answer({ 7u }, Slow));
        for (ScriptedService *service : { &daemon, &windowManager, &sessionManager, &screenSaver })
            QCOMPARE(service->start(), QString());

        MainWindow window(QByteArrayLiteral("com.tevrin.offline.update.absent"));
        GarrolanDBusService service(QDBusConnection::sessionBus(), &window);
        QVERIFY(service.isRegistered());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The longest time between two timeouts of a 5 ms timer from here on.
        qint64 longest = 0;
        QElapsedTimer since;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.callOnTimeout([&] { longest = qMax(longest, since.restart()); });
        since.start();
        tick.start(5);

        window.setOfflineUpdateFile(QStringLiteral("/media/usb/first.oup"));
        QTRY_COMPARE_WITH_TIMEOUT(daemon.members().count(CheckMethod), 1, 5000);
        QVERIFY(daemon.emitSignal(
            QStringLiteral("NotifyOfflineFileCheckResult"), { int(UpgradableItem), true }));
        QTRY_VERIFY_WITH_TIMEOUT(window.findChild<OfflineCheckResultWidget *>(), 5000);
        const QPointer<OfflineCheckResultWidget> page
            = window.findChild<OfflineCheckResultWidget *>();
        auto *box = page->findChild<QCheckBox *>();
        QTRY_VERIFY_WITH_TIMEOUT(box->isEnabled(), 5000);
        box->setChecked(true);
        ModalHandler confirm([](QDialog *dialog) {
            dialog->findChild<QCheckBox *>()->setChecked(true);
            dialog->findChild<Karvo::WarningButton *>()->click();
        });
        QTest::mouseClick(page->findChild<Karvo::SuggestButton *>(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(daemon.members().contains(QStringLiteral("BackupSystem")), 5000);

        service.OpenFile(QStringLiteral("/media/usb/update.oup"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(page && page->upgradeUnderWay());
        QVERIFY(page->findChild<Karvo::FloatingMessage *>());
        // Sent from the stand-in's own thread: a burst sent from this one would be a stall of
        // the test's making.
        QMetaObject::invokeMethod(&daemon, [&daemon] {
            for (const int progress : { int(BackupStage), int(BackupEndStage) }) {
                daemon.emitSignal(QStringLiteral("NotifyOfflineUpgradeProgress"), { progress, 1 });
                for (int line = 0; line < 100; ++line)
                    daemon.emitSignal(QStringLiteral("NotifyExecDistUpgradeInfo"),
                        { QStringLiteral("Unpacking package%1 (2.0) over (1.0) ...").arg(line) });
            }
            daemon.emitSignal(
                QStringLiteral("NotifyOfflineUpgradeProgress"), { int(DoneStage), 1 });
        });
        QTRY_VERIFY_WITH_TIMEOUT(!sessionManager.calls().isEmpty(), 10000);
        QVERIFY(screenSaver.members().contains(QStringLiteral("UnInhibit")));
        // A check asked for by the hand-over went out before the hooks the reboot waited for.
        QCOMPARE(daemon.members().count(CheckMethod), 1);

        qInfo("longest event loop stall: %lld ms", longest);
        QVERIFY2(longest < 50, qPrintable(QString::number(longest)));
    }
};

QTEST_MAIN(tst_ToolWindow)
#include "tst_toolwindow.moc"
