// Tests the check result page against a scripted daemon and session manager on private buses.
// Faults caught here:
// - a report filled into the wrong rows or verdicts, a patch package without its vulnerability
//   identifier, a signature state shown as another (an unknown one claimed "Unsigned"), the
//   upgrade left reachable after a failed item, or the start button enabled without the box;
// - a success state whose controls or pictures a screen reader cannot name;
// - a failure reason not put into words, lost when the table is shown, or an older daemon's
//   missing answer wiping the item's own sentence (the sentences themselves are
//   tst_reporttext's);
// - progress of an upgrade the page did not start moving the screen or rebooting; a failure, a
//   refused request or a daemon gone mid-upgrade that leaves the progress dialog up or says
//   nothing; a failed upgrade told in the page's own words when the daemon gave a reason, or an
//   unfinished earlier installation blamed on the package and its packages not named; a report
//   that comes while the daemon is asked why taken for the failed upgrade's;
// - a progress screen that claims a backup the daemon did not announce, leaves out the repair or
//   the package i of n the daemon names, shows a failure's code as a percentage, or shows the
//   daemon's status texts untranslated;
// - the plan of a passed check not shown, or its whole view without the versions, removals,
//   replaced files or room; a plan offered after a failed check;
// - a system changed since the check (refused, or found after the upgrade failed) that is
//   offered the same upgrade again, or not the way to check the package again.
#include "accessiblenames.h"
#include "checkfailuretext.h"
#include "checkresultinfo.h"
#include "commandlinkbutton.h"
#include "detailsdisclosure.h"
#include "dialog.h"
#include "floatingmessage.h"
#include "modalhandler.h"
#include "offlinecheckresultwidget.h"
#include "offlineupdatemodel.h"
#include "offlineupdateprotocol.h"
#include "offlineupgradedialog.h"
#include "reporttexttranslation.h"
#include "scriptedservice.h"
#include "upgradefailuretext.h"
#include "upgradeplandialog.h"
#include "upgradeplantree.h"
#include "suggestbutton.h"
#include "testbuses.h"
#include "upgradeflow.h"
#include "warningbutton.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

namespace {

QPushButton *withoutBackupButton(QDialog *dialog)
{
    const QString text
        = QCoreApplication::translate("OfflineCheckResultWidget", "Upgrade without backup");
    for (QPushButton *button : dialog->findChildren<QPushButton *>())
        if (button->text() == text)
            return button;
    return nullptr;
}

using namespace OfflineUpdate;
using Reply = ScriptedService::Reply;

QPushButton *buttonNamed(QDialog *dialog, const char *context, const char *text)
{
    const QString translated = QCoreApplication::translate(context, text);
    for (QPushButton *button : dialog->findChildren<QPushButton *>())
        if (button->text() == translated)
            return button;
    return nullptr;
}

UpgradePlan plan()
{
    UpgradePlan plan;
    plan.upgraded = { { "libc6", "amd64", "2.36", "2.37" }, { "bash", "amd64", "5.1", "5.2" } };
    plan.installed = { { "linux-image-6.1", "amd64", "", "6.1.90" } };
    plan.removed = { { "oldpkg", "all", "0.9", "" } };
    plan.replacedConfigFiles = { { "openssh-server", "/etc/ssh/sshd_config" } };
    plan.space = { { "/", qint64(3) << 29, qint64(5) << 30 } };
    return plan;
}

// Every line of |tree|, headings first.
QStringList treeLines(const QTreeWidget *tree)
{
    QStringList lines;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        lines << tree->topLevelItem(i)->text(0);
        for (int child = 0; child < tree->topLevelItem(i)->childCount(); ++child)
            lines << QStringLiteral("  ") + tree->topLevelItem(i)->child(child)->text(0);
    }
    return lines;
}
const Reply UnknownMethod = errorAnswer("org.freedesktop.DBus.Error.UnknownMethod");

// The visible texts of the page, then the table as "item|result|value" lines.
QStringList shownRows(const OfflineCheckResultWidget &page)
{
    QStringList rows;
    for (const QLabel *label : page.findChildren<QLabel *>())
        if (label->isVisibleTo(&page) && !label->text().isEmpty())
            rows.append(label->text());
    const QTableView *table = page.findChild<QTableView *>();
    for (int row = 0; table->isVisibleTo(&page) && row < table->model()->rowCount(); ++row) {
        const QModelIndex result = table->model()->index(row, 1);
        rows.append(QStringList { table->model()->index(row, 0).data().toString(),
            result.data().toString(), result.data(ResultValueRole).toString() }
                        .join('|'));
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
    void initTestCase()
    {
        QCOMPARE(m_buses.start(), QString());
        registerUpgradePlanTypes();
    }

    void init()
    {
        m_daemon = std::make_unique<ScriptedService>(m_buses.systemAddress(), DaemonService);
        m_sessionManager = std::make_unique<ScriptedService>(
            m_buses.sessionAddress(), QStringLiteral("com.tevrin.SessionManager"));
        // Slow enough for the page to be shown before its answers are in.
        m_daemon->setReply(
            QStringLiteral("GetPatchUpgradeSerial"), answer({ "CVE-2026-0042" }, 200));
        m_daemon->setReply(QStringLiteral("GetDistUpgradeSum"), answer({ 7 }, 400));
        m_daemon->setReply(QStringLiteral("IsAllowBackupSystem"), answer({ true }, 300));
        m_daemon->setReply(QStringLiteral("BackupSystem"), noAnswer()); // runs on
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
        QTest::addColumn<Reply>("signature");
        QTest::addColumn<Reply>("reason");
        QTest::addColumn<QStringList>("rows");

        const auto checks = [](bool patch, const char *signature, const char *version,
                                const char *architecture, const char *space, const char *count) {
            QStringList rows { patch ? "Upgrade Type|CVE Patch Update|-1"
                                     : "Upgrade Type|System Update|-1" };
            if (patch)
                rows << "Vulnerability ID|CVE-2026-0042|-1";
            return rows << QStringLiteral("Package Signature|") + signature
                        << QStringLiteral("System Version Detection|") + version
                        << QStringLiteral("Offline Package Architecture Detection|") + architecture
                        << QStringLiteral("Disk Space Detection|") + space
                        << QStringLiteral("Offline Package Update Number Detection|") + count;
        };
        const char *const no = "Not Detected|0";
        const char *const pass = "Pass|2";
        QTest::newRow("0 with a reason")
            << 0 << false << 1 << answer() << answer({ Reason::NoSpace, "9/2 GiB" })
            << QStringList { CheckFailureText::forReason(Reason::NoSpace, "9/2 GiB").sentence };
        QTest::newRow("1, daemon without reasons")
            << 1 << false << 1 << UnknownMethod << UnknownMethod
            << QStringList { "File corrupted, please check and try again!" };
        QTest::newRow("4 architecture, patch, rejected")
            << 4 << false << 2 << answer({ int(SignatureRejected), "unknown key" })
            << answer({ Reason::WrongArchitecture, "arm64/amd64" })
            << QStringList { CheckFailureText::forReason(Reason::WrongArchitecture, "arm64/amd64").sentence }
                + checks(true, "Verification failed: unknown key|1", pass, "Fail|1", no, no);
        QTest::newRow("5 space, unsigned")
            << 5 << false << 1 << answer({ int(Unsigned), "" }) << answer()
            << checks(false, "Unsigned|-1", pass, pass, "Fail|1", no);
        QTest::newRow("6 passed, patch, signed")
            << 6 << true << 2 << answer({ int(SignatureVerified), "Tevrin Release Key" })
            << UnknownMethod
            << checks(true, "Verified: Tevrin Release Key|2", pass, pass, pass, "7 item(s)|2");
        QTest::newRow("unknown item failed") << 9 << false << 0 << answer() << answer()
                                             << checks(false, "Not checked|0", no, no, no, no);
    }

    void fillsPage()
    {
        QFETCH(int, itemType);
        QFETCH(bool, result);
        QFETCH(int, upgradeType);
        QFETCH(Reply, signature);
        QFETCH(Reply, reason);
        QFETCH(QStringList, rows);

        m_daemon->setReply(QStringLiteral("GetUpgradeType"), answer({ upgradeType }));
        m_daemon->setReply(QStringLiteral("GetPackageSignature"), signature);
        m_daemon->setReply(QStringLiteral("GetCheckFailureReason"), reason);
        OfflineUpdateModel model(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        OfflineCheckResultWidget page(&model, itemType, result);
        QTRY_COMPARE_WITH_TIMEOUT(shownRows(page), rows, 5000);
        const bool upgradable = rows.last().endsWith(QLatin1String("item(s)|2"));
        auto *box = page.findChild<QCheckBox *>();
        auto *start = page.findChild<Karvo::SuggestButton *>(QStringLiteral("startUpgrade"));
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
        // |event|: what ends the upgrade; |reason|: the daemon's answer to why; |failure|:
        // words of the failure shown; |notSaid|: words it must not have.
        QTest::addColumn<QString>("event");
        QTest::addColumn<Reply>("reason");
        QTest::addColumn<QStringList>("failure");
        QTest::addColumn<QString>("notSaid");
        // A failure's sentence, then its details: the output the daemon sent before it.
        QTest::newRow("backup failed")
            << "-1" << answer() << QStringList { "could not be backed up" } << "";
        QTest::newRow("upgrade failed, no reason")
            << "-2" << UnknownMethod << QStringList { "problem in the package" } << "";
        QTest::newRow("apt failed")
            << "-2"
            << answer({ UpgradeReason::UpgradeFailed, QStringLiteral("E: dpkg returned 1") })
            << QStringList { "problem in the package", "E: dpkg returned 1" } << "";
        QTest::newRow("repair failed")
            << "-2"
            << answer({ UpgradeReason::RepairFailed, QStringLiteral("libfoo1, libbar2") })
            << QStringList { "could not be completed: libfoo1, libbar2", "package is not at fault" }
            << "problem in the package";
        QTest::newRow("refused") << "refused" << answer() << QStringList { "authorization" } << "";
        QTest::newRow("daemon gone")
            << "vanished" << answer() << QStringList { "service stopped" } << "";
    }

    // Confirms the upgrade on |page| as a user would; returns its progress dialog.
    OfflineUpgradeDialog *confirmUpgrade(OfflineCheckResultWidget &page)
    {
        page.show();
        auto *box = page.findChild<QCheckBox *>();
        if (!QTest::qWaitFor([box] { return box->isEnabled(); }, 5000))
            return nullptr;
        box->setChecked(true);
        ModalHandler confirm([](QDialog *dialog) {
            dialog->findChild<QCheckBox *>()->setChecked(true);
            QTest::mouseClick(dialog->findChild<Karvo::WarningButton *>(), Qt::LeftButton);
        });
        QTest::mouseClick(
            page.findChild<Karvo::SuggestButton *>(QStringLiteral("startUpgrade")), Qt::LeftButton);
        // Null when the progress screen never came; the caller's check fails then.
        if (!QTest::qWaitFor([&page] { return page.findChild<OfflineUpgradeDialog *>(); }, 5000))
            return nullptr;
        return page.findChild<OfflineUpgradeDialog *>();
    }

    void upgradeOutcome()
    {
        QFETCH(QString, event);
        QFETCH(Reply, reason);
        QFETCH(QStringList, failure);
        QFETCH(QString, notSaid);
        m_daemon->setReply(QStringLiteral("GetUpgradeFailureReason"), reason);

        if (event == QLatin1String("refused"))
            m_daemon->setReply(QStringLiteral("BackupSystem"),
                errorAnswer(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied")));
        OfflineUpdateModel model(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        OfflineCheckResultWidget page(&model, UpgradableItem, true);
        OfflineUpgradeDialog *progressDialog = confirmUpgrade(page);
        QVERIFY(progressDialog);
        QTRY_VERIFY(m_daemon->members().contains(QStringLiteral("BackupSystem")));

        QString shown;
        bool withoutBackupOffered = false;
        ModalHandler readFailure([&](QDialog *dialog) {
            if (auto *failureDialog = qobject_cast<Karvo::Dialog *>(dialog)) {
                withoutBackupOffered = withoutBackupButton(failureDialog);
                shown = progressDialog->isVisible()
                    ? QStringLiteral("under the progress dialog")
                    : failureDialog->message() + " | "
                        + failureDialog->findChild<DetailsDisclosure *>()->details();
                failureDialog->reject();
            }
        });
        bool ok = false;
        const int code = event.toInt(&ok);
        if (ok) {
            // The recovery service's or apt's last words, in pieces cut mid-word.
            QVERIFY(m_daemon->emitSignal(QStringLiteral("NotifyExecDistUpgradeInfo"),
                { QStringLiteral("Backing up\nsnapshot of / ref") }));
            QVERIFY(m_daemon->emitSignal(QStringLiteral("NotifyExecDistUpgradeInfo"),
                { QStringLiteral("used: read-only\n") }));
            QVERIFY(m_daemon->emitSignal(
                QStringLiteral("NotifyOfflineUpgradeProgress"), { int(UpgradeFailedStage), code }));
        } else if (event == QLatin1String("vanished")) {
            m_daemon->stop();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty(), 5000);
        for (const QString &words : failure)
            QVERIFY2(shown.contains(words), qPrintable(shown));
        QVERIFY2(notSaid.isEmpty() || !shown.contains(notSaid), qPrintable(shown));
        QCOMPARE(shown.contains(QLatin1String("snapshot of / refused: read-only")), ok);
        // Only a failed backup leaves the choice to go on without one.
        QCOMPARE(withoutBackupOffered, event == QLatin1String("-1"));
        QVERIFY(m_sessionManager->calls().isEmpty());
        QVERIFY(!page.upgradeUnderWay());
        // The way on: another attempt, or back to choose another package.
        QVERIFY(page.findChild<QPushButton *>(QStringLiteral("startUpgrade"))->isEnabled());
        QVERIFY(page.findChild<QPushButton *>(QStringLiteral("chooseAnotherPackage"))->isVisible());
    }

    void progressView_data()
    {
        // "30,1" a pair, "stage:upgrade,3,20,name" a stage, "info:text" a piece of output.
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("stages"); // each new text of the stage line, in order
        QTest::addColumn<QString>("percent"); // the number beside the bar at the end
        QTest::addColumn<QString>("logLine"); // a line the output box shows at the end

        QTest::newRow("no backup: none claimed")
            << "en"
            << QStringList { "info:开始进行系统升级...", "30,1", "stage:upgrade,0,2,",
                   "stage:upgrade,1,2,libc6" }
            << QStringList { "Preparing the upgrade", "Upgrading the system",
                   "Upgrading the system: package 1 of 2 (libc6)" }
            << "30%"
            << "Starting the system upgrade...";
        QTest::newRow("backup, then a repair")
            << "en"
            << QStringList { "info:开始进行系统备份...", "30,1", "stage:backup,0,0,",
                   "info:系统备份完成", "50,1", "stage:repair,0,2,", "stage:upgrade,2,2,bash" }
            << QStringList { "Preparing the upgrade", "Backing up the system",
                   "Finishing interrupted installations",
                   "Upgrading the system: package 2 of 2 (bash)" }
            << "74%"
            << "The system backup is complete";
        QTest::newRow("failed: no percentage from the failure")
            << "en" << QStringList { "30,1", "stage:upgrade,1,2,libc6", "80,-2" }
            << QStringList { "Preparing the upgrade",
                   "Upgrading the system: package 1 of 2 (libc6)" }
            << "30%" << "";
        QTest::newRow("done, then the post-upgrade scripts")
            << "en" << QStringList { "30,1", "stage:upgrade,2,2,bash", "100,1" }
            << QStringList { "Preparing the upgrade", "Upgrading the system: package 2 of 2 (bash)",
                   "Upgrade finished", "Running post-upgrade scripts" }
            << "100%" << "";
        QTest::newRow("in Chinese")
            << "zh_CN" << QStringList { "info:开始进行系统升级...", "30,1", "stage:upgrade,1,2,libc6" }
            << QStringList { "正在准备升级", "正在升级系统：第 1 个软件包，共 2 个（libc6）" } << "30%"
            << "开始进行系统升级...";
    }

    // The progress screen says the stage the daemon announces, never a backup it did not
    // announce, and puts the daemon's status texts in the user's words.
    void progressView()
    {
        QFETCH(QString, language);
        QFETCH(QStringList, events);
        QFETCH(QStringList, stages);
        QFETCH(QString, percent);
        QFETCH(QString, logLine);
        ReportTextTranslation::load(QLocale(language));
        const auto english
            = qScopeGuard([] { ReportTextTranslation::load(QLocale(QLocale::English)); });
        m_daemon->setReply(QStringLiteral("GetUpgradeFailureReason"),
            answer({ UpgradeReason::UpgradeFailed, QStringLiteral("E: dpkg returned 1") }));
        OfflineUpdateModel model(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        OfflineCheckResultWidget page(&model, UpgradableItem, true);
        OfflineUpgradeDialog *progressDialog = confirmUpgrade(page);
        QVERIFY(progressDialog);
        QTRY_VERIFY(m_daemon->members().contains(QStringLiteral("BackupSystem")));
        auto *stageLabel = progressDialog->findChild<QLabel *>(QStringLiteral("stageLabel"));
        auto *percentLabel = progressDialog->findChild<QLabel *>(QStringLiteral("percentLabel"));
        QStringList seen;
        QStringList percents;
        // After the page's own connection, which fills the dialog.
        connect(page.upgradeFlow(), &UpgradeFlow::progressChanged, this, [&] {
            if (seen.isEmpty() || seen.last() != stageLabel->text())
                seen << stageLabel->text();
            percents << percentLabel->text();
        });
        ModalHandler dismiss([](QDialog *dialog) { dialog->reject(); });
        for (const QString &event : events) {
            if (event.startsWith(QLatin1String("info:"))) {
                QVERIFY(m_daemon->emitSignal(
                    QStringLiteral("NotifyExecDistUpgradeInfo"), { event.mid(5) }));
            } else if (event.startsWith(QLatin1String("stage:"))) {
                const QStringList stage = event.mid(6).split(',');
                QVERIFY(m_daemon->emitSignal(QStringLiteral("NotifyUpgradeStage"),
                    { stage.at(0), stage.at(1).toInt(), stage.at(2).toInt(), stage.at(3) }));
            } else {
                QVERIFY(m_daemon->emitSignal(QStringLiteral("NotifyOfflineUpgradeProgress"),
                    { event.section(',', 0, 0).toInt(), event.section(',', 1).toInt() }));
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(seen, stages, 5000);
        QTRY_COMPARE(percentLabel->text(), percent);
        QVERIFY2(!percents.contains(QStringLiteral("80%")), qPrintable(percents.join(' ')));
        if (!logLine.isEmpty()) {
            auto *log = progressDialog->findChild<QPlainTextEdit *>();
            QTRY_VERIFY2(log->toPlainText().split('\n').contains(logLine),
                qPrintable(log->toPlainText()));
        }
    }

    void planView_data()
    {
        QTest::addColumn<int>("itemType");
        QTest::addColumn<bool>("result");
        QTest::newRow("passed") << int(UpgradableItem) << true;
        QTest::newRow("architecture failed") << int(ArchitectureItem) << false;
    }

    // After a passed check the page says in a line what the upgrade changes, and opens the whole
    // plan; after a failed one there is no plan to show.
    void planView()
    {
        QFETCH(int, itemType);
        QFETCH(bool, result);
        const bool passed = result;
        m_daemon->setReply(QStringLiteral("GetUpgradePlan"), answer({ QVariant::fromValue(plan()) }));
        OfflineUpdateModel model(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        OfflineCheckResultWidget page(&model, itemType, result);
        page.show();
        QTRY_VERIFY_WITH_TIMEOUT(page.findChild<QTableView *>()->isVisible(), 5000);
        auto *summary = page.findChild<QLabel *>(QStringLiteral("planSummary"));
        auto *show = page.findChild<QPushButton *>(QStringLiteral("showPlan"));
        QCOMPARE(show->isVisible(), passed);
        QCOMPARE(m_daemon->members().contains(QStringLiteral("GetUpgradePlan")), passed);
        if (!passed)
            return;
        QCOMPARE(summary->text(), QStringLiteral("The upgrade: 2 upgraded, 1 new, 1 removed"));

        QStringList lines;
        ModalHandler readPlan([&](QDialog *dialog) {
            if (auto *planDialog = qobject_cast<UpgradePlanDialog *>(dialog)) {
                lines = treeLines(planDialog->findChild<UpgradePlanTree *>());
                planDialog->reject();
            }
        });
        QTest::mouseClick(show, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!lines.isEmpty(), 5000);
        QCOMPARE(lines,
            QStringList({ "Upgraded (2)", "  libc6 2.36 → 2.37", "  bash 5.1 → 5.2", "New (1)",
                "  linux-image-6.1 6.1.90", "Removed (1)", "  oldpkg 0.9",
                "Replaced configuration files (1)",
                "  /etc/ssh/sshd_config (openssh-server)",
                "Disk space needed", "  /: 1.5 GiB needed, 5.0 GiB free" }));
    }

    void planChanged_data()
    {
        QTest::addColumn<bool>("refused"); // else found after the upgrade failed
        QTest::newRow("upgrade refused") << true;
        QTest::newRow("reason of a failed upgrade") << false;
    }

    // Nothing was installed, and the check no longer says what an upgrade would do: the page
    // offers a new check of the package, or another package, and not the same upgrade.
    void planChanged()
    {
        QFETCH(bool, refused);
        if (refused)
            m_daemon->setReply(QStringLiteral("BackupSystem"),
                errorAnswer(PlanChangedError, QStringLiteral("apt foresees another upgrade")));
        else
            m_daemon->setReply(QStringLiteral("GetUpgradeFailureReason"),
                answer({ UpgradeReason::PlanChanged, QString() }));
        OfflineUpdateModel model(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        OfflineCheckResultWidget page(&model, UpgradableItem, true);
        QSignalSpy checkAgain(&page, &OfflineCheckResultWidget::checkAgainRequested);
        QVERIFY(confirmUpgrade(page));
        QTRY_VERIFY(m_daemon->members().contains(QStringLiteral("BackupSystem")));
        if (!refused)
            QVERIFY(m_daemon->emitSignal(QStringLiteral("NotifyOfflineUpgradeProgress"),
                { int(UpgradeFailedStage), int(UpgradeFailed) }));

        QString shown;
        ModalHandler answer([&](QDialog *dialog) {
            auto *failureDialog = qobject_cast<Karvo::Dialog *>(dialog);
            QPushButton *again = buttonNamed(dialog, "OfflineCheckResultWidget", "Check again");
            if (!failureDialog || !again
                || !buttonNamed(dialog, "OfflineCheckResultWidget", "Choose another package"))
                return;
            shown = failureDialog->message();
            QTest::mouseClick(again, Qt::LeftButton);
        });
        QTRY_VERIFY_WITH_TIMEOUT(checkAgain.count() == 1, 5000);
        QCOMPARE(shown, UpgradeFailureText::forReason(UpgradeReason::PlanChanged, {}).sentence);
        QVERIFY(!page.findChild<QPushButton *>(QStringLiteral("startUpgrade"))->isEnabled());
        auto *box = page.findChild<QCheckBox *>();
        QVERIFY(!box->isEnabled());
        page.upgradeFlow()->start();
        QCOMPARE(page.upgradeFlow()->state(), UpgradeFlow::Failed);
        QCOMPARE(m_daemon->members().count(QStringLiteral("IsAllowBackupSystem")), 1);
    }

    // While the daemon is asked why the upgrade failed, nothing else it reports belongs to that
    // upgrade: a late "done" must neither run the post-upgrade scripts nor hide the failure.
    void reportsWhileReadingReason()
    {
        m_daemon->setReply(QStringLiteral("GetUpgradeFailureReason"),
            answer({ UpgradeReason::UpgradeFailed, QStringLiteral("E: dpkg returned 1") }, 800));
        OfflineUpdateModel model(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        OfflineCheckResultWidget page(&model, UpgradableItem, true);
        QVERIFY(confirmUpgrade(page));
        QTRY_VERIFY(m_daemon->members().contains(QStringLiteral("BackupSystem")));
        ModalHandler dismiss([](QDialog *dialog) { dialog->reject(); });
        QVERIFY(m_daemon->emitSignal(QStringLiteral("NotifyOfflineUpgradeProgress"),
            { int(UpgradeFailedStage), int(UpgradeFailed) }));
        QTRY_VERIFY(m_daemon->members().contains(QStringLiteral("GetUpgradeFailureReason")));
        QVERIFY(m_daemon->emitSignal(
            QStringLiteral("NotifyOfflineUpgradeProgress"), { int(DoneStage), 1 }));
        QTRY_COMPARE_WITH_TIMEOUT(page.upgradeFlow()->state(), UpgradeFlow::Failed, 5000);
        QVERIFY(page.upgradeFlow()->message().details.contains(QLatin1String("dpkg returned 1")));
        QVERIFY(!m_daemon->members().contains(QStringLiteral("StartExecHookPost")));
    }

    // After a failed backup the user may take the upgrade without one; it is then asked of the
    // daemon as such, and the progress screen comes back.
    void goOnWithoutBackup()
    {
        OfflineUpdateModel model(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        OfflineCheckResultWidget page(&model, UpgradableItem, true);
        QVERIFY(confirmUpgrade(page));
        QTRY_VERIFY(m_daemon->members().contains(QStringLiteral("BackupSystem")));
        ModalHandler goOn([](QDialog *dialog) {
            if (QPushButton *button = withoutBackupButton(dialog))
                QTest::mouseClick(button, Qt::LeftButton);
        });
        QVERIFY(m_daemon->emitSignal(
            QStringLiteral("NotifyOfflineUpgradeProgress"), { int(BackupFailedStage), -1 }));
        QTRY_VERIFY_WITH_TIMEOUT(
            m_daemon->members().contains(QStringLiteral("UpgradeWithoutBackup")), 5000);
        QVERIFY(page.upgradeUnderWay());
        QCOMPARE(m_daemon->members().count(QStringLiteral("BackupSystem")), 1);
    }

    // After the hooks the page shows the success state and no way to run the same upgrade
    // again; restarting is asked for only when the user chooses it (here with Return, which
    // must mean "Restart now").
    void successState_data()
    {
        QTest::addColumn<Reply>("hooks");
        QTest::addColumn<bool>("later");
        QTest::newRow("restart now") << answer() << false;
        QTest::newRow("later, after failed hooks")
            << errorAnswer(QStringLiteral("org.freedesktop.DBus.Error.Failed"), "hook 20 failed")
            << true;
    }

    void successState()
    {
        QFETCH(Reply, hooks);
        QFETCH(bool, later);
        m_daemon->setReply(QStringLiteral("StartExecHookPost"), hooks);
        OfflineUpdateModel model(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        OfflineCheckResultWidget page(&model, UpgradableItem, true);
        QVERIFY(confirmUpgrade(page));
        QVERIFY(m_daemon->emitSignal(
            QStringLiteral("NotifyOfflineUpgradeProgress"), { int(DoneStage), 1 }));
        auto *restart = page.findChild<QPushButton *>(QStringLiteral("restartNow"));
        QTRY_VERIFY_WITH_TIMEOUT(restart->isVisible(), 5000);
        QVERIFY(m_daemon->members().contains(QStringLiteral("StartExecHookPost")));
        QVERIFY(!page.findChild<OfflineUpgradeDialog *>()->isVisible());
        QStringList texts;
        for (const QLabel *label : page.findChildren<QLabel *>())
            if (label->isVisible())
                texts << label->text();
        QVERIFY2(texts.contains(QStringLiteral("The system was upgraded")), qPrintable(texts.join('|')));
        for (QPushButton *button : page.findChildren<QPushButton *>())
            QVERIFY2(!button->isVisible() || !button->text().contains(QLatin1String("Upgrade")),
                qPrintable(button->text()));
        QCOMPARE(page.findChild<DetailsDisclosure *>(QStringLiteral("successDetails"))->isVisible(),
            !hooks.errorName.isEmpty());
        const QStringList unnamed = unnamedWidgets(&page);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
        QTest::qWait(200);
        QVERIFY(m_sessionManager->calls().isEmpty());

        if (later) {
            QTest::mouseClick(page.findChild<QPushButton *>(QStringLiteral("later")), Qt::LeftButton);
            QVERIFY(restart->isVisible());
            QTest::qWait(200);
            QVERIFY(m_sessionManager->calls().isEmpty());
        }
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &page,
            Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(
            m_sessionManager->members(), QStringList { QStringLiteral("RequestReboot") }, 5000);
        QCOMPARE(m_daemon->members().count(QStringLiteral("BackupSystem")), 1);
    }

    // The daemon broadcasts progress to every client: another client's upgrade, or its end,
    // must leave a page that has not started one alone.
    void ignoresUpgradeNotItsOwn()
    {
        OfflineUpdateModel model(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        OfflineCheckResultWidget page(&model, UpgradableItem, true);
        QSignalSpy relayed(&model, &OfflineUpdateModel::notifyOfflineUpgradeProgress);
        QVERIFY(m_daemon->emitSignal(
            QStringLiteral("NotifyOfflineUpgradeProgress"), { int(DoneStage), 1 }));
        QVERIFY(relayed.wait(5000));
        // Answered after anything the page sent before it on the same connection.
        QDBusConnection::systemBus().call(QDBusMessage::createMethodCall(
            DaemonService, DaemonPath, DaemonService, QStringLiteral("GetUpgradeType")));
        QVERIFY(!m_daemon->members().contains(QStringLiteral("StartExecHookPost")));
        QVERIFY(m_sessionManager->calls().isEmpty());
        QVERIFY(!page.findChild<Karvo::FloatingMessage *>());
    }
};

QTEST_MAIN(tst_OfflineCheckResultWidget)
#include "tst_offlinecheckresultwidget.moc"
