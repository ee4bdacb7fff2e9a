// Tests the check result page against a scripted daemon and session manager on private buses.
// Faults caught here:
// - a report filled into the wrong rows, texts or verdicts, a patch package without its
//   vulnerability identifier, or the upgrade left reachable after a failed item;
// - the start button enabled without the acknowledgement, or after unticking;
// - a failure that leaves the progress dialog over the screen, shows the other failure sentence,
//   or shows it while the dialog is still up; a finished upgrade that does not run the
//   post-upgrade hooks and then request the reboot; a refused upgrade request that leaves the
//   dialog up for ever;
// - a table painted without its alternate bands, or pass and fail in the same colour.
#include "commandlinkbutton.h"
#include "dialog.h"
#include "floatingmessage.h"
#include "modalhandler.h"
#include "offlinecheckresultwidget.h"
#include "offlineupdatemodel.h"
#include "offlineupgradedialog.h"
#include "scriptedservice.h"
#include "suggestbutton.h"
#include "testbuses.h"
#include "warningbutton.h"

#include <QCheckBox>
#include <QLabel>
#include <QTableView>
#include <QtTest>
#include <memory>

namespace {

ScriptedService::Reply answer(const QVariant &value)
{
    return { { value }, 0, false, {}, {} };
}

// The table as "item|result|value" lines, or the texts shown instead of it.
QStringList shownRows(const OfflineCheckResultWidget &page)
{
    QStringList rows;
    const QTableView *table = page.findChild<QTableView *>();
    if (!table->isVisibleTo(&page)) {
        for (const QLabel *label : page.findChildren<QLabel *>())
            if (label->isVisibleTo(&page) && !label->text().isEmpty())
                rows.append(label->text());
        return rows;
    }
    for (int row = 0; row < table->model()->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < 3; ++column)
            cells.append(table->model()->index(row, column).data().toString());
        rows.append(cells.join('|'));
    }
    return rows;
}

} // namespace

class tst_OfflineCheckResultWidget : public QObject
{
    Q_OBJECT

    TestBuses m_buses;
    std::unique_ptr<ScriptedService> m_daemon;
    std::unique_ptr<ScriptedService> m_sessionManager;

private slots:
    void initTestCase() { QCOMPARE(m_buses.start(), QString()); }

    void init()
    {
        m_daemon = std::make_unique<ScriptedService>(
            m_buses.systemAddress(), QStringLiteral("com.tevrin.offline.update.daemon"));
        m_sessionManager = std::make_unique<ScriptedService>(
            m_buses.sessionAddress(), QStringLiteral("com.tevrin.SessionManager"));
        m_daemon->setReply(QStringLiteral("GetPatchUpgradeSerial"), answer("CVE-2026-0042"));
        m_daemon->setReply(QStringLiteral("GetDistUpgradeSum"), answer(7));
        m_daemon->setReply(QStringLiteral("IsAllowBackupSystem"), answer(true));
        m_daemon->setReply(QStringLiteral("BackupSystem"), { {}, 0, true, {}, {} }); // runs on
        m_daemon->setReply(QStringLiteral("StartExecHookPost"), { {}, 500, false, {}, {} });
        QCOMPARE(m_daemon->start(), QString());
        QCOMPARE(m_sessionManager->start(), QString());
    }

    void cleanup()
    {
        m_daemon.reset();
        m_sessionManager.reset();
    }

    void fillsPage_data()
    {
        QTest::addColumn<int>("itemType");
        QTest::addColumn<bool>("result");
        QTest::addColumn<int>("upgradeType");
        QTest::addColumn<QStringList>("rows");

        const auto checks = [](bool patch, const char *version, const char *architecture,
                                const char *space, const char *count) {
            QStringList rows { patch ? "Upgrade Type|CVE Patch Update|-1"
                                     : "Upgrade Type|System Update|-1" };
            if (patch)
                rows << "Vulnerability ID|CVE-2026-0042|-1";
            return rows << QStringLiteral("System Version Detection|") + version
                        << QStringLiteral("Offline Package Architecture Detection|") + architecture
                        << QStringLiteral("Disk Space Detection|") + space
                        << QStringLiteral("Offline Package Update Number Detection|") + count;
        };
        const char *const no = "Not Detected|0";
        const char *const pass = "Pass|2";
        QTest::newRow("0 no room")
            << 0 << false << 1
            << QStringList { "Insufficient disk space, please clean up disk space and try again!" };
        QTest::newRow("1 corrupted")
            << 1 << false << 1 << QStringList { "File corrupted, please check and try again!" };
        QTest::newRow("2 hooks failed")
            << 2 << false << 1
            << QStringList { QStringLiteral(
                   "System environment is abnormal, contact the administrator！") };
        QTest::newRow("3 version, flag set")
            << 3 << true << 1 << checks(false, "Fail|1", no, no, no);
        QTest::newRow("4 architecture, patch")
            << 4 << false << 2 << checks(true, pass, "Fail|1", no, no);
        QTest::newRow("5 space") << 5 << false << 1 << checks(false, pass, pass, "Fail|1", no);
        QTest::newRow("6 passed, patch")
            << 6 << true << 2 << checks(true, pass, pass, pass, "7 item(s)|2");
        QTest::newRow("unknown item failed") << 9 << false << 0 << checks(false, no, no, no, no);
        QTest::newRow("unknown item passed")
            << 9 << true << 0 << checks(false, pass, pass, pass, "7 item(s)|2");
    }

    void fillsPage()
    {
        QFETCH(int, itemType);
        QFETCH(bool, result);
        QFETCH(int, upgradeType);
        QFETCH(QStringList, rows);

        m_daemon->setReply(QStringLiteral("GetUpgradeType"), answer(upgradeType));
        OfflineUpdateModel model;
        OfflineCheckResultWidget page(&model, itemType, result);
        QCOMPARE(shownRows(page), rows);
        const bool upgradable = rows.last().endsWith(QLatin1String("item(s)|2"));
        auto *box = page.findChild<QCheckBox *>();
        auto *start = page.findChild<Karvo::SuggestButton *>();
        QCOMPARE(box->isEnabled(), upgradable);
        QCOMPARE(page.findChild<Karvo::CommandLinkButton *>()->isEnabled(), upgradable);
        QVERIFY(!start->isEnabled());
        box->click(); // as a user: does nothing while the box is disabled
        QCOMPARE(start->isEnabled(), upgradable);
        box->click();
        QVERIFY(!start->isEnabled());
    }

    void upgradeOutcome_data()
    {
        QTest::addColumn<int>("code"); // 0: the upgrade request is refused instead
        QTest::addColumn<QString>("failure");
        QTest::newRow("backup failed")
            << -1
            << QStringLiteral("System backup failed, please contact administrator to resolve.");
        QTest::newRow("upgrade failed")
            << -2
            << QStringLiteral("The upgrade fails due to an exception in the resource package, "
                              "perform a system restoration.");
        QTest::newRow("finished") << 1 << QString();
        QTest::newRow("refused") << 0
                                 << QStringLiteral("The upgrade could not be started: upgrading "
                                                   "the system needs an administrator's "
                                                   "authorization, which was not given");
    }

    void upgradeOutcome()
    {
        QFETCH(int, code);
        QFETCH(QString, failure);

        if (code == 0)
            m_daemon->setReply(QStringLiteral("BackupSystem"),
                { {}, 0, false, QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"), "no" });
        OfflineUpdateModel model;
        OfflineCheckResultWidget page(&model, 6, true);
        page.show();
        page.findChild<QCheckBox *>()->setChecked(true);
        {
            ModalHandler confirm([](QDialog *dialog) {
                dialog->findChild<QCheckBox *>()->setChecked(true);
                QTest::mouseClick(dialog->findChild<Karvo::WarningButton *>(), Qt::LeftButton);
            });
            QTest::mouseClick(page.findChild<Karvo::SuggestButton *>(), Qt::LeftButton);
        }
        auto *progressDialog = page.findChild<OfflineUpgradeDialog *>();
        QVERIFY(progressDialog && progressDialog->isVisible());
        QTRY_VERIFY(m_daemon->members().contains(QStringLiteral("BackupSystem")));

        QString shown;
        ModalHandler readFailure([&](QDialog *dialog) {
            if (auto *failureDialog = qobject_cast<Karvo::Dialog *>(dialog)) {
                shown = progressDialog->isVisible() ? QStringLiteral("under the progress dialog")
                                                    : failureDialog->message();
                failureDialog->reject();
            }
        });
        if (code != 0) {
            QSignalSpy reported(&model, &OfflineUpdateModel::notifyOfflineUpgradeProgress);
            QVERIFY(m_daemon->emitSignal(
                QStringLiteral("NotifyOfflineUpgradeProgress"), { code < 0 ? 80 : 100, code }));
            QVERIFY(reported.wait(5000));
        }
        QTRY_VERIFY(!progressDialog->isVisible());
        if (failure.isEmpty())
            QTest::qWait(1500); // as long as a failure would take to show
        QTRY_COMPARE_WITH_TIMEOUT(shown, failure, 5000);

        const bool finished = code > 0;
        QTRY_COMPARE(
            m_sessionManager->members().contains(QStringLiteral("RequestReboot")), finished);
        const QList<ScriptedService::Call> calls = m_daemon->calls();
        QCOMPARE(calls.constLast().member == QStringLiteral("StartExecHookPost"), finished);
        QVERIFY2(!finished
                || m_sessionManager->calls().constFirst().receivedMs
                    >= calls.constLast().answeredMs,
            "the reboot was requested before the post-upgrade hooks had answered");
        QCOMPARE(page.findChildren<Karvo::FloatingMessage *>().size(), finished ? 1 : 0);
    }

    void paintsBandsAndVerdicts()
    {
        OfflineUpdateModel model;
        OfflineCheckResultWidget page(&model, 4, false);
        page.resize(700, 600);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        auto *table = page.findChild<QTableView *>();
        const QImage image = table->viewport()->grab().toImage();
        const auto cell = [&](int row, int column) {
            return table->visualRect(table->model()->index(row, column));
        };

        // Rows: type, version (pass), architecture (fail), space, count. Odd rows are banded.
        const auto band
            = [&](int row) { return image.pixelColor(cell(row, 0).topLeft() + QPoint(100, 3)); };
        QVERIFY(band(1) != band(0));
        QCOMPARE(band(2), band(0));
        QVERIFY(band(3) != band(0));

        // The most saturated pixel of a verdict is its text's colour.
        const auto textColour = [&](int row) {
            QColor found = Qt::gray;
            const QRect verdict = cell(row, 1);
            for (int x = verdict.left(); x < verdict.right(); ++x)
                for (int y = verdict.top(); y < verdict.bottom(); ++y)
                    if (image.pixelColor(x, y).hsvSaturation() > found.hsvSaturation())
                        found = image.pixelColor(x, y);
            return found;
        };
        const QColor passed = textColour(1);
        const QColor failed = textColour(2);
        QVERIFY2(passed.green() > passed.red() + 60, qPrintable(passed.name()));
        QVERIFY2(failed.red() > failed.green() + 60, qPrintable(failed.name()));
    }
};

QTEST_MAIN(tst_OfflineCheckResultWidget)
#include "tst_offlinecheckresultwidget.moc"
