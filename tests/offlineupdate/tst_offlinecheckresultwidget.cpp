// Tests the check result page against a scripted daemon and session manager on private buses.
// Faults caught here:
// - a report filled into the wrong rows, texts or verdicts, a patch package without its
//   vulnerability identifier, or the upgrade left reachable after a failed item (the check box
//   must stay disabled in every failure layout);
// - the start button enabled without the acknowledgement, or left enabled after unticking;
// - a progress pair handled wrongly: a failure that leaves the progress dialog over the screen,
//   shows the other failure sentence, or shows it before the dialog has gone; a finished upgrade
//   that does not run the post-upgrade hooks and request the reboot; an intermediate pair that
//   closes the dialog; a refused upgrade request that leaves the progress dialog up for ever;
// - upgrade output not reaching the progress dialog's log box;
// - a table painted without its alternate bands, or pass and fail in the same colour.
#include "commandlinkbutton.h"
#include "confirmdialog.h"
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

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QStandardItemModel>
#include <QTableView>
#include <QTextEdit>
#include <QtTest>
#include <memory>

namespace {

const QString DaemonService = QStringLiteral("com.tevrin.offline.update.daemon");
const QString SessionManagerService = QStringLiteral("com.tevrin.SessionManager");
const QString BackupFailed
    = QStringLiteral("System backup failed, please contact administrator to resolve.");
const QString PackageFailed = QStringLiteral(
    "The upgrade fails due to an exception in the resource package, perform a system restoration.");

ScriptedObject::Reply answer(const QVariant &value)
{
    ScriptedObject::Reply reply;
    reply.arguments = { value };
    return reply;
}

QStringList tableRows(const OfflineCheckResultWidget &page)
{
    const QAbstractItemModel *model = page.findChild<QTableView *>()->model();
    QStringList rows;
    for (int row = 0; row < model->rowCount(); ++row)
        rows.append(
            QStringLiteral("%1|%2|%3")
                .arg(model->index(row, 0).data().toString(), model->index(row, 1).data().toString(),
                    model->index(row, 2).data().toString()));
    return rows;
}

} // namespace

class tst_OfflineCheckResultWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fillsPage_data();
    void fillsPage();
    void checkBoxGatesStart();
    void upgradeOutcome_data();
    void upgradeOutcome();
    void paintsBandsAndVerdicts();

private:
    // Goes from the start button through the confirmation to a running upgrade.
    OfflineUpgradeDialog *startUpgrade(OfflineCheckResultWidget &page);

    TestBuses m_buses;
    std::unique_ptr<ScriptedService> m_daemon;
    std::unique_ptr<ScriptedService> m_sessionManager;
};

void tst_OfflineCheckResultWidget::initTestCase()
{
    QString error;
    QVERIFY2(m_buses.start(&error), qPrintable(error));
}

void tst_OfflineCheckResultWidget::init()
{
    m_daemon = std::make_unique<ScriptedService>(m_buses.systemAddress(), DaemonService,
        QStringLiteral("/com/tevrin/offline/update/daemon"), DaemonService);
    m_sessionManager = std::make_unique<ScriptedService>(m_buses.sessionAddress(),
        SessionManagerService, QStringLiteral("/com/tevrin/SessionManager"), SessionManagerService);
    m_daemon->setReply(QStringLiteral("GetUpgradeType"), answer(1));
    m_daemon->setReply(QStringLiteral("GetDistUpgradeSum"), answer(7));
    m_daemon->setReply(QStringLiteral("IsAllowBackupSystem"), answer(true));
    ScriptedObject::Reply upgradeRunsOn;
    upgradeRunsOn.never = true;
    m_daemon->setReply(QStringLiteral("BackupSystem"), upgradeRunsOn);
    QString error;
    QVERIFY2(m_daemon->start(&error), qPrintable(error));
    QVERIFY2(m_sessionManager->start(&error), qPrintable(error));
}

void tst_OfflineCheckResultWidget::cleanup()
{
    m_daemon.reset();
    m_sessionManager.reset();
}

void tst_OfflineCheckResultWidget::fillsPage_data()
{
    QTest::addColumn<int>("itemType");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("upgradeType");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<bool>("upgradable");

    const QStringList system { QStringLiteral("Upgrade Type|System Update|-1") };
    const QStringList patch { QStringLiteral("Upgrade Type|CVE Patch Update|-1"),
        QStringLiteral("Vulnerability ID|CVE-2026-0042|-1") };
    const auto checks
        = [](const char *version, const char *architecture, const char *space, const char *count) {
              return QStringList { QStringLiteral("System Version Detection|") + version,
                  QStringLiteral("Offline Package Architecture Detection|") + architecture,
                  QStringLiteral("Disk Space Detection|") + space,
                  QStringLiteral("Offline Package Update Number Detection|") + count };
          };
    const QStringList none;

    QTest::newRow("0 no room") << 0 << false << 1 << 7
                               << "Insufficient disk space, please clean up disk space and try "
                                  "again!"
                               << none << false;
    QTest::newRow("1 corrupted") << 1 << false << 1 << 7
                                 << "File corrupted, please check and try again!" << none << false;
    QTest::newRow("2 hooks failed")
        << 2 << false << 2 << 7
        << QStringLiteral("System environment is abnormal, contact the administrator！") << none
        << false;
    QTest::newRow("3 version, flag set")
        << 3 << true << 1 << 7 << QString()
        << system + checks("Fail|1", "Not Detected|0", "Not Detected|0", "Not Detected|0") << false;
    QTest::newRow("4 architecture, patch")
        << 4 << false << 2 << 7 << QString()
        << patch + checks("Pass|2", "Fail|1", "Not Detected|0", "Not Detected|0") << false;
    QTest::newRow("5 space") << 5 << false << 1 << 7 << QString()
                             << system + checks("Pass|2", "Pass|2", "Fail|1", "Not Detected|0")
                             << false;
    QTest::newRow("6 nothing to upgrade")
        << 6 << false << 1 << 7 << QString()
        << system + checks("Pass|2", "Pass|2", "Pass|2", "No available update package|1") << false;
    QTest::newRow("6 passed, patch")
        << 6 << true << 2 << 7 << QString()
        << patch + checks("Pass|2", "Pass|2", "Pass|2", "7 item(s)|2") << true;
    QTest::newRow("6 passed, count 0")
        << 6 << true << 1 << 0 << QString()
        << system + checks("Pass|2", "Pass|2", "Pass|2", "0 item(s)|2") << true;
    QTest::newRow("unknown item") << 9 << false << 0 << 3 << QString()
                                  << system + checks("Pass|2", "Pass|2", "Pass|2", "3 item(s)|2")
                                  << true;
}

void tst_OfflineCheckResultWidget::fillsPage()
{
    QFETCH(int, itemType);
    QFETCH(bool, result);
    QFETCH(int, upgradeType);
    QFETCH(int, count);
    QFETCH(QString, error);
    QFETCH(QStringList, rows);
    QFETCH(bool, upgradable);

    m_daemon->setReply(QStringLiteral("GetUpgradeType"), answer(upgradeType));
    m_daemon->setReply(
        QStringLiteral("GetPatchUpgradeSerial"), answer(QStringLiteral("CVE-2026-0042")));
    m_daemon->setReply(QStringLiteral("GetDistUpgradeSum"), answer(count));
    OfflineUpdateModel model;
    OfflineCheckResultWidget page(&model, itemType, result);
    page.show();

    const QTableView *table = page.findChild<QTableView *>();
    QCOMPARE(table->isVisibleTo(&page), error.isEmpty());
    const QList<QLabel *> labels = page.findChildren<QLabel *>();
    const bool errorShown = std::any_of(labels.begin(), labels.end(),
        [&](const QLabel *label) { return label->isVisibleTo(&page) && label->text() == error; });
    QCOMPARE(errorShown, !error.isEmpty());
    if (error.isEmpty())
        QCOMPARE(tableRows(page), rows);
    QCOMPARE(page.findChild<QCheckBox *>()->isEnabled(), upgradable);
    QCOMPARE(page.findChild<Karvo::CommandLinkButton *>()->isEnabled(), upgradable);
    QVERIFY(!page.findChild<Karvo::SuggestButton *>()->isEnabled());
}

void tst_OfflineCheckResultWidget::checkBoxGatesStart()
{
    OfflineUpdateModel model;
    OfflineCheckResultWidget page(&model, 6, true);
    auto *box = page.findChild<QCheckBox *>();
    auto *start = page.findChild<Karvo::SuggestButton *>();
    box->setChecked(true);
    QVERIFY(start->isEnabled());
    box->setChecked(false);
    QVERIFY(!start->isEnabled());

    // Postponing leaves no trace: no progress dialog, no upgrade request.
    box->setChecked(true);
    bool confirmationShown = false;
    ModalHandler postpone([&](QDialog *dialog) {
        confirmationShown = qobject_cast<ConfirmDialog *>(dialog);
        dialog->reject();
    });
    QTest::mouseClick(start, Qt::LeftButton);
    QVERIFY(confirmationShown);
    QVERIFY(!page.findChild<OfflineUpgradeDialog *>());
    QTest::qWait(200);
    QVERIFY(!m_daemon->members().contains(QStringLiteral("BackupSystem")));
}

OfflineUpgradeDialog *tst_OfflineCheckResultWidget::startUpgrade(OfflineCheckResultWidget &page)
{
    page.findChild<QCheckBox *>()->setChecked(true);
    ModalHandler confirm([](QDialog *dialog) {
        dialog->findChild<QCheckBox *>()->setChecked(true);
        QTest::mouseClick(dialog->findChild<Karvo::WarningButton *>(), Qt::LeftButton);
    });
    QTest::mouseClick(page.findChild<Karvo::SuggestButton *>(), Qt::LeftButton);
    return page.findChild<OfflineUpgradeDialog *>();
}

void tst_OfflineCheckResultWidget::upgradeOutcome_data()
{
    QTest::addColumn<int>("progress");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<bool>("dialogStays");
    QTest::addColumn<QString>("failure");

    QTest::newRow("backup stage done") << 30 << 1 << QString() << true << QString();
    QTest::newRow("upgrade stage done") << 50 << 1 << QString() << true << QString();
    QTest::newRow("backup failed at 30") << 30 << -1 << QString() << false << BackupFailed;
    QTest::newRow("backup failed at 70") << 70 << -1 << QString() << false << BackupFailed;
    QTest::newRow("upgrade failed") << 80 << -2 << QString() << false << PackageFailed;
    QTest::newRow("finished") << 100 << 1 << QString() << false << QString();
    QTest::newRow("refused") << 0 << 0 << QStringLiteral("org.freedesktop.DBus.Error.AccessDenied")
                             << false
                             << QStringLiteral("The upgrade could not be started: upgrading the "
                                               "system needs an administrator's authorization, "
                                               "which was not given");
}

void tst_OfflineCheckResultWidget::upgradeOutcome()
{
    QFETCH(int, progress);
    QFETCH(int, code);
    QFETCH(QString, refusal);
    QFETCH(bool, dialogStays);
    QFETCH(QString, failure);

    if (!refusal.isEmpty()) {
        ScriptedObject::Reply refused;
        refused.errorName = refusal;
        refused.errorMessage = QStringLiteral("not authorized");
        m_daemon->setReply(QStringLiteral("BackupSystem"), refused);
    }
    OfflineUpdateModel model;
    OfflineCheckResultWidget page(&model, 6, true);
    page.show();
    OfflineUpgradeDialog *progressDialog = startUpgrade(page);
    QVERIFY(progressDialog);
    QVERIFY(progressDialog->isVisible());
    QTRY_VERIFY(m_daemon->members().contains(QStringLiteral("BackupSystem")));

    QElapsedTimer sinceClosed;
    QString shown;
    qint64 shownAfterMs = -1;
    ModalHandler readFailure([&](QDialog *dialog) {
        if (auto *failureDialog = qobject_cast<Karvo::Dialog *>(dialog)) {
            shown = failureDialog->message();
            shownAfterMs = sinceClosed.elapsed();
            failureDialog->reject();
        }
    });
    QSignalSpy reported(&model, &OfflineUpdateModel::notifyOfflineUpgradeProgress);
    if (refusal.isEmpty()) {
        QVERIFY(m_daemon->emitSignal(QStringLiteral("NotifyExecDistUpgradeInfo"),
            { QStringLiteral("Unpacking probe (2.0) over (1.0) ...") }));
        QVERIFY(m_daemon->emitSignal(
            QStringLiteral("NotifyOfflineUpgradeProgress"), { progress, code }));
        QVERIFY(reported.wait(5000));
    }
    QTRY_COMPARE(progressDialog->isVisible(), dialogStays);
    sinceClosed.start();

    if (refusal.isEmpty()) {
        QCOMPARE(progressDialog->findChild<QProgressBar *>()->value(), code < 0 ? 0 : progress);
        QVERIFY(progressDialog->findChild<QTextEdit *>()->toPlainText().contains(
            QStringLiteral("Unpacking probe (2.0) over (1.0) ...")));
    }
    if (!failure.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(shownAfterMs >= 0, 5000);
        QCOMPARE(shown, failure);
        QVERIFY2(shownAfterMs >= 900, qPrintable(QString::number(shownAfterMs)));
    } else {
        QTest::qWait(1300);
        QCOMPARE(shownAfterMs, -1);
    }

    const bool finished = progress == 100;
    QTRY_COMPARE(m_daemon->members().contains(QStringLiteral("StartExecHookPost")), finished);
    QTRY_COMPARE(m_sessionManager->members().contains(QStringLiteral("RequestReboot")), finished);
    if (finished) {
        const auto messages = page.findChildren<Karvo::FloatingMessage *>();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages.first()->message(),
            QStringLiteral("If the upgrade is successful, restart the system to take effect"));
    }
}

void tst_OfflineCheckResultWidget::paintsBandsAndVerdicts()
{
    OfflineUpdateModel model;
    OfflineCheckResultWidget page(&model, 4, false);
    page.resize(700, 600);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    auto *table = page.findChild<QTableView *>();
    const QImage image = table->viewport()->grab().toImage();

    // Rows: type, version (pass), architecture (fail), space, count. Odd rows carry the band.
    const auto cellPixel = [&](int row, int column, int x) {
        const QRect cell = table->visualRect(table->model()->index(row, column));
        return image.pixelColor(cell.left() + x, cell.top() + 3);
    };
    const QColor plain = cellPixel(0, 0, 100);
    QVERIFY(cellPixel(1, 0, 100) != plain);
    QCOMPARE(cellPixel(2, 0, 100), plain);
    QVERIFY(cellPixel(3, 0, 100) != plain);

    const auto textColour = [&](int row) {
        const QRect cell = table->visualRect(table->model()->index(row, 1));
        QColor found;
        int strongest = 0;
        for (int x = cell.left(); x < cell.right(); ++x)
            for (int y = cell.top(); y < cell.bottom(); ++y) {
                const QColor colour = image.pixelColor(x, y);
                const int saturation = colour.hsvSaturation();
                if (saturation > strongest) {
                    strongest = saturation;
                    found = colour;
                }
            }
        return found;
    };
    const QColor passed = textColour(1);
    const QColor failed = textColour(2);
    QVERIFY2(passed.green() > passed.red() + 60, qPrintable(passed.name()));
    QVERIFY2(failed.red() > failed.green() + 60, qPrintable(failed.name()));
}

QTEST_MAIN(tst_OfflineCheckResultWidget)
#include "tst_offlinecheckresultwidget.moc"
