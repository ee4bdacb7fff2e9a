// Tests the offline update module's page flow, with a stand-in main window and a scripted
// daemon on a private system bus.
// Faults caught here:
// - a page pushed out of turn, a page that is never disposed of, or a check that is not
//   started (or started with another path) when the import page accepts a package;
// - a second check report, or a report while no check of the module's own is under way (after
//   re-activation, or from another client of the daemon), pushing a result page over the page
//   the user is on;
// - a package path taken while the checking page is shown, starting a second check;
// - re-activation that does not give a fresh import page, or makes a second model (whose
//   duplicate connections would handle every report twice);
// - a check request that the bus refuses at once leaving the checking page spinning for ever.
#include "fakeframe.h"
#include "logcapture.h"
#include "offlinecheckresultwidget.h"
#include "offlineupdatecheckingwidget.h"
#include "offlineupdatemodel.h"
#include "offlineupdatemodule.h"
#include "offlineupdatewidget.h"
#include "scriptedservice.h"
#include "spinner.h"
#include "testbuses.h"

#include <QDir>
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

namespace {

const QString DaemonService = QStringLiteral("com.tevrin.offline.update.daemon");
const QString DaemonPath = QStringLiteral("/com/tevrin/offline/update/daemon");
const QString DaemonInterface = QStringLiteral("com.tevrin.offline.update.daemon");
const QString CheckMethod = QStringLiteral("StartOfflineFileCheck");
const QString CheckResult = QStringLiteral("NotifyOfflineFileCheckResult");
const QString PackagePath = QStringLiteral("/media/usb/update.oup");

enum Before { ImportPageShown, ActivatedAnewDuringCheck, ModuleLeftDuringCheck };

template <typename Page> Page *pushedPage(const FakeFrame &frame, int index)
{
    const QList<FakeFrame::Push> pushes = frame.pushes();
    return index < pushes.size() ? qobject_cast<Page *>(pushes.at(index).page.data()) : nullptr;
}

} // namespace

class tst_OfflineUpdateModule : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void checkFlow();
    void secondReportIgnored();
    void reportWithoutCheckIgnored_data();
    void reportWithoutCheckIgnored();
    void pathDroppedWhileChecking();
    void reactivation();
    void deactiveDisposesResultPage();
    void refusedCheckStopsWaiting();

private:
    // Sends a check report from the daemon and waits until the module's model has relayed it.
    bool report(OfflineUpdateModule &module, int itemType, bool result);

    TestBuses m_buses;
    std::unique_ptr<ScriptedService> m_daemon;
};

void tst_OfflineUpdateModule::initTestCase()
{
    QString error;
    QVERIFY2(m_buses.start(&error), qPrintable(error));
    qputenv("HOME", "/tmp/tst-offlineupdatemodule-home");
    LogCapture::install();
}

void tst_OfflineUpdateModule::init()
{
    m_daemon = std::make_unique<ScriptedService>(
        m_buses.systemAddress(), DaemonService, DaemonPath, DaemonInterface);
    // As the real daemon: no answer until the check has ended, which is after these tests.
    ScriptedObject::Reply checkRunsOn;
    checkRunsOn.never = true;
    m_daemon->setReply(CheckMethod, checkRunsOn);
    QString error;
    QVERIFY2(m_daemon->start(&error), qPrintable(error));
    LogCapture::clear();
}

void tst_OfflineUpdateModule::cleanup()
{
    m_daemon.reset();
}

bool tst_OfflineUpdateModule::report(OfflineUpdateModule &module, int itemType, bool result)
{
    auto *model = module.findChild<OfflineUpdateModel *>();
    if (!model)
        return false;
    QSignalSpy relayed(model, &OfflineUpdateModel::notifyOfflineCheckResult);
    return m_daemon->emitSignal(CheckResult, { itemType, result }) && relayed.wait(5000);
}

void tst_OfflineUpdateModule::checkFlow()
{
    FakeFrame frame;
    OfflineUpdateModule module(&frame);
    QCOMPARE(module.name(), QStringLiteral("offlineupdate"));

    module.active(0);
    QCOMPARE(frame.pushes().size(), 1);
    QCOMPARE(frame.pushes().at(0).module, &module);
    QPointer<OfflineUpdateWidget> importPage = pushedPage<OfflineUpdateWidget>(frame, 0);
    QVERIFY(importPage);

    module.setOfflineUpdateFile(PackagePath);
    QCOMPARE(frame.pushes().size(), 2);
    QPointer<OfflineUpdateCheckingWidget> checkingPage
        = pushedPage<OfflineUpdateCheckingWidget>(frame, 1);
    QVERIFY(checkingPage);
    QTRY_VERIFY(!importPage);
    QTRY_COMPARE_WITH_TIMEOUT(m_daemon->members(), QStringList { CheckMethod }, 5000);
    QCOMPARE(m_daemon->calls().first().arguments, QVariantList({ QDir::homePath(), PackagePath }));
    QVERIFY(checkingPage->findChild<Karvo::Spinner *>()->isPlaying());

    QVERIFY(report(module, 4, false));
    QCOMPARE(frame.pushes().size(), 3);
    auto *resultPage = pushedPage<OfflineCheckResultWidget>(frame, 2);
    QVERIFY(resultPage);
    QCOMPARE(frame.pushes().at(2).module, &module);
    QTRY_VERIFY(!checkingPage);

    QStringList texts;
    for (const QLabel *label : resultPage->findChildren<QLabel *>())
        texts.append(label->text());
    QVERIFY2(texts.contains(OfflineCheckResultWidget::itemName(4)), qPrintable(texts.join('|')));
}

void tst_OfflineUpdateModule::secondReportIgnored()
{
    FakeFrame frame;
    OfflineUpdateModule module(&frame);
    module.active(0);
    module.setOfflineUpdateFile(PackagePath);
    QVERIFY(report(module, 6, true));
    QPointer<OfflineCheckResultWidget> resultPage = pushedPage<OfflineCheckResultWidget>(frame, 2);
    QVERIFY(resultPage);

    QVERIFY(report(module, 0, false));
    QCOMPARE(frame.pushes().size(), 3);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(resultPage);
}

void tst_OfflineUpdateModule::reportWithoutCheckIgnored_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("pushes");
    QTest::addColumn<bool>("importPageShown");

    QTest::newRow("import page shown") << int(ImportPageShown) << 1 << true;
    QTest::newRow("activated anew during a check") << int(ActivatedAnewDuringCheck) << 3 << true;
    QTest::newRow("left during a check") << int(ModuleLeftDuringCheck) << 2 << false;
}

void tst_OfflineUpdateModule::reportWithoutCheckIgnored()
{
    QFETCH(int, before);
    QFETCH(int, pushes);
    QFETCH(bool, importPageShown);

    FakeFrame frame;
    OfflineUpdateModule module(&frame);
    module.active(0);
    if (before != ImportPageShown) {
        module.setOfflineUpdateFile(PackagePath);
        module.deactive();
    }
    if (before == ActivatedAnewDuringCheck)
        module.active(0);
    QCOMPARE(frame.pushes().size(), pushes);
    QPointer<QWidget> lastPage = frame.pushes().last().page;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QVERIFY(report(module, 6, true));
    QCOMPARE(frame.pushes().size(), pushes);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(bool(lastPage), importPageShown);
    if (importPageShown)
        QVERIFY(qobject_cast<OfflineUpdateWidget *>(lastPage.data()));
}

void tst_OfflineUpdateModule::pathDroppedWhileChecking()
{
    FakeFrame frame;
    OfflineUpdateModule module(&frame);
    module.active(0);
    module.setOfflineUpdateFile(PackagePath);
    QTRY_COMPARE_WITH_TIMEOUT(m_daemon->members().size(), 1, 5000);

    module.setOfflineUpdateFile(QStringLiteral("/media/usb/other.oup"));
    QCOMPARE(frame.pushes().size(), 2);
    // A second request would have gone out at once; the bus is quick to pass it on.
    QVERIFY(report(module, 6, true));
    QCOMPARE(m_daemon->members().size(), 1);
}

void tst_OfflineUpdateModule::reactivation()
{
    FakeFrame frame;
    OfflineUpdateModule module(&frame);
    module.active(0);
    auto *model = module.findChild<OfflineUpdateModel *>();
    QVERIFY(model);
    module.setOfflineUpdateFile(PackagePath);
    QPointer<OfflineUpdateCheckingWidget> checkingPage
        = pushedPage<OfflineUpdateCheckingWidget>(frame, 1);
    QVERIFY(checkingPage);

    module.deactive();
    module.active(0);
    QCOMPARE(frame.pushes().size(), 3);
    QPointer<OfflineUpdateWidget> importPage = pushedPage<OfflineUpdateWidget>(frame, 2);
    QVERIFY(importPage);
    QTRY_VERIFY(!checkingPage);
    QCOMPARE(module.findChildren<OfflineUpdateModel *>(), QList<OfflineUpdateModel *> { model });

    // The fresh import page takes a package again and the flow starts over.
    module.setOfflineUpdateFile(PackagePath);
    QVERIFY(pushedPage<OfflineUpdateCheckingWidget>(frame, 3));
    QTRY_COMPARE_WITH_TIMEOUT(m_daemon->members().size(), 2, 5000);
    QVERIFY(report(module, 5, false));
    QCOMPARE(frame.pushes().size(), 5);
    QVERIFY(pushedPage<OfflineCheckResultWidget>(frame, 4));
}

void tst_OfflineUpdateModule::deactiveDisposesResultPage()
{
    FakeFrame frame;
    OfflineUpdateModule module(&frame);
    module.active(0);
    module.setOfflineUpdateFile(PackagePath);
    QVERIFY(report(module, 6, true));
    QPointer<OfflineCheckResultWidget> resultPage = pushedPage<OfflineCheckResultWidget>(frame, 2);
    QVERIFY(resultPage);

    module.deactive();
    QTRY_VERIFY(!resultPage);
    module.active(0);
    QVERIFY(pushedPage<OfflineUpdateWidget>(frame, 3));
}

void tst_OfflineUpdateModule::refusedCheckStopsWaiting()
{
    m_daemon->stop();
    FakeFrame frame;
    OfflineUpdateModule module(&frame);
    module.active(0);
    module.setOfflineUpdateFile(PackagePath);
    auto *checkingPage = pushedPage<OfflineUpdateCheckingWidget>(frame, 1);
    QVERIFY(checkingPage);
    auto *spinner = checkingPage->findChild<Karvo::Spinner *>();
    QVERIFY(spinner->isPlaying());

    QTRY_VERIFY_WITH_TIMEOUT(!spinner->isPlaying(), 5000);
    const QString sentence
        = OfflineUpdateCheckingWidget::tr("The package check could not be started: %1");
    const QString shown = checkingPage->findChild<QLabel *>()->text();
    QVERIFY2(
        shown.startsWith(sentence.left(sentence.indexOf(QLatin1String("%1")))), qPrintable(shown));
    QVERIFY2(shown.contains(QLatin1String("not installed or not running")), qPrintable(shown));
    QCOMPARE(frame.pushes().size(), 2);
}

QTEST_MAIN(tst_OfflineUpdateModule)
#include "tst_offlineupdatemodule.moc"
