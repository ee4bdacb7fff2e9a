// Tests the check result page against a scripted daemon and session manager on private buses.
// Faults caught here:
// - a report filled into the wrong rows or verdicts, a patch package without its vulnerability
//   identifier, a signature state shown as another (an unknown one claimed "Unsigned"), the
//   upgrade left reachable after a failed item, or the start button enabled without the box;
// - a failure reason not put into words, lost when the table is shown, or an older daemon's
//   missing answer wiping the item's own sentence; a reason key without a sentence of its own
//   or with an untranslated one;
// - progress of an upgrade the page did not start moving the screen or rebooting; a failure, a
//   refused request or a daemon gone mid-upgrade that leaves the progress dialog up or says
//   nothing; the reboot asked before the post-upgrade hooks have answered.
#include "checkfailurereason.h"
#include "commandlinkbutton.h"
#include "dialog.h"
#include "floatingmessage.h"
#include "modalhandler.h"
#include "offlinecheckresultwidget.h"
#include "offlineupdatemodel.h"
#include "offlineupdateprotocol.h"
#include "offlineupgradedialog.h"
#include "scriptedservice.h"
#include "suggestbutton.h"
#include "testbuses.h"
#include "warningbutton.h"

#include <QCheckBox>
#include <QLabel>
#include <QSet>
#include <QTableView>
#include <QTranslator>
#include <QtTest>
#include <memory>

namespace {

using namespace OfflineUpdate;

ScriptedService::Reply answer(const QVariantList &values, int delayMs = 0)
{
    return { values, delayMs, false, {}, {} };
}

const ScriptedService::Reply UnknownMethod
    = { {}, 0, false, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), "old daemon" };

// The visible texts of the page, then the table as "item|result|value" lines.
QStringList shownRows(const OfflineCheckResultWidget &page)
{
    QStringList rows;
    for (const QLabel *label : page.findChildren<QLabel *>())
        if (label->isVisibleTo(&page) && !label->text().isEmpty())
            rows.append(label->text());
    const QTableView *table = page.findChild<QTableView *>();
    if (!table->isVisibleTo(&page))
        return rows;
    for (int row = 0; row < table->model()->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < 3; ++column)
            cells.append(table->model()->index(row, column).data().toString());
        rows.append(cells.join('|'));
    }
    return rows;
}

} // namespace

Q_DECLARE_METATYPE(ScriptedService::Reply)

class tst_OfflineCheckResultWidget : public QObject
{
    Q_OBJECT

    TestBuses m_buses;
    std::unique_ptr<ScriptedService> m_daemon;
    std::unique_ptr<ScriptedService> m_sessionManager;

    // Ticks the box, confirms, and leaves the page with its upgrade under way.
    void startUpgrade(OfflineCheckResultWidget &page)
    {
        QTRY_VERIFY_WITH_TIMEOUT(page.findChild<QCheckBox *>()->isEnabled(), 5000);
        page.findChild<QCheckBox *>()->setChecked(true);
        ModalHandler confirm([](QDialog *dialog) {
            dialog->findChild<QCheckBox *>()->setChecked(true);
            QTest::mouseClick(dialog->findChild<Karvo::WarningButton *>(), Qt::LeftButton);
        });
        QTest::mouseClick(page.findChild<Karvo::SuggestButton *>(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(page.findChild<OfflineUpgradeDialog *>(), 5000);
    }

private slots:
    void initTestCase() { QCOMPARE(m_buses.start(), QString()); }

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
        m_daemon->setReply(QStringLiteral("BackupSystem"), { {}, 0, true, {}, {} }); // runs on
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
        QTest::addColumn<ScriptedService::Reply>("signature");
        QTest::addColumn<ScriptedService::Reply>("reason");
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
        const auto signed_ = answer({ int(SignatureVerified), "Tevrin Release Key" });
        const auto none = answer({});
        const QString architecture = checkFailureText(Reason::WrongArchitecture, "arm64/amd64");
        QTest::newRow("0 with a reason")
            << 0 << false << 1 << none << answer({ Reason::NoSpace, "9/2 GiB" })
            << QStringList { checkFailureText(Reason::NoSpace, "9/2 GiB") };
        QTest::newRow("1, daemon without reasons")
            << 1 << false << 1 << UnknownMethod << UnknownMethod
            << QStringList { "File corrupted, please check and try again!" };
        QTest::newRow("2, no reason recorded")
            << 2 << false << 1 << none << answer({ QString(), QString() })
            << QStringList { QStringLiteral(
                   "System environment is abnormal, contact the administrator！") };
        QTest::newRow("3 version, flag set")
            << 3 << true << 1 << UnknownMethod << none
            << checks(false, "Not checked|0", "Fail|1", no, no, no);
        QTest::newRow("4 architecture, patch, rejected")
            << 4 << false << 2 << answer({ int(SignatureRejected), "unknown key" })
            << answer({ Reason::WrongArchitecture, "arm64/amd64" })
            << QStringList { architecture }
                + checks(true, "Verification failed: unknown key|1", pass, "Fail|1", no, no);
        QTest::newRow("5 space, unsigned")
            << 5 << false << 1 << answer({ int(Unsigned), "" }) << none
            << checks(false, "Unsigned|-1", pass, pass, "Fail|1", no);
        QTest::newRow("6 passed, patch, signed")
            << 6 << true << 2 << signed_ << UnknownMethod
            << checks(true, "Verified: Tevrin Release Key|2", pass, pass, pass, "7 item(s)|2");
        QTest::newRow("unknown item failed")
            << 9 << false << 0 << none << none << checks(false, "Not checked|0", no, no, no, no);
    }

    void fillsPage()
    {
        QFETCH(int, itemType);
        QFETCH(bool, result);
        QFETCH(int, upgradeType);
        QFETCH(ScriptedService::Reply, signature);
        QFETCH(ScriptedService::Reply, reason);
        QFETCH(QStringList, rows);

        m_daemon->setReply(QStringLiteral("GetUpgradeType"), answer({ upgradeType }));
        m_daemon->setReply(QStringLiteral("GetPackageSignature"), signature);
        m_daemon->setReply(QStringLiteral("GetCheckFailureReason"), reason);
        OfflineUpdateModel model;
        QElapsedTimer built;
        built.start();
        OfflineCheckResultWidget page(&model, itemType, result);
        QVERIFY2(built.elapsed() < 200, "the page waited for the daemon's answers");
        QTRY_COMPARE_WITH_TIMEOUT(shownRows(page), rows, 5000);
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

    void reasonText_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty key") << "en" << QString() << "x" << QString();
        QTest::newRow("no detail")
            << "en" << Reason::FileMissing << QString() << "The package file does not exist.";
        QTest::newRow("detail with its label")
            << "en" << Reason::HookRefused << "10-check: disk too small"
            << "A pre-upgrade script of the package found this system unfit for the upgrade.\n"
               "Script and its last message: 10-check: disk too small";
        QTest::newRow("key of a newer daemon") << "en"
                                               << "disk-on-fire"
                                               << "sda"
                                               << "The check failed (disk-on-fire).\nsda";
        QTest::newRow("zh_CN") << "zh_CN" << Reason::NoSpace << "9/2 GiB"
                               << QStringLiteral(
                                      "磁盘可用空间不足，无法解压软件包。\n所需/可用：9/2 GiB");
    }

    void reasonText()
    {
        QFETCH(QString, language);
        QFETCH(QString, key);
        QFETCH(QString, detail);
        QFETCH(QString, text);
        QTranslator translator;
        if (language != QLatin1String("en")) {
            QVERIFY(translator.load(QStringLiteral("tevrin-offline-update-tool_") + language,
                qEnvironmentVariable("TEVRIN_BINARY_DIR") + QStringLiteral("/tool/translations")));
            QCoreApplication::installTranslator(&translator);
        }
        QCOMPARE(checkFailureText(key, detail), text);
    }

    // Every key the daemon may send has a sentence of its own, never the fallback for keys
    // this tool does not know.
    void everyReasonHasASentence()
    {
        const QString fallback = checkFailureText(QStringLiteral("?"), QString());
        QVERIFY(fallback.contains('?'));
        QSet<QString> sentences;
        for (const QString &key : { Reason::FileMissing, Reason::NotRegularFile,
                 Reason::NotReadable, Reason::NoSpace, Reason::NotPackage, Reason::BadSignature,
                 Reason::SignatureRequired, Reason::CacheBusy, Reason::HookRefused,
                 Reason::WrongArchitecture, Reason::NoBackupSpace, Reason::RepositoryUnreadable,
                 Reason::NothingToUpgrade, Reason::NotAuthorized }) {
            const QString sentence = checkFailureText(key, QString());
            QVERIFY2(sentence != QString(fallback).replace('?', key), qPrintable(key));
            sentences.insert(sentence);
            QVERIFY(checkFailureText(key, QStringLiteral("DETAIL")).contains("DETAIL"));
        }
        QCOMPARE(sentences.size(), 14);
    }

    void upgradeOutcome_data()
    {
        // |event|: what happens once the upgrade runs; |failure|: a word of the failure shown.
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("failure");
        QTest::newRow("backup failed") << "-1"
                                       << "backup";
        QTest::newRow("upgrade failed") << "-2"
                                        << "resource package";
        QTest::newRow("refused") << "refused"
                                 << "authorization";
        QTest::newRow("daemon gone") << "vanished"
                                     << "service stopped";
        QTest::newRow("finished, slow hooks") << "1" << QString();
    }

    void upgradeOutcome()
    {
        QFETCH(QString, event);
        QFETCH(QString, failure);

        if (event == QLatin1String("refused"))
            m_daemon->setReply(QStringLiteral("BackupSystem"),
                { {}, 0, false, QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"), "no" });
        // Standing in for hooks that run long after the bus library's time-out would have hit.
        m_daemon->setReply(QStringLiteral("StartExecHookPost"), answer({}, 2000));
        OfflineUpdateModel model;
        OfflineCheckResultWidget page(&model, UpgradableItem, true);
        page.show();
        startUpgrade(page);
        auto *progressDialog = page.findChild<OfflineUpgradeDialog *>();
        QVERIFY(progressDialog);
        QTRY_VERIFY(m_daemon->members().contains(QStringLiteral("BackupSystem")));

        QString shown;
        ModalHandler readFailure([&](QDialog *dialog) {
            if (auto *failureDialog = qobject_cast<Karvo::Dialog *>(dialog)) {
                shown = progressDialog->isVisible() ? QStringLiteral("under the progress dialog")
                                                    : failureDialog->message();
                failureDialog->reject();
            }
        });
        bool ok = false;
        const int code = event.toInt(&ok);
        if (ok) {
            QVERIFY(m_daemon->emitSignal(QStringLiteral("NotifyOfflineUpgradeProgress"),
                { code < 0 ? int(UpgradeFailedStage) : int(DoneStage), code }));
        } else if (event == QLatin1String("vanished")) {
            m_daemon->stop();
        }
        if (failure.isEmpty()) {
            // Covered while the hooks run; the reboot only once they have answered.
            QTRY_VERIFY_WITH_TIMEOUT(
                m_daemon->members().contains(QStringLiteral("StartExecHookPost")), 5000);
            QTest::qWait(1000);
            QVERIFY(progressDialog->isVisible());
            QVERIFY(m_sessionManager->calls().isEmpty());
            QTRY_VERIFY_WITH_TIMEOUT(!m_sessionManager->calls().isEmpty(), 5000);
            QVERIFY(m_sessionManager->calls().constFirst().receivedMs
                >= m_daemon->calls().constLast().answeredMs);
            QTRY_VERIFY(!progressDialog->isVisible());
            QVERIFY(page.findChild<Karvo::FloatingMessage *>());
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(shown.contains(failure), 5000);
            QVERIFY(m_sessionManager->calls().isEmpty());
        }
        QVERIFY(!page.upgradeUnderWay());
    }

    // The daemon broadcasts progress to every client: another client's upgrade, or its end,
    // must leave a page that has not started one alone.
    void ignoresUpgradeNotItsOwn()
    {
        OfflineUpdateModel model;
        OfflineCheckResultWidget page(&model, UpgradableItem, true);
        QSignalSpy relayed(&model, &OfflineUpdateModel::notifyOfflineUpgradeProgress);
        QVERIFY(m_daemon->emitSignal(
            QStringLiteral("NotifyOfflineUpgradeProgress"), { int(DoneStage), 1 }));
        QVERIFY(relayed.wait(5000));
        QTest::qWait(300);
        QVERIFY(!m_daemon->members().contains(QStringLiteral("StartExecHookPost")));
        QVERIFY(m_sessionManager->calls().isEmpty());
        QVERIFY(!page.findChild<Karvo::FloatingMessage *>());
    }
};

QTEST_MAIN(tst_OfflineCheckResultWidget)
#include "tst_offlinecheckresultwidget.moc"
