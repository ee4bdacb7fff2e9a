// Tests the offline update module's page flow, with a stand-in main window and a scripted
// daemon on a private system bus.
// Faults caught here:
// - a page pushed out of turn, a page that is never disposed of, or a check that is not
//   started (or started with another path) when the import page accepts a package;
// - a second check report, or a report while no check of the module's own is under way (after
//   re-activation, after leaving, or from another client of the daemon), pushing a result page
//   over the page the user is on or deleting it;
// - a package path taken while the checking page is shown, starting a second check;
// - re-activation that does not give a fresh import page, or makes a second model (whose
//   duplicate connections would handle every report twice);
// - a check request that the bus refuses at once leaving the checking page spinning for ever.
#include "frameproxyinterface.h"
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
#include <QPointer>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>
#include <memory>

namespace {

const QString DaemonService = QStringLiteral("com.tevrin.offline.update.daemon");
const QString CheckMethod = QStringLiteral("StartOfflineFileCheck");
const QString PackagePath = QStringLiteral("/media/usb/update.oup");

// The main window as a module sees it: a page area that takes over every pushed page.
struct Frame : FrameProxyInterface
{
    void pushWidget(ModuleInterface *inter, QWidget *widget) override
    {
        widget->setParent(&pageArea);
        widget->show();
        pushes.append({ inter, widget });
    }
    void setCurrentModule(int, int) override { }
    ModuleInterface *currentModule() override { return nullptr; }

    template <typename Page> Page *page(int index) const
    {
        return index < pushes.size() ? qobject_cast<Page *>(pushes.at(index).second.data())
                                     : nullptr;
    }

    QWidget pageArea;
    QList<QPair<ModuleInterface *, QPointer<QWidget>>> pushes;
};

} // namespace

class tst_OfflineUpdateModule : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { m_daemon.reset(); }

    void checkFlow();
    void reportsIgnored_data();
    void reportsIgnored();
    void pathDroppedWhileChecking();
    void reactivation();
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
}

void tst_OfflineUpdateModule::init()
{
    m_daemon = std::make_unique<ScriptedService>(m_buses.systemAddress(), DaemonService,
        QStringLiteral("/com/tevrin/offline/update/daemon"), DaemonService);
    // As the real daemon: no answer until the check has ended, which is after these tests.
    ScriptedObject::Reply checkRunsOn;
    checkRunsOn.never = true;
    m_daemon->setReply(CheckMethod, checkRunsOn);
    QString error;
    QVERIFY2(m_daemon->start(&error), qPrintable(error));
}

bool tst_OfflineUpdateModule::report(OfflineUpdateModule &module, int itemType, bool result)
{
    auto *model = module.findChild<OfflineUpdateModel *>();
    QSignalSpy relayed(model, &OfflineUpdateModel::notifyOfflineCheckResult);
    return m_daemon->emitSignal(
               QStringLiteral("NotifyOfflineFileCheckResult"), { itemType, result })
        && relayed.wait(5000);
}

void tst_OfflineUpdateModule::checkFlow()
{
    Frame frame;
    OfflineUpdateModule module(&frame);
    module.active(0);
    QPointer<OfflineUpdateWidget> importPage = frame.page<OfflineUpdateWidget>(0);
    QVERIFY(importPage);

    module.setOfflineUpdateFile(PackagePath);
    QPointer<OfflineUpdateCheckingWidget> checkingPage = frame.page<OfflineUpdateCheckingWidget>(1);
    QVERIFY(checkingPage);
    QTRY_VERIFY(!importPage);
    QTRY_COMPARE_WITH_TIMEOUT(m_daemon->members(), QStringList { CheckMethod }, 5000);
    QCOMPARE(m_daemon->calls().first().arguments, QVariantList({ QDir::homePath(), PackagePath }));

    QVERIFY(report(module, 4, false));
    QCOMPARE(frame.pushes.size(), 3);
    auto *resultPage = frame.page<OfflineCheckResultWidget>(2);
    QVERIFY(resultPage);
    QTRY_VERIFY(!checkingPage);
    for (const auto &push : qAsConst(frame.pushes))
        QCOMPARE(push.first, &module);
    // The page shows the reported item: the architecture row failed.
    const QAbstractItemModel *table = resultPage->findChild<QTableView *>()->model();
    QCOMPARE(table->index(2, 1).data().toString(), QStringLiteral("Fail"));
}

void tst_OfflineUpdateModule::reportsIgnored_data()
{
    // Steps: a = active(0), d = deactive(), f = a package path taken, r = a check report.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<int>("pushes");
    QTest::addColumn<bool>("lastPageKept");

    QTest::newRow("import page shown") << QStringLiteral("a") << 1 << true;
    QTest::newRow("second report") << QStringLiteral("afr") << 3 << true;
    QTest::newRow("activated anew during a check") << QStringLiteral("afda") << 3 << true;
    QTest::newRow("left during a check") << QStringLiteral("afd") << 2 << false;
    QTest::newRow("left on the result page") << QStringLiteral("afrd") << 3 << false;
    QTest::newRow("back after the result page") << QStringLiteral("afrda") << 4 << true;
}

void tst_OfflineUpdateModule::reportsIgnored()
{
    QFETCH(QString, steps);
    QFETCH(int, pushes);
    QFETCH(bool, lastPageKept);

    Frame frame;
    OfflineUpdateModule module(&frame);
    for (const QChar step : steps) {
        if (step == QLatin1Char('a'))
            module.active(0);
        else if (step == QLatin1Char('d'))
            module.deactive();
        else if (step == QLatin1Char('f'))
            module.setOfflineUpdateFile(PackagePath);
        else
            QVERIFY(report(module, 6, true));
    }
    QCOMPARE(frame.pushes.size(), pushes);
    QPointer<QWidget> lastPage = frame.pushes.last().second;

    QVERIFY(report(module, 0, false));
    QCOMPARE(frame.pushes.size(), pushes);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(bool(lastPage), lastPageKept);
}

void tst_OfflineUpdateModule::pathDroppedWhileChecking()
{
    Frame frame;
    OfflineUpdateModule module(&frame);
    module.active(0);
    module.setOfflineUpdateFile(PackagePath);
    QTRY_COMPARE_WITH_TIMEOUT(m_daemon->members().size(), 1, 5000);

    module.setOfflineUpdateFile(QStringLiteral("/media/usb/other.oup"));
    QCOMPARE(frame.pushes.size(), 2);
    // A second request would have gone out at once; the bus is quick to pass it on.
    QVERIFY(report(module, 6, true));
    QCOMPARE(m_daemon->members().count(CheckMethod), 1);
}

void tst_OfflineUpdateModule::reactivation()
{
    Frame frame;
    OfflineUpdateModule module(&frame);
    module.active(0);
    auto *model = module.findChild<OfflineUpdateModel *>();
    QVERIFY(model);
    module.setOfflineUpdateFile(PackagePath);
    QPointer<OfflineUpdateCheckingWidget> checkingPage = frame.page<OfflineUpdateCheckingWidget>(1);

    module.deactive();
    module.active(0);
    QVERIFY(frame.page<OfflineUpdateWidget>(2));
    QTRY_VERIFY(!checkingPage);
    QCOMPARE(module.findChildren<OfflineUpdateModel *>(), QList<OfflineUpdateModel *> { model });

    // The fresh import page takes a package again and the flow starts over.
    module.setOfflineUpdateFile(PackagePath);
    QVERIFY(frame.page<OfflineUpdateCheckingWidget>(3));
    QTRY_COMPARE_WITH_TIMEOUT(m_daemon->members().size(), 2, 5000);
    QVERIFY(report(module, 5, false));
    QCOMPARE(frame.pushes.size(), 5);
    QVERIFY(frame.page<OfflineCheckResultWidget>(4));
}

void tst_OfflineUpdateModule::refusedCheckStopsWaiting()
{
    m_daemon->stop();
    Frame frame;
    OfflineUpdateModule module(&frame);
    module.active(0);
    module.setOfflineUpdateFile(PackagePath);
    auto *checkingPage = frame.page<OfflineUpdateCheckingWidget>(1);
    QVERIFY(checkingPage);
    auto *spinner = checkingPage->findChild<Karvo::Spinner *>();
    QVERIFY(spinner->isPlaying());

    QTRY_VERIFY_WITH_TIMEOUT(!spinner->isPlaying(), 5000);
    const QString shown = checkingPage->findChild<QLabel *>()->text();
    QVERIFY2(shown.contains(QLatin1String("not installed or not running")), qPrintable(shown));
    QCOMPARE(frame.pushes.size(), 2);
}

QTEST_MAIN(tst_OfflineUpdateModule)
#include "tst_offlineupdatemodule.moc"
