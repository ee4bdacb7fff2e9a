// Tests the offline update module's page flow, with a stand-in main window and a scripted daemon
// on a private system bus. Faults caught here:
// - a page pushed out of turn or never disposed of; a check not started, started twice, or
//   started with another path or without the home directory;
// - ".oup" matched only as the suffix ("update.oup.bak" is taken);
// - a report while no check of the module's own is under way (a second one, after the result
//   was shown) pushing a result page over the page the user is on or deleting it;
// - a check's result or end lost when another module was shown meanwhile: coming back must
//   show the check, not the import page;
// - a daemon gone mid-check leaving the page spinning, or a failed check (on the checking or
//   the result page) without the way back to choose another package;
// - re-activation without a fresh import page, or with a second model (whose duplicate
//   connections would handle every report twice);
// - a request to check the package again (its plan no longer holds) that leaves the result page
//   or checks another path.
#include "frameproxyinterface.h"
#include "offlinecheckresultwidget.h"
#include "offlineupdatecheckingwidget.h"
#include "offlineupdatemodel.h"
#include "offlineupdatemodule.h"
#include "offlineupdatewidget.h"
#include "scriptedservice.h"
#include "testbuses.h"

#include <QDir>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QtTest>
#include <memory>

namespace {

const QString CheckMethod = QStringLiteral("StartOfflineFileCheck");

// The main window as a module sees it: a page area that takes over every pushed page.
struct Frame : FrameProxyInterface
{
    void pushWidget(ModuleInterface *inter, QWidget *widget) override
    {
        widget->setParent(&pageArea);
        widget->show();
        pushes.append({ inter, widget });
        kinds += qobject_cast<OfflineUpdateWidget *>(widget)      ? 'i'
            : qobject_cast<OfflineUpdateCheckingWidget *>(widget) ? 'c'
            : qobject_cast<OfflineCheckResultWidget *>(widget)    ? 'r'
                                                                  : '?';
    }
    void setCurrentModule(int, int) override { }
    ModuleInterface *currentModule() override { return nullptr; }

    QWidget pageArea;
    QList<QPair<ModuleInterface *, QPointer<QWidget>>> pushes;
    QString kinds;
};

} // namespace

class tst_OfflineUpdateModule : public QObject
{
    Q_OBJECT

    TestBuses m_buses;
    std::unique_ptr<ScriptedService> m_daemon;

private slots:
    void initTestCase()
    {
        QCOMPARE(m_buses.start(), QString());
        qputenv("HOME", "/tmp/tst-offlineupdatemodule-home");
    }

    void init()
    {
        m_daemon = std::make_unique<ScriptedService>(
            m_buses.systemAddress(), QStringLiteral("com.tevrin.offline.update.daemon"));
        // As the real daemon: no answer until the check has ended, which is after these tests.
        m_daemon->setReply(CheckMethod, { {}, 0, true, {}, {} });
        QCOMPARE(m_daemon->start(), QString());
    }

    void cleanup() { m_daemon.reset(); }

    void flow_data()
    {
        // Steps: a = active(0), d = deactive(), f = |path| handed over, r = a check report of a
        // failed architecture, v = the daemon leaves the bus, b = the page's way back, g = the
        // result page asks for the package to be checked again.
        // Pages pushed: i = import, c = checking, r = result, in capitals while they live.
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("pages");
        QTest::addColumn<int>("checks");

        const QString package = QStringLiteral("/media/usb/update.oup");
        QTest::newRow("backup copy of a package") << "/tmp/x.oup.bak"
                                                  << "af"
                                                  << "iC" << 1;
        QTest::newRow("report on the import page") << package << "ar"
                                                   << "I" << 0;
        QTest::newRow("second report") << package << "afrr"
                                       << "icR" << 1;
        QTest::newRow("activated anew during a check") << package << "afdar"
                                                       << "iccR" << 1;
        QTest::newRow("report while away") << package << "afdra"
                                           << "icR" << 1;
        QTest::newRow("checked again after the result") << package << "afrdafr"
                                                        << "icricR" << 2;
        QTest::newRow("daemon gone mid-check") << package << "afv"
                                               << "iC" << 1;
        QTest::newRow("back after the daemon has gone") << package << "afvb"
                                                        << "icI" << 1;
        QTest::newRow("back after a failed check") << package << "afrbf"
                                                   << "icriC" << 2;
        QTest::newRow("checked again after a changed plan") << package << "afrg"
                                                            << "icrC" << 2;
    }

    void flow()
    {
        QFETCH(QString, path);
        QFETCH(QString, steps);
        QFETCH(QString, pages);
        QFETCH(int, checks);

        Frame frame;
        OfflineUpdateModule module(
            &frame, QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        for (const QChar step : steps) {
            if (step == 'a') {
                module.active(0);
            } else if (step == 'd') {
                module.deactive();
            } else if (step == 'f') {
                module.setOfflineUpdateFile(path);
            } else if (step == 'v') {
                QSignalSpy vanished(module.findChild<OfflineUpdateModel *>(),
                    &OfflineUpdateModel::notifyDaemonVanished);
                m_daemon->stop();
                QVERIFY(vanished.wait(5000));
            } else if (step == 'g') {
                auto *page = qobject_cast<OfflineCheckResultWidget *>(frame.pushes.last().second);
                QVERIFY(page);
                emit page->checkAgainRequested();
            } else if (step == 'b') {
                QWidget *page = frame.pushes.last().second;
                auto *back = page->findChild<QPushButton *>(QStringLiteral("chooseAnotherPackage"));
                QTRY_VERIFY(back->isVisibleTo(page));
                back->click();
            } else {
                QSignalSpy relayed(module.findChild<OfflineUpdateModel *>(),
                    &OfflineUpdateModel::notifyOfflineCheckResult);
                QVERIFY(m_daemon->emitSignal(
                    QStringLiteral("NotifyOfflineFileCheckResult"), { 4, false }));
                QVERIFY(relayed.wait(5000));
            }
        }
        QCOMPARE(module.findChildren<OfflineUpdateModel *>().size(), 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QString pushed = frame.kinds;
        for (int i = 0; i < frame.pushes.size(); ++i) {
            QCOMPARE(frame.pushes.at(i).first, &module);
            if (frame.pushes.at(i).second)
                pushed[i] = pushed.at(i).toUpper();
        }
        QCOMPARE(pushed, pages);

        QTRY_COMPARE_WITH_TIMEOUT(m_daemon->members().count(CheckMethod), checks, 5000);
        for (const ScriptedService::Call &call : m_daemon->calls())
            QVERIFY(call.member != CheckMethod
                || call.arguments == QVariantList({ QDir::homePath(), path }));
        QWidget *last = frame.pushes.last().second;
        if (auto *result = qobject_cast<OfflineCheckResultWidget *>(last))
            QTRY_COMPARE(result->findChild<QTableView *>()->model()->index(3, 1).data().toString(),
                QStringLiteral("Fail"));
        if (auto *checking = qobject_cast<OfflineUpdateCheckingWidget *>(last))
            QCOMPARE(checking->findChild<QPushButton *>(QStringLiteral("chooseAnotherPackage"))
                         ->isVisibleTo(checking),
                steps.endsWith('v'));
    }
};

QTEST_MAIN(tst_OfflineUpdateModule)
#include "tst_offlineupdatemodule.moc"
