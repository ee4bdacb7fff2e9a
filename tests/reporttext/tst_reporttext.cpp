// What both clients say, without a window or a bus. Faults caught here:
// - a reason key of the daemon (check or upgrade) without a sentence of its own, so that the
//   fallback for unknown keys speaks for it, or without a Chinese one; a detail lost, shown
//   where it does not belong, or not in the sentence where the user must see it (the packages
//   an earlier run of the package manager left unfinished); a repair failure that blames the
//   package; an unknown key that says nothing or hides the key;
// - the command-line client saying something else for a key than the library (and so than the
//   tool, which calls the library itself), in English or in Chinese;
// - a translation that stays installed when another language is asked for;
// - a status text of the daemon left in Chinese for an English user, or apt's output (or a
//   status text run together with it) taken for one;
// - a history entry's outcome that calls a failure a success, hides a finish at boot, drops the
//   daemon's reason or its details, or is not translated;
// - check rows whose verdicts unlock the upgrade for an item that did not pass all checks, or
//   whose names for programs change with the language;
// - a plan summary that counts wrong or shows empty parts, a package line without its versions,
//   sizes rounded down to nothing or in the wrong unit, sections out of order or with no entries.
#include "checkfailuretext.h"
#include "checkreport.h"
#include "checktable.h"
#include "daemonstatustext.h"
#include "historyentry.h"
#include "historytext.h"
#include "offlineupdateprotocol.h"
#include "reporttexttranslation.h"
#include "upgradefailuretext.h"
#include "upgradeplantext.h"

#include <QtTest>

using namespace OfflineUpdate;

namespace {

const QString Detail = QStringLiteral("DETAIL-42");

UserMessage messageFor(const QString &kind, const QString &key, const QString &detail)
{
    return kind == QLatin1String("check") ? CheckFailureText::forReason(key, detail)
                                          : UpgradeFailureText::forReason(key, detail);
}

// What the command-line client prints for a check its service refused with |key|.
QString clientText(const QString &key, const QString &detail)
{
    CheckFacts facts;
    facts.item = ArchitectureItem;
    facts.reasonKey = key;
    facts.reasonDetail = detail;
    return CheckReport(facts).text();
}

PlannedPackage package(const char *name, const char *from, const char *to)
{
    return { QString::fromLatin1(name), QStringLiteral("amd64"), QString::fromLatin1(from),
        QString::fromLatin1(to) };
}

QList<PlannedPackage> packages(int count)
{
    QList<PlannedPackage> list;
    for (int i = 0; i < count; ++i)
        list << package("p", "1", "2");
    return list;
}

} // namespace

class tst_ReportText : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { ReportTextTranslation::load(QLocale(QLocale::English)); }

    void reasons_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("detailInSentence");
        // Every key of the protocol header, listed here so that a key added there without a
        // sentence shows as the fallback.
        for (const QString &key :
            { Reason::FileMissing, Reason::NotRegularFile, Reason::NotReadable, Reason::NoSpace,
                Reason::NotPackage, Reason::BadSignature, Reason::SignatureRequired,
                Reason::CacheBusy, Reason::HookRefused, Reason::WrongArchitecture,
                Reason::NoBackupSpace, Reason::RepositoryUnreadable, Reason::NothingToUpgrade,
                Reason::NotAuthorized, Reason::PackageChanging, Reason::PackageUnguarded,
                Reason::PackageManagerRunning, Reason::PackageStalled, Reason::PlanUnsolvable,
                Reason::PlanRemovesEssential, Reason::PlanKeepsBack, Reason::NoUpgradeSpace })
            QTest::newRow(qPrintable(QStringLiteral("check: ") + key)) << "check" << key << false;
        QTest::newRow("upgrade: plan-changed") << "upgrade" << UpgradeReason::PlanChanged << false;
        QTest::newRow("upgrade: repair-failed") << "upgrade" << UpgradeReason::RepairFailed << true;
        QTest::newRow("upgrade: plan-not-met") << "upgrade" << UpgradeReason::PlanNotMet << true;
        QTest::newRow("upgrade: upgrade-failed")
            << "upgrade" << UpgradeReason::UpgradeFailed << false;
        QTest::newRow("upgrade: apt-killed") << "upgrade" << UpgradeReason::AptKilled << false;
        QTest::newRow("upgrade: script-failed") << "upgrade" << UpgradeReason::ScriptFailed << true;
        QTest::newRow("upgrade: package-manager-running")
            << "upgrade" << UpgradeReason::PackageManagerRunning << false;
        // The history's own keys.
        for (const char *key :
            { "backup-failed", "post-hooks-refused", "resume-failed", "resume-given-up" })
            QTest::newRow(qPrintable(QStringLiteral("upgrade: ") + QLatin1String(key)))
                << "upgrade" << QString::fromLatin1(key) << false;
    }

    void reasons()
    {
        QFETCH(QString, kind);
        QFETCH(QString, key);
        QFETCH(bool, detailInSentence);

        const QString fallback = messageFor(kind, QStringLiteral("disk-on-fire"), {}).sentence;
        const UserMessage plain = messageFor(kind, key, {});
        QVERIFY(!plain.sentence.isEmpty());
        QVERIFY(plain.details.isEmpty());
        QVERIFY2(plain.sentence != fallback, "the fallback for unknown keys speaks for it");

        const UserMessage withDetail = messageFor(kind, key, Detail);
        if (detailInSentence) {
            QVERIFY2(withDetail.sentence.contains(Detail), qPrintable(withDetail.sentence));
            QVERIFY(withDetail.details.isEmpty());
        } else {
            QCOMPARE(withDetail.sentence, plain.sentence);
            QVERIFY2(withDetail.details.contains(Detail), qPrintable(withDetail.details));
        }
        if (key == UpgradeReason::RepairFailed) {
            for (const QString &sentence : { plain.sentence, withDetail.sentence })
                QVERIFY2(sentence.contains(QLatin1String("package is not at fault")),
                    qPrintable(sentence));
        }
        if (kind == QLatin1String("check"))
            QVERIFY2(clientText(key, Detail)
                         .contains(QStringLiteral("Reason: ") + withDetail.inOneLine()
                             + QLatin1Char('\n')),
                qPrintable(clientText(key, Detail)));

        QVERIFY(ReportTextTranslation::load(QLocale(QStringLiteral("zh_CN"))));
        const UserMessage chinese = messageFor(kind, key, Detail);
        QVERIFY(!chinese.sentence.isEmpty());
        QVERIFY2(chinese.sentence != withDetail.sentence, qPrintable(chinese.sentence));
        QCOMPARE(chinese.sentence.contains(Detail), detailInSentence);
        QCOMPARE(chinese.details.contains(Detail), !detailInSentence);
        if (kind == QLatin1String("check"))
            QVERIFY(clientText(key, Detail).contains(chinese.inOneLine()));

        // Another language takes the translation's place.
        QVERIFY(!ReportTextTranslation::load(QLocale(QLocale::English)));
        QCOMPARE(messageFor(kind, key, Detail).sentence, withDetail.sentence);
    }

    void unknownReason_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("check") << "check";
        QTest::newRow("upgrade") << "upgrade";
    }

    void unknownReason()
    {
        QFETCH(QString, kind);
        QVERIFY(messageFor(kind, QString(), Detail).isEmpty());
        const UserMessage unknown = messageFor(kind, QStringLiteral("disk-on-fire"), Detail);
        QVERIFY(!unknown.sentence.isEmpty());
        QCOMPARE(unknown.details, QStringLiteral("disk-on-fire\n") + Detail);
        QCOMPARE(unknown.inOneLine(),
            unknown.sentence + QStringLiteral(" (disk-on-fire; ") + Detail + QLatin1Char(')'));
        QVERIFY(ReportTextTranslation::load(QLocale(QStringLiteral("zh_CN"))));
        QVERIFY(
            messageFor(kind, QStringLiteral("disk-on-fire"), Detail).sentence != unknown.sentence);
    }

    void statusTexts_data()
    {
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("english"); // null: shown as it came
        QTest::addColumn<bool>("chineseAsSent");
        QTest::newRow("backup starts") << "开始进行系统备份..." << "Starting the system backup..."
                                       << true;
        QTest::newRow("backup done") << "系统备份完成" << "The system backup is complete" << true;
        QTest::newRow("upgrade starts") << "开始进行系统升级..." << "Starting the system upgrade..."
                                        << true;
        QTest::newRow("with a line end") << "系统备份完成\n" << QString() << false;
        QTest::newRow("apt's output") << "Reading package lists..." << QString() << false;
    }

    // Only the daemon's exact status texts are its sentences; apt's output stays as it came.
    void statusTexts()
    {
        QFETCH(QString, sent);
        QFETCH(QString, english);
        QFETCH(bool, chineseAsSent);
        QCOMPARE(DaemonStatusText::translated(sent), english);
        QCOMPARE(DaemonStatusText::translated(sent).isNull(), english.isNull());
        QVERIFY(ReportTextTranslation::load(QLocale(QStringLiteral("zh_CN"))));
        QCOMPARE(DaemonStatusText::translated(sent) == sent, chineseAsSent);
    }

    void historyOutcome_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("sentence");
        QTest::addColumn<QString>("details");
        const auto json = [](const char *kind, const char *outcome, const char *key,
                              const char *detail, bool resumed, int item) {
            return QStringLiteral("{\"kind\":\"%1\",\"outcome\":\"%2\",\"reasonKey\":\"%3\","
                                  "\"reasonDetail\":\"%4\",\"resumed\":%5,\"item\":%6}")
                .arg(QLatin1String(kind), QLatin1String(outcome), QLatin1String(key),
                    QLatin1String(detail), QLatin1String(resumed ? "true" : "false"))
                .arg(item);
        };
        const UserMessage scriptFailed
            = UpgradeFailureText::forReason(UpgradeReason::ScriptFailed, QStringLiteral("probe"));
        const UserMessage hooks = UpgradeFailureText::forReason(
            QStringLiteral("post-hooks-refused"), QStringLiteral("no home"));
        const UserMessage unsolvable
            = CheckFailureText::forReason(Reason::PlanUnsolvable, QStringLiteral("E: broken"));
        QTest::newRow("upgrade succeeded") << json("upgrade", "succeeded", "", "", false, -1)
                                           << "The upgrade succeeded." << "";
        QTest::newRow("finished at boot")
            << json("upgrade", "succeeded", "", "", true, -1)
            << "The upgrade was interrupted, and it was finished when the system started again."
            << "";
        QTest::newRow("finished at boot, scripts refused")
            << json("upgrade", "succeeded", "post-hooks-refused", "no home", true, -1)
            << "The upgrade was interrupted, and it was finished when the system started "
               "again. "
                + hooks.sentence
            << hooks.details;
        QTest::newRow("failed, the daemon's reason")
            << json("upgrade", "failed", "script-failed", "probe", false, -1)
            << scriptFailed.sentence << "";
        QTest::newRow("failed, no reason")
            << json("upgrade", "failed", "", "", false, -1) << "The upgrade failed." << "";
        QTest::newRow("failed at boot")
            << json("upgrade", "failed", "script-failed", "probe", true, -1)
            << "The upgrade was interrupted, and it could not be finished when the system "
               "started again. "
                + scriptFailed.sentence
            << "";
        QTest::newRow("check passed") << json("check", "passed", "", "", false, 6)
                                      << "The package passed the check." << "";
        QTest::newRow("check failed, the daemon's reason")
            << json("check", "failed", "plan-unsolvable", "E: broken", false, 6)
            << unsolvable.sentence << unsolvable.details;
        QTest::newRow("check failed before the table, no reason")
            << json("check", "failed", "", "", false, 1)
            << CheckFailureText::forItem(PackageLayoutItem) << "";
    }

    void historyOutcome()
    {
        QFETCH(QString, entry);
        QFETCH(QString, sentence);
        QFETCH(QString, details);
        const UserMessage outcome = HistoryText::outcome(HistoryEntry::fromJson(entry));
        QCOMPARE(outcome.sentence, sentence);
        QCOMPARE(outcome.details, details);
        QVERIFY(ReportTextTranslation::load(QLocale(QStringLiteral("zh_CN"))));
        QVERIFY2(HistoryText::outcome(HistoryEntry::fromJson(entry)).sentence != sentence,
            "not translated");
    }

    void checkTable_data()
    {
        QTest::addColumn<int>("item");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("verdicts"); // version, architecture, space, count
        QTest::addColumn<bool>("passed");
        QTest::newRow("all passed") << 6 << true << "2 2 2 2" << true;
        QTest::newRow("nothing to upgrade") << 6 << false << "2 2 2 1" << false;
        QTest::newRow("system version") << 3 << false << "1 0 0 0" << false;
        QTest::newRow("architecture") << 4 << false << "2 1 0 0" << false;
        QTest::newRow("backup space") << 5 << false << "2 2 1 0" << false;
        // Items the daemon names only when they fail; a flag that says otherwise is no pass.
        QTest::newRow("layout, claimed passed") << 1 << true << "0 0 0 0" << false;
        QTest::newRow("unknown item, claimed passed") << 9 << true << "0 0 0 0" << false;
    }

    void checkTable()
    {
        QFETCH(int, item);
        QFETCH(bool, result);
        QFETCH(QString, verdicts);
        QFETCH(bool, passed);
        QCOMPARE(CheckTable::passed(item, result), passed);
        QVERIFY(ReportTextTranslation::load(QLocale(QStringLiteral("zh_CN"))));
        const QList<CheckTable::Row> rows = CheckTable::rows({ item, result, SystemUpgrade,
            QString(), 7, SignatureVerified, QStringLiteral("Release Key") });
        QStringList shown;
        QStringList names;
        for (const CheckTable::Row &row : rows) {
            if (row.checkItem) {
                shown << QString::number(row.verdict);
                names << row.name;
            }
        }
        QCOMPARE(shown.join(' '), verdicts);
        QCOMPARE(names,
            QStringList({ "System Version Detection", "Offline Package Architecture Detection",
                "Disk Space Detection", "Offline Package Update Number Detection" }));
        QCOMPARE(rows.at(1).name, QStringLiteral("Package Signature"));
        QCOMPARE(rows.at(1).label, QStringLiteral("软件包签名"));
        QCOMPARE(rows.at(1).value, QStringLiteral("已验证：Release Key"));
        QCOMPARE(rows.last().value.contains(QLatin1Char('7')), passed);
    }

    void summary_data()
    {
        QTest::addColumn<int>("upgraded");
        QTest::addColumn<int>("installed");
        QTest::addColumn<int>("removed");
        QTest::addColumn<QString>("summary");
        QTest::newRow("all parts") << 12 << 3 << 1 << "12 upgraded, 3 new, 1 removed";
        QTest::newRow("upgrades only") << 2 << 0 << 0 << "2 upgraded";
        QTest::newRow("new and removed") << 0 << 1 << 4 << "1 new, 4 removed";
        QTest::newRow("nothing") << 0 << 0 << 0 << "No package changes";
    }

    void summary()
    {
        QFETCH(int, upgraded);
        QFETCH(int, installed);
        QFETCH(int, removed);
        QFETCH(QString, summary);
        UpgradePlan plan;
        plan.upgraded = packages(upgraded);
        plan.installed = packages(installed);
        plan.removed = packages(removed);
        QCOMPARE(UpgradePlanText::summary(plan), summary);
    }

    void lines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("expected");
        QTest::newRow("upgraded") << UpgradePlanText::packageLine(package("libc6", "2.36", "2.37"))
                                  << "libc6 2.36 → 2.37";
        QTest::newRow("new") << UpgradePlanText::packageLine(package("newpkg", "", "1.0"))
                             << "newpkg 1.0";
        QTest::newRow("removed") << UpgradePlanText::packageLine(package("oldpkg", "0.9", ""))
                                 << "oldpkg 0.9";
        QTest::newRow("configuration file")
            << UpgradePlanText::configFileLine({ "openssh-server", "/etc/ssh/sshd_config" })
            << "/etc/ssh/sshd_config (openssh-server)";
        QTest::newRow("room") << UpgradePlanText::spaceLine({ "/usr", 3 << 29, 200 << 20 })
                              << "/usr: 1.5 GiB needed, 200 MiB free";
        UpgradePlan replacing;
        replacing.replacedConfigFiles = { { "openssh-server", "/etc/ssh/sshd_config" } };
        QTest::newRow("note on replaced files")
            << UpgradePlanText::replacedFilesNote(replacing)
            << "Your changed versions of the replaced configuration files are kept beside them, "
               "ending in .dpkg-old.";
        QTest::newRow("no note without replaced files")
            << UpgradePlanText::replacedFilesNote(UpgradePlan()) << "";
        QTest::newRow("nothing") << UpgradePlanText::size(0) << "0 MiB";
        QTest::newRow("a byte, rounded up") << UpgradePlanText::size(1) << "1 MiB";
        QTest::newRow("a MiB and a byte") << UpgradePlanText::size((1 << 20) + 1) << "2 MiB";
        QTest::newRow("just under a GiB")
            << UpgradePlanText::size((1 << 30) - (1 << 20)) << "1023 MiB";
        QTest::newRow("a GiB") << UpgradePlanText::size(1 << 30) << "1.0 GiB";
        QTest::newRow("many GiB") << UpgradePlanText::size(qint64(25) << 30) << "25.0 GiB";
    }

    void lines()
    {
        QFETCH(QString, line);
        QFETCH(QString, expected);
        QCOMPARE(line, expected);
    }

    void sections()
    {
        UpgradePlan plan;
        plan.upgraded = { package("a", "1", "2"), package("b", "3", "4") };
        plan.removed = { package("c", "5", "") };
        plan.interrupted = QStringList { QStringLiteral("d") };
        plan.replacedConfigFiles = { { "e", "/etc/e.conf" } };
        plan.space = { { "/", 1 << 20, 1 << 30 } };
        QStringList shown;
        for (const UpgradePlanText::Section &section : UpgradePlanText::sections(plan))
            shown << QString::number(section.part) + QLatin1Char(' ') + section.title + ": "
                    + section.lines.join(", ");
        QCOMPARE(shown,
            QStringList({ "0 Upgraded (2): a 1 → 2, b 3 → 4", "2 Removed (1): c 5",
                "4 Unfinished installations, completed first (1): d",
                "5 Replaced configuration files (1): /etc/e.conf (e)",
                "6 Disk space needed: /: 1 MiB needed, 1.0 GiB free" }));
        QVERIFY(UpgradePlanText::sections(UpgradePlan()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_ReportText)
#include "tst_reporttext.moc"
