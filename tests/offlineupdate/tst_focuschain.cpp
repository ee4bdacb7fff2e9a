// The keyboard's and the screen reader's way through the check result page, offscreen, against
// a scripted daemon on a private bus. Faults caught here:
// - Tab caught in the table's cells, or never reaching the acknowledgement, the guide link and
//   "Start Upgrade", or never reaching the plan's view; a failure page without the way back in
//   its focus chain;
// - a control that Tab reaches without a name a screen reader can say; a window, dialog,
//   control, picture, spinner or progress bar of any page or dialog without one;
// - the table read out with a hidden column or header, or with actions on its cells.
#include "accessiblenames.h"
#include "confirmdialog.h"
#include "detailsdisclosure.h"
#include "dialog.h"
#include "licensedialog.h"
#include "mainwindow.h"
#include "offlinecheckresultwidget.h"
#include "offlineupdatecheckingwidget.h"
#include "offlineupdatemodel.h"
#include "offlineupdateprotocol.h"
#include "offlineupgradedialog.h"
#include "packagerequestdialog.h"
#include "upgradeplandialog.h"
#include "usermessage.h"
#include "scriptedservice.h"
#include "testbuses.h"

#include <QAccessible>
#include <QCheckBox>
#include <QTableView>
#include <QtTest>
#include <memory>

namespace {

using namespace OfflineUpdate;

UpgradePlan plan()
{
    UpgradePlan plan;
    plan.upgraded = { { "libc6", "amd64", "2.36", "2.37" } };
    plan.removed = { { "oldpkg", "all", "0.9", "" } };
    plan.replacedConfigFiles = { { "openssh-server", "/etc/ssh/sshd_config" } };
    return plan;
}

QString accessibleName(QWidget *widget)
{
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible ? accessible->text(QAccessible::Name) : QString();
}

} // namespace

class tst_FocusChain : public QObject
{
    Q_OBJECT

    TestBuses m_buses;
    std::unique_ptr<ScriptedService> m_daemon;

private slots:
    void initTestCase()
    {
        QCOMPARE(m_buses.start(), QString());
        m_daemon = std::make_unique<ScriptedService>(m_buses.systemAddress(), DaemonService);
        m_daemon->setReply(QStringLiteral("GetDistUpgradeSum"), answer({ 7 }));
        m_daemon->setReply(QStringLiteral("GetCheckFailureReason"),
            answer({ Reason::WrongArchitecture, QStringLiteral("arm64/x86_64") }));
        registerUpgradePlanTypes();
        m_daemon->setReply(QStringLiteral("GetUpgradePlan"), answer({ QVariant::fromValue(plan()) }));
        QCOMPARE(m_daemon->start(), QString());
    }

    void chain_data()
    {
        QTest::addColumn<int>("itemType");
        QTest::addColumn<bool>("result");
        // The names Tab reaches from the first stop, in order, until it comes round again.
        QTest::addColumn<QStringList>("stops");
        const QString guide = QStringLiteral(
            "How to restore the system after abnormal system startup after successful upgrade");
        QTest::newRow("passed") << int(UpgradableItem) << true
                                << QStringList { "Check items", "Show the plan",
                                       "I have read and understand", guide,
                                       "Choose another package", "Start Upgrade" };
        QTest::newRow("architecture failed")
            << int(ArchitectureItem) << false
            << QStringList { "Check items", "Details", "Choose another package" };
        QTest::newRow("file corrupted") << int(PackageLayoutItem) << false
                                        << QStringList { "Details", "Choose another package" };
    }

    void chain()
    {
        QFETCH(int, itemType);
        QFETCH(bool, result);
        QFETCH(QStringList, stops);
        OfflineUpdateModel model(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        OfflineCheckResultWidget page(&model, itemType, result);
        page.resize(740, 500);
        page.show();
        QVERIFY(QTest::qWaitForWindowActive(&page));
        QTRY_VERIFY_WITH_TIMEOUT(page.findChild<QTableView *>()->isVisible() || !examined(itemType),
            5000);
        if (auto *box = page.findChild<QCheckBox *>(); box->isEnabled())
            box->setChecked(true);
        QCoreApplication::processEvents();

        QWidget *first = page.nextInFocusChain();
        while (!(first->focusPolicy() & Qt::TabFocus) || !first->isVisible() || !first->isEnabled())
            first = first->nextInFocusChain();
        first->setFocus(Qt::TabFocusReason);
        QStringList reached;
        for (int press = 0; press < 12; ++press) {
            QWidget *focus = QApplication::focusWidget();
            QVERIFY(focus);
            const QString name = accessibleName(focus);
            QVERIFY2(!name.isEmpty(), focus->metaObject()->className());
            if (reached.contains(name))
                break;
            reached << name;
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        // Sorted as the chain's starting point may be any stop of the cycle.
        QStringList expected = stops;
        QCOMPARE(QSet<QString>(reached.begin(), reached.end()),
            QSet<QString>(expected.begin(), expected.end()));
        const int start = stops.indexOf(reached.constFirst());
        QCOMPARE(reached, stops.mid(start) + stops.mid(0, start));
    }

    // As a screen reader sees the table: its visible columns' header and cells, no actions.
    void tableForReaders()
    {
        OfflineUpdateModel model(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        OfflineCheckResultWidget page(&model, UpgradableItem, true);
        page.show();
        auto *table = page.findChild<QTableView *>();
        QTRY_VERIFY_WITH_TIMEOUT(table->model()->rowCount() > 0, 5000);
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(table);
        QCOMPARE(accessible->role(), QAccessible::Table);
        QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Check items"));
        const int rows = table->model()->rowCount();
        QCOMPARE(accessible->childCount(), (rows + 1) * 2);
        QCOMPARE(accessible->child(0)->text(QAccessible::Name), QStringLiteral("Detection Item"));
        QCOMPARE(accessible->child(1)->role(), QAccessible::ColumnHeader);
        const QAccessibleInterface *last = accessible->child((rows + 1) * 2 - 1);
        QCOMPARE(last->text(QAccessible::Name), QStringLiteral("7 item(s)"));
        for (int i = 0; i < accessible->childCount(); ++i) {
            QAccessibleInterface *cell = accessible->child(i);
            QVERIFY(!cell->text(QAccessible::Name).isEmpty());
            QVERIFY(!cell->actionInterface() || cell->actionInterface()->actionNames().isEmpty());
        }
        QVERIFY(!accessible->actionInterface()
            || accessible->actionInterface()->actionNames().isEmpty());
    }

    void everythingNamed_data()
    {
        QTest::addColumn<QString>("window");
        for (const char *window : { "main window", "checking page", "result: passed",
                 "result: architecture failed", "result: file corrupted",
                 "confirmation with backup", "confirmation without backup",
                 "confirmation with a plan", "upgrade plan", "failure",
                 "package request", "recovery guide", "upgrade progress" })
            QTest::newRow(window) << window;
    }

    // The success state is looked at where an upgrade is driven to it (tst_offlinecheckresultwidget).
    void everythingNamed()
    {
        QFETCH(QString, window);
        OfflineUpdateModel model(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        std::unique_ptr<QWidget> shown;
        if (window == QLatin1String("main window")) {
            shown = std::make_unique<MainWindow>(QByteArrayLiteral("com.tevrin.offline.update.absent"),
                QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        } else if (window == QLatin1String("checking page")) {
            shown = std::make_unique<OfflineUpdateCheckingWidget>(&model);
        } else if (window.startsWith(QLatin1String("result"))) {
            const bool passed = window.endsWith(QLatin1String("passed"));
            const int item = passed ? UpgradableItem
                : window.contains(QLatin1String("architecture")) ? ArchitectureItem
                                                                 : PackageLayoutItem;
            shown = std::make_unique<OfflineCheckResultWidget>(&model, item, passed);
        } else if (window == QLatin1String("confirmation with a plan")) {
            shown = std::make_unique<ConfirmDialog>(true, plan());
        } else if (window == QLatin1String("upgrade plan")) {
            shown = std::make_unique<UpgradePlanDialog>(plan());
        } else if (window.startsWith(QLatin1String("confirmation"))) {
            shown = std::make_unique<ConfirmDialog>(window.endsWith(QLatin1String("with backup")));
        } else if (window == QLatin1String("failure")) {
            shown.reset(OfflineCheckResultWidget::newFailureDialog(
                { QStringLiteral("The upgrade failed."), QStringLiteral("E: dpkg returned 1") }));
            shown->findChild<DetailsDisclosure *>()->setExpanded(true);
        } else if (window == QLatin1String("package request")) {
            shown = std::make_unique<PackageRequestDialog>(QStringLiteral("/tmp/update.oup"));
        } else if (window == QLatin1String("recovery guide")) {
            shown = std::make_unique<LicenseDialog>(QStringLiteral("Restoring the system"));
        } else {
            shown = std::make_unique<OfflineUpgradeDialog>(&model, nullptr);
        }
        shown->show();
        QVERIFY(QTest::qWaitForWindowExposed(shown.get()));
        // Result pages fill in from the daemon's answers; the table shows once they are in.
        if (window.startsWith(QLatin1String("result: ")) && !window.endsWith(QLatin1String("corrupted")))
            QTRY_VERIFY_WITH_TIMEOUT(shown->findChild<QTableView *>()->isVisible(), 5000);
        const QStringList unnamed = unnamedWidgets(shown.get());
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
    }

private:
    static bool examined(int itemType) { return itemType > PreHookItem; }
};

QTEST_MAIN(tst_FocusChain)
#include "tst_focuschain.moc"
