// How the tool tells, when it starts, how the user's last upgrade ended (after a restart, or
// finished while the system started), against a scripted daemon's history. Faults caught here:
// - another user's upgrade, a check, or an older upgrade told of instead of the user's newest;
//   an upgrade told of again at the next start, or one without an id told of at every start;
// - a notice that does not say the upgrade succeeded, was finished at boot or failed and why
//   (the library's sentence, its details kept for "Details");
// - a notice the keyboard cannot reach or dismiss, whose controls a screen reader cannot name,
//   or whose text is cut, in English or in Chinese.
#include "accessiblenames.h"
#include "cuttexts.h"
#include "detailsdisclosure.h"
#include "frameproxyinterface.h"
#include "historyentry.h"
#include "historytext.h"
#include "lastupgradenotice.h"
#include "offlineupdatemodule.h"
#include "offlineupdateprotocol.h"
#include "offlineupdatewidget.h"
#include "reporttexttranslation.h"
#include "scriptedservice.h"
#include "settingsinvokerinterface.h"
#include "testbuses.h"
#include "unreportedupgrade.h"
#include "upgradefailuretext.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTranslator>
#include <QtTest>
#include <memory>
#include <unistd.h>

namespace {

struct MemorySettings : SettingsInvokerInterface
{
    QVariant GetValue(const QString &key) override { return values.value(key); }
    void SetValue(const QString &key, const QVariant &value) override { values[key] = value; }
    void ResetValue(const QString &key) override { values.remove(key); }
    QHash<QString, QVariant> values;
};

// The main window as the module sees it, about the size of the tool's page area.
struct Frame : FrameProxyInterface
{
    Frame() { pageArea.resize(540, 500); }
    void pushWidget(ModuleInterface *, QWidget *widget) override
    {
        widget->setParent(&pageArea);
        widget->setGeometry(pageArea.rect());
        widget->show();
        pages << widget;
    }
    void setCurrentModule(int, int) override { }
    ModuleInterface *currentModule() override { return nullptr; }

    QWidget pageArea;
    QList<QPointer<QWidget>> pages;
};

QString entry(const QString &kind, const QString &id, int uid, const QString &outcome,
    const QString &key = QString(), const QString &detail = QString(), bool resumed = false)
{
    const QJsonObject object { { "kind", kind }, { "id", id }, { "time", "2026-03-01T22:05:00Z" },
        { "uid", uid }, { "user", "someone" }, { "package", "update-2026-03-cve-patch.oup" },
        { "outcome", outcome }, { "reasonKey", key }, { "reasonDetail", detail },
        { "resumed", resumed } };
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace

class tst_LastUpgradeNotice : public QObject
{
    Q_OBJECT

    TestBuses m_buses;
    std::unique_ptr<ScriptedService> m_daemon;

    // The import page of a module started with |settings| against a daemon whose history is
    // |entries|, once the history has been asked for.
    OfflineUpdateWidget *startTool(
        Frame *frame, std::unique_ptr<OfflineUpdateModule> *module, MemorySettings *settings,
        const QStringList &entries)
    {
        m_daemon->setReply(QStringLiteral("GetHistory"), answer({ entries }));
        const int asked = m_daemon->members().count(QStringLiteral("GetHistory"));
        *module = std::make_unique<OfflineUpdateModule>(
            frame, QDBusConnection::systemBus(), QDBusConnection::sessionBus(), settings);
        (*module)->active(0);
        if (!QTest::qWaitFor(
                [&] { return m_daemon->members().count(QStringLiteral("GetHistory")) > asked; },
                5000))
            return nullptr;
        // The answer is handled on this thread: a call behind it on the same connection
        // returns after it.
        QTest::qWait(100);
        return qobject_cast<OfflineUpdateWidget *>(frame->pages.last());
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(m_buses.start(), QString());
        m_daemon = std::make_unique<ScriptedService>(
            m_buses.systemAddress(), QStringLiteral("com.tevrin.offline.update.daemon"));
        QCOMPARE(m_daemon->start(), QString());
    }

    void find_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("reported");
        QTest::addColumn<QString>("found"); // the id; empty: nothing to tell
        const int me = 1000;
        const int other = 1001;
        QTest::newRow("the user's newest upgrade")
            << QStringList { entry("upgrade", "a", me, "failed"),
                   entry("upgrade", "b", me, "succeeded") }
            << "a" << "b";
        QTest::newRow("told of already") << QStringList { entry("upgrade", "b", me, "succeeded") }
                                         << "b" << "";
        QTest::newRow("newest told of, an older one not")
            << QStringList { entry("upgrade", "a", me, "failed"),
                   entry("upgrade", "b", me, "succeeded") }
            << "b" << "";
        QTest::newRow("another user's newer upgrade")
            << QStringList { entry("upgrade", "a", me, "succeeded"),
                   entry("upgrade", "z", other, "failed") }
            << "" << "a";
        QTest::newRow("checks after the upgrade")
            << QStringList { entry("upgrade", "a", me, "succeeded"), entry("check", "", me, "passed"),
                   "not json" }
            << "" << "a";
        QTest::newRow("an upgrade without an id")
            << QStringList { entry("upgrade", "", me, "succeeded") } << "" << "";
        QTest::newRow("no upgrade") << QStringList { entry("check", "", me, "failed") } << ""
                                    << "";
    }

    void find()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, reported);
        QFETCH(QString, found);
        const HistoryEntry entry = UnreportedUpgrade::find(entries, 1000, reported);
        QCOMPARE(entry.id, found);
        QCOMPARE(entry.kind.isEmpty(), found.isEmpty());
    }

    void told_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QStringList>("said"); // words of the notice
        QTest::addColumn<QString>("details");
        const int me = int(getuid());
        QTest::newRow("succeeded") << entry("upgrade", "u1", me, "succeeded")
                                   << QStringList { "update-2026-03-cve-patch.oup",
                                          "The upgrade succeeded." }
                                   << "";
        QTest::newRow("finished at boot")
            << entry("upgrade", "u2", me, "succeeded", QString(), QString(), true)
            << QStringList { "update-2026-03-cve-patch.oup",
                   "The upgrade was interrupted, and it was finished when the system started "
                   "again." }
            << "";
        QTest::newRow("failed, and why")
            << entry("upgrade", "u3", me, "failed", OfflineUpdate::UpgradeReason::ScriptFailed,
                   "openjdk-17-jdk")
            << QStringList { UpgradeFailureText::forReason(
                   OfflineUpdate::UpgradeReason::ScriptFailed, "openjdk-17-jdk")
                                 .sentence }
            << "";
        QTest::newRow("failed at boot, details kept")
            << entry("upgrade", "u4", me, "failed", "resume-failed", "the kept copy is gone", true)
            << QStringList { "could not be finished when the system started again" }
            << "What went wrong: the kept copy is gone";
    }

    void told()
    {
        QFETCH(QString, entry);
        QFETCH(QStringList, said);
        QFETCH(QString, details);
        MemorySettings settings;
        Frame frame;
        std::unique_ptr<OfflineUpdateModule> module;
        OfflineUpdateWidget *page = startTool(&frame, &module, &settings, { entry });
        QVERIFY(page);
        LastUpgradeNotice *notice = page->lastUpgradeNotice();
        QTRY_VERIFY(notice->isVisibleTo(page));
        QString text;
        for (const QLabel *label : notice->findChildren<QLabel *>())
            text += label->text() + QLatin1Char('\n');
        for (const QString &words : said)
            QVERIFY2(text.contains(words), qPrintable(text));
        QCOMPARE(notice->findChild<DetailsDisclosure *>()->details(), details);
        const QString id = HistoryEntry::fromJson(entry).id;
        QCOMPARE(settings.GetValue(OfflineUpdateModule::ReportedUpgradeKey).toString(), id);

        // The next start has nothing to tell.
        Frame again;
        std::unique_ptr<OfflineUpdateModule> next;
        OfflineUpdateWidget *nextPage = startTool(&again, &next, &settings, { entry });
        QVERIFY(nextPage);
        QVERIFY(!nextPage->lastUpgradeNotice()->isVisibleTo(nextPage));
    }

    // Tab from the page's button reaches the notice's controls and Return on "Dismiss" closes
    // it, handing the focus on; everything has a name for a screen reader.
    void keyboard()
    {
        MemorySettings settings;
        Frame frame;
        std::unique_ptr<OfflineUpdateModule> module;
        OfflineUpdateWidget *page = startTool(&frame, &module, &settings,
            { entry("upgrade", "k1", int(getuid()), "failed", "resume-failed", "why", true) });
        QVERIFY(page);
        frame.pageArea.show();
        QVERIFY(QTest::qWaitForWindowActive(&frame.pageArea));
        LastUpgradeNotice *notice = page->lastUpgradeNotice();
        QTRY_VERIFY(notice->isVisible());
        const QStringList unnamed = unnamedWidgets(page);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
        page->setFocus();
        QPushButton *dismiss = notice->dismissButton();
        for (int tab = 0; tab < 6 && QApplication::focusWidget() != dismiss; ++tab)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dismiss);
        QVERIFY(dismiss->hasFocus());
        QTest::keyClick(dismiss, Qt::Key_Space);
        QVERIFY(!notice->isVisible());
        QVERIFY(QApplication::focusWidget() && QApplication::focusWidget()->isVisible());
    }

    void fits_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("English") << "en";
        QTest::newRow("Chinese") << "zh_CN";
    }

    // The longest notice, with its details open, whole on the import page in both languages.
    void fits()
    {
        QFETCH(QString, language);
        QTranslator translator;
        if (language != QLatin1String("en")) {
            QVERIFY(translator.load(QStringLiteral("tevrin-offline-update-tool_") + language,
                qEnvironmentVariable("TEVRIN_BINARY_DIR") + QStringLiteral("/tool/translations")));
            QCoreApplication::installTranslator(&translator);
        }
        ReportTextTranslation::load(QLocale(language));
        const auto restore = qScopeGuard([&] {
            QCoreApplication::removeTranslator(&translator);
            ReportTextTranslation::load(QLocale(QLocale::English));
        });
        MemorySettings settings;
        Frame frame;
        std::unique_ptr<OfflineUpdateModule> module;
        OfflineUpdateWidget *page = startTool(&frame, &module, &settings,
            { entry("upgrade", "f1", int(getuid()), "failed", "resume-given-up",
                "2 attempts at boot failed: E: Sub-process /usr/bin/dpkg returned an error code "
                "(1)",
                true) });
        QVERIFY(page);
        frame.pageArea.show();
        LastUpgradeNotice *notice = page->lastUpgradeNotice();
        QTRY_VERIFY(notice->isVisible());
        if (language != QLatin1String("en"))
            QVERIFY2(!notice->findChild<QLabel *>(QStringLiteral("lastUpgradeMessage"))
                          ->text()
                          .contains(QLatin1String("upgrade")),
                "the sentence is not in Chinese");
        notice->findChild<DetailsDisclosure *>()->setExpanded(true);
        QCoreApplication::processEvents();
        const QStringList cut = cutTexts(page);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join('\n')));
    }
};

QTEST_MAIN(tst_LastUpgradeNotice)
#include "tst_lastupgradenotice.moc"
