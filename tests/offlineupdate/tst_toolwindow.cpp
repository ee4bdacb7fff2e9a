// The tool's window with its real modules against a scripted daemon and desktop services that
// answer slowly, on private buses. Faults caught here:
// - the GUI thread waiting on the bus anywhere between a package handed in and the reboot
//   request (a getter, the backup question, the wallpaper, the screen saver, the post-upgrade
//   hooks): the longest gap of a 5 ms timer must stay under 50 ms;
// - a package handed over by another start of the tool not checked, or checked while an upgrade
//   runs (which would drop the page that follows it), or a refusal that says nothing.
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

const QString Package = QStringLiteral("/media/usb/update.oup");
const QString CheckMethod = QStringLiteral("StartOfflineFileCheck");
constexpr int Slow = 800;

// The longest time between two timeouts of a 5 ms timer while it runs.
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.callOnTimeout(this, [this] { m_longest = qMax(m_longest, m_since.restart()); });
        m_since.start();
        m_timer.start(5);
    }
    qint64 longest() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    qint64 m_longest = 0;
};

ScriptedService::Reply slowly(const QVariantList &values, int delayMs = Slow)
{
    return { values, delayMs, false, {}, {} };
}

} // namespace

class tst_ToolWindow : public QObject
{
    Q_OBJECT

    TestBuses m_buses;
    std::unique_ptr<ScriptedService> m_daemon;
    std::unique_ptr<ScriptedService> m_windowManager;
    std::unique_ptr<ScriptedService> m_sessionManager;
    std::unique_ptr<ScriptedService> m_screenSaver;

    OfflineCheckResultWidget *reportCheck(MainWindow &window)
    {
        const bool checking
            = QTest::qWaitFor([&] { return m_daemon->members().count(CheckMethod) == 1; }, 5000);
        if (!checking
            || !m_daemon->emitSignal(
                QStringLiteral("NotifyOfflineFileCheckResult"), { int(UpgradableItem), true })
            || !QTest::qWaitFor(
                [&] { return window.findChild<OfflineCheckResultWidget *>() != nullptr; }, 5000))
            return nullptr;
        return window.findChild<OfflineCheckResultWidget *>();
    }

    // Ticks the box and confirms; returns once the upgrade has been asked for.
    void startUpgrade(OfflineCheckResultWidget *page)
    {
        auto *box = page->findChild<QCheckBox *>();
        QTRY_VERIFY_WITH_TIMEOUT(box->isEnabled(), 5000);
        box->setChecked(true);
        ModalHandler confirm([](QDialog *dialog) {
            dialog->findChild<QCheckBox *>()->setChecked(true);
            dialog->findChild<Karvo::WarningButton *>()->click();
        });
        QTest::mouseClick(page->findChild<Karvo::SuggestButton *>(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(
            m_daemon->members().contains(QStringLiteral("BackupSystem")), 5000);
    }

private slots:
    void initTestCase() { QCOMPARE(m_buses.start(), QString()); }

    void init()
    {
        m_daemon = std::make_unique<ScriptedService>(m_buses.systemAddress(), DaemonService);
        m_daemon->setReply(CheckMethod, { {}, 0, true, {}, {} }); // answers when the check ends
        m_daemon->setReply(QStringLiteral("BackupSystem"), { {}, 0, true, {}, {} });
        m_daemon->setReply(QStringLiteral("GetUpgradeType"), slowly({ int(SystemUpgrade) }));
        m_daemon->setReply(QStringLiteral("GetPatchUpgradeSerial"), slowly({ QString() }));
        m_daemon->setReply(QStringLiteral("GetDistUpgradeSum"), slowly({ 300 }));
        m_daemon->setReply(
            QStringLiteral("GetPackageSignature"), slowly({ int(SignatureVerified), "Key" }));
        m_daemon->setReply(QStringLiteral("IsAllowBackupSystem"), slowly({ true }));
        // Stands in for post-upgrade hooks that run far longer than any bus time-out.
        m_daemon->setReply(QStringLiteral("StartExecHookPost"), slowly({}, 2000));
        m_windowManager = std::make_unique<ScriptedService>(
            m_buses.sessionAddress(), QStringLiteral("com.tevrin.wm"));
        m_windowManager->setReply(QStringLiteral("GetCurrentWorkspaceBackground"),
            slowly({ QStringLiteral("file:///nonexistent/wallpaper.png") }));
        m_sessionManager = std::make_unique<ScriptedService>(
            m_buses.sessionAddress(), QStringLiteral("com.tevrin.SessionManager"));
        m_screenSaver = std::make_unique<ScriptedService>(
            m_buses.sessionAddress(), QStringLiteral("org.freedesktop.ScreenSaver"));
        m_screenSaver->setReply(QStringLiteral("Inhibit"), slowly({ 7u }));
        for (ScriptedService *service :
            { m_daemon.get(), m_windowManager.get(), m_sessionManager.get(), m_screenSaver.get() })
            QCOMPARE(service->start(), QString());
    }

    void cleanup()
    {
        m_daemon.reset();
        m_windowManager.reset();
        m_sessionManager.reset();
        m_screenSaver.reset();
    }

    void staysResponsive()
    {
        MainWindow window(QByteArrayLiteral("com.tevrin.offline.update.absent"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        StallMeter meter;

        window.setOfflineUpdateFile(Package);
        OfflineCheckResultWidget *page = reportCheck(window);
        QVERIFY(page);
        startUpgrade(page);
        // Sent from the stand-in's own thread: a burst sent from this one would be a stall of
        // the test's making.
        ScriptedService *daemon = m_daemon.get();
        QMetaObject::invokeMethod(daemon, [daemon] {
            for (const int progress : { int(BackupStage), int(BackupEndStage) }) {
                daemon->emitSignal(QStringLiteral("NotifyOfflineUpgradeProgress"), { progress, 1 });
                for (int line = 0; line < 100; ++line)
                    daemon->emitSignal(QStringLiteral("NotifyExecDistUpgradeInfo"),
                        { QStringLiteral("Unpacking package%1 (2.0) over (1.0) ...").arg(line) });
            }
            daemon->emitSignal(
                QStringLiteral("NotifyOfflineUpgradeProgress"), { int(DoneStage), 1 });
        });
        QTRY_VERIFY_WITH_TIMEOUT(!m_sessionManager->calls().isEmpty(), 10000);
        QVERIFY(m_screenSaver->members().contains(QStringLiteral("UnInhibit")));

        qInfo("longest event loop stall: %lld ms", meter.longest());
        QVERIFY2(meter.longest() < 50, qPrintable(QString::number(meter.longest())));
    }

    // Handing a package over while idle is the real program's test (tst_tool).
    void openFileDuringUpgrade()
    {
        MainWindow window(QByteArrayLiteral("com.tevrin.offline.update.absent"));
        GarrolanDBusService service(QDBusConnection::sessionBus(), &window);
        QVERIFY(service.isRegistered());
        window.show();
        window.setOfflineUpdateFile(QStringLiteral("/media/usb/first.oup"));
        const QPointer<OfflineCheckResultWidget> page = reportCheck(window);
        QVERIFY(page);
        startUpgrade(page);

        service.OpenFile(Package);
        QTest::qWait(300);
        QCOMPARE(m_daemon->members().count(CheckMethod), 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(page && page->upgradeUnderWay());
        QVERIFY(page->findChild<Karvo::FloatingMessage *>());
    }
};

QTEST_MAIN(tst_ToolWindow)
#include "tst_toolwindow.moc"
