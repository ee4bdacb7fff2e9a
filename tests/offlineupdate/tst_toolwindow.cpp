// The tool's window with its real modules against a scripted daemon and desktop services that
// answer slowly, on private buses. Faults caught here:
// - the GUI thread waiting on the bus anywhere between a package handed in and the reboot
//   request (a getter, the backup question, the wallpaper, the screen saver, the post-upgrade
//   hooks): the longest gap of a 5 ms timer must stay under 50 ms;
// - a package handed over while an upgrade runs checked (which would drop the page that follows
//   it), or a refusal that says nothing;
// - a package handed in by another program (OpenFile, a second start) checked before the user
//   agreed, shown without its file name, checked after the user declined, a replaced request
//   checked too, or a question put while a check runs.
#include "floatingmessage.h"
#include "garrolandbusservice.h"
#include "mainwindow.h"
#include "modalhandler.h"
#include "offlinecheckresultwidget.h"
#include "offlineupdateprotocol.h"
#include "packagerequestdialog.h"
#include "scriptedservice.h"
#include "suggestbutton.h"
#include "testbuses.h"
#include "warningbutton.h"

#include <QCheckBox>
#include <QDBusMessage>
#include <QLabel>
#include <QPushButton>
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

        MainWindow window(QByteArrayLiteral("com.tevrin.offline.update.absent"),
            QDBusConnection::systemBus(), QDBusConnection::sessionBus());
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
        QTest::mouseClick(
            page->findChild<Karvo::SuggestButton *>(QStringLiteral("startUpgrade")), Qt::LeftButton);
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
        auto *restart = page->findChild<QPushButton *>(QStringLiteral("restartNow"));
        QTRY_VERIFY_WITH_TIMEOUT(restart->isVisible(), 10000);
        restart->click();
        QTRY_VERIFY_WITH_TIMEOUT(!sessionManager.calls().isEmpty(), 10000);
        QVERIFY(screenSaver.members().contains(QStringLiteral("UnInhibit")));
        // A check asked for by the hand-over went out before the hooks the reboot waited for.
        QCOMPARE(daemon.members().count(CheckMethod), 1);

        qInfo("longest event loop stall: %lld ms", longest);
        QVERIFY2(longest < 50, qPrintable(QString::number(longest)));
    }

    void packageHandedIn_data()
    {
        // |requests|: the paths handed in, in order; |answer|: "check" or "cancel" for the last
        // question; |checked|: the path checked, if any; |asked|: whether a question came up.
        QTest::addColumn<QStringList>("requests");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("checked");
        QTest::addColumn<bool>("asked");
        const QString first = QStringLiteral("/media/usb/first-update.oup");
        const QString second = QStringLiteral("/home/user/Downloads/second-update.oup");
        QTest::newRow("confirmed") << QStringList { first } << "check" << first << true;
        QTest::newRow("declined") << QStringList { first } << "cancel" << "" << true;
        QTest::newRow("a second request replaces the first")
            << QStringList { first, second } << "check" << second << true;
        QTest::newRow("not a package") << QStringList { "/tmp/notes.txt" } << "check" << ""
                                       << false;
    }

    void packageHandedIn()
    {
        QFETCH(QStringList, requests);
        QFETCH(QString, answer);
        QFETCH(QString, checked);
        QFETCH(bool, asked);
        ScriptedService daemon(m_buses.systemAddress(), DaemonService);
        daemon.setReply(CheckMethod, noAnswer());
        QCOMPARE(daemon.start(), QString());
        MainWindow window(QByteArrayLiteral("com.tevrin.offline.update.absent"),
            QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        GarrolanDBusService service(QDBusConnection::sessionBus(), &window);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        // The keyboard starts on the page, never on the hidden module list.
        QCOMPARE(QApplication::focusWidget()->metaObject()->className(), "Karvo::SuggestButton");

        QList<QPointer<PackageRequestDialog>> questions;
        for (const QString &path : requests) {
            service.OpenFile(path);
            questions.append(window.packageRequest());
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // Sent after anything the window sent to the daemon before it.
        const auto barrier = [] {
            QDBusConnection::systemBus().call(QDBusMessage::createMethodCall(
                DaemonService, DaemonPath, DaemonService, QStringLiteral("GetUpgradeType")));
        };
        barrier();
        QVERIFY(!daemon.members().contains(CheckMethod));
        PackageRequestDialog *question = questions.constLast();
        QCOMPARE(bool(question), asked);
        if (!asked)
            return;
        QVERIFY(question->isVisible());
        for (int i = 0; i < questions.size() - 1; ++i)
            QVERIFY(!questions.at(i) || !questions.at(i)->isVisible());
        // The file's name is in the question, the folder below it.
        QString shown;
        for (const QLabel *label : question->findChildren<QLabel *>())
            shown += label->text().remove(QChar(0x200B)) + '\n';
        QVERIFY2(shown.contains(QFileInfo(requests.last()).fileName())
                && shown.contains(QFileInfo(requests.last()).path()),
            qPrintable(shown));

        question->button(answer == QLatin1String("check") ? PackageRequestDialog::CheckButton
                                                          : PackageRequestDialog::CancelButton)
            ->click();
        if (checked.isEmpty()) {
            barrier();
            QVERIFY(!daemon.members().contains(CheckMethod));
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(daemon.members().count(CheckMethod), 1, 5000);
        QCOMPARE(daemon.calls().constLast().arguments.value(1).toString(), checked);

        // While that check runs, another request is refused with a word, without a question.
        service.OpenFile(requests.constFirst());
        QVERIFY(!window.packageRequest());
        QVERIFY(window.findChild<Karvo::FloatingMessage *>());
    }
};

QTEST_MAIN(tst_ToolWindow)
#include "tst_toolwindow.moc"
