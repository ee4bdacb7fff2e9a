// The main window's module list and page stack, in process on the offscreen platform, with the
// real modules on private buses. Faults this test catches:
// - module rows in the wrong order, with wrong texts, names or margins (the names are what the
//   tool's bus service selects modules by);
// - a missing settings schema aborting the tool; the module list shown when the setting says
//   no, hidden when it says yes, or not 200 pixels wide; the page area not filling the window;
// - the offline module's import, checking and result pages not following each other, a second
//   check report replacing the result page, a package path reaching a page that has gone;
// - pressing the active module's row rebuilding its pages; re-activation not giving a fresh
//   first page; models made again on every activation;
// - popping the stack deactivating some module other than the one whose page is on top;
// - null modules or pages entering the stack;
// - the file-type message missing, worded differently, or staying on screen;
// - closing the window not ending the event loop with 0.
#include "backgroundgroup.h"
#include "floatingmessage.h"
#include "isoupdatemodel.h"
#include "isoupdatewidget.h"
#include "mainwindow.h"
#include "moduleinterface.h"
#include "multiselectlistview.h"
#include "offlinecheckresultwidget.h"
#include "offlineupdatecheckingwidget.h"
#include "offlineupdatemodel.h"
#include "offlineupdatewidget.h"
#include "privatebus.h"
#include "schemafixture.h"
#include "systemupdatemodel.h"
#include "systemupdatewidget.h"

#include <QElapsedTimer>
#include <QGSettings/qgsettings.h>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTimer>
#include <QtTest>
#include <memory>

Q_DECLARE_METATYPE(QMargins)

namespace {

const QByteArray AbsentSchema = QByteArrayLiteral("com.tevrin.offline.update.absent");
const QString NavShowTypeKey = QStringLiteral("nav-show-type");

void flushDeletions()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The pages of one type that are still alive. A module keeps at most one page of each type, so
// more than one means a page was not disposed of.
template <typename Page> QList<Page *> livePages(const QWidget &window)
{
    flushDeletions();
    return window.findChildren<Page *>();
}

template <typename Page> Page *onlyPage(const QWidget &window)
{
    const QList<Page *> pages = livePages<Page>(window);
    return pages.size() == 1 ? pages.first() : nullptr;
}

// A module of the test's own, to see which module the window deactivates when it pops a page.
class RecordingModule : public ModuleInterface
{
public:
    explicit RecordingModule(FrameProxyInterface *frame)
        : ModuleInterface(frame)
    { }
    QString name() const override { return QStringLiteral("recording"); }
    void active(int) override { ++activations; }
    void deactive() override { ++deactivations; }

    int activations = 0;
    int deactivations = 0;
};

} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void windowAndRows_data();
    void windowAndRows();
    void moduleListSetting_data();
    void moduleListSetting();
    void offlinePagesFollowTheCheck();
    void reactivationGivesAFreshFirstPage();
    void popDeactivatesTheTopModule();
    void nullPushesOnlyWarn_data();
    void nullPushesOnlyWarn();
    void packagePaths_data();
    void packagePaths();
    void isoFileTwice();
    void showModulePage_data();
    void showModulePage();
    void fileTypeMessage();
    void closingEndsTheEventLoop();

private:
    // Null if the window never got on screen.
    std::unique_ptr<MainWindow> shownWindow(const QByteArray &schema = MainWindow::SettingsSchema);
    MultiSelectListView *moduleList(const MainWindow &window) const;
    void press(const MainWindow &window, int row) const;

    std::unique_ptr<PrivateBus> m_systemBus;
    std::unique_ptr<PrivateBus> m_sessionBus;
    SchemaFixture m_schema;
};

void tst_MainWindow::initTestCase()
{
    // The offline module's model reaches the daemon and the desktop services: keep it off the
    // machine's buses.
    m_systemBus = std::make_unique<PrivateBus>(PrivateBus::System);
    m_sessionBus = std::make_unique<PrivateBus>(PrivateBus::Session);
    QVERIFY2(m_systemBus->start(), qPrintable(m_systemBus->errorString()));
    QVERIFY2(m_sessionBus->start(), qPrintable(m_sessionBus->errorString()));
    m_systemBus->exportAddress();
    m_sessionBus->exportAddress();

    QString error;
    QVERIFY2(m_schema.compile(&error), qPrintable(error));
    // GSettings reads these once, at its first use in this process, which is still to come.
    qputenv("GSETTINGS_SCHEMA_DIR", QFile::encodeName(m_schema.schemaDir()));
    qputenv("GSETTINGS_BACKEND", "memory");
    qputenv("XDG_DATA_DIRS", QFile::encodeName(m_schema.emptyDataDir()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_schema.emptyDataDir()));
    QVERIFY(QGSettings::isSchemaInstalled(MainWindow::SettingsSchema));
    QVERIFY(!QGSettings::isSchemaInstalled(AbsentSchema));
}

void tst_MainWindow::cleanup()
{
    QGSettings(MainWindow::SettingsSchema).reset(NavShowTypeKey);
    flushDeletions();
}

std::unique_ptr<MainWindow> tst_MainWindow::shownWindow(const QByteArray &schema)
{
    auto window = std::make_unique<MainWindow>(schema);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        window.reset();
    return window;
}

MultiSelectListView *tst_MainWindow::moduleList(const MainWindow &window) const
{
    return window.findChild<MultiSelectListView *>();
}

// What a mouse press on a row, or an arrow key onto it, tells the window.
void tst_MainWindow::press(const MainWindow &window, int row) const
{
    MultiSelectListView *list = moduleList(window);
    emit list->pressed(list->model()->index(row, 0));
}

void tst_MainWindow::windowAndRows_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("name");

    QTest::newRow("offline update") << 0 << QStringLiteral("离线更新") << "offlineupdate";
    QTest::newRow("iso update") << 1 << QStringLiteral("iso更新") << "isoupdate";
    QTest::newRow("system update") << 2 << QStringLiteral("系统更新") << "systemupdate";
}

void tst_MainWindow::windowAndRows()
{
    QFETCH(int, row);
    QFETCH(QString, text);
    QFETCH(QString, name);

    const auto window = std::make_unique<MainWindow>();
    QCOMPARE(window->objectName(), QStringLiteral("mainWindow"));
    QCOMPARE(window->minimumSize(), QSize(740, 550));
    QCOMPARE(window->maximumSize(), QSize(740, 550));
    QVERIFY(window->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!window->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(window->getModuleCount(), 3);

    const QAbstractItemModel *model = moduleList(*window)->model();
    QCOMPARE(model->rowCount(), 3);
    const QModelIndex index = model->index(row, 0);
    QCOMPARE(index.data(Qt::DisplayRole).toString(), text);
    QCOMPARE(index.data(Qt::AccessibleTextRole).toString(), name);
    QCOMPARE(index.data(Qt::UserRole + 1).value<QMargins>(), QMargins(5, 3, 5, 3));

    // The row's name is the module's own: selecting that row must bring up that module.
    window->setCurrentModule(row, 0);
    QVERIFY(window->currentModule());
    QCOMPARE(window->currentModule()->name(), name);
}

void tst_MainWindow::moduleListSetting_data()
{
    QTest::addColumn<QByteArray>("schema");
    QTest::addColumn<bool>("navShowType");
    QTest::addColumn<bool>("listShown");

    QTest::newRow("schema missing") << AbsentSchema << true << false;
    QTest::newRow("setting off") << MainWindow::SettingsSchema << false << false;
    QTest::newRow("setting on") << MainWindow::SettingsSchema << true << true;
}

void tst_MainWindow::moduleListSetting()
{
    QFETCH(QByteArray, schema);
    QFETCH(bool, navShowType);
    QFETCH(bool, listShown);

    QGSettings(MainWindow::SettingsSchema).set(NavShowTypeKey, navShowType);
    if (schema == AbsentSchema)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("is not installed")));

    const auto window = shownWindow(schema);
    QVERIFY(window);

    MultiSelectListView *list = moduleList(*window);
    QCOMPARE(list->isVisible(), listShown);
    const auto *pageArea = window->findChild<Karvo::BackgroundGroup *>();
    QVERIFY(pageArea);
    const int available = window->centralWidget()->contentsRect().width();
    if (listShown) {
        QCOMPARE(list->width(), 200);
        QTRY_COMPARE_WITH_TIMEOUT(pageArea->width(), available - 200, 2000);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(pageArea->width(), available, 2000);
    }
    // The import page is there whatever the setting.
    QVERIFY(onlyPage<OfflineUpdateWidget>(*window));
}

void tst_MainWindow::offlinePagesFollowTheCheck()
{
    const auto window = shownWindow();
    QVERIFY(window);
    QCOMPARE(window->currentModule()->name(), QStringLiteral("offlineupdate"));
    QVERIFY(onlyPage<OfflineUpdateWidget>(*window));

    auto *model = window->findChild<OfflineUpdateModel *>();
    QVERIFY(model);
    emit model->notifyCheckFilePath(QStringLiteral("/tmp/update.oup"));
    QVERIFY(livePages<OfflineUpdateWidget>(*window).isEmpty());
    OfflineUpdateCheckingWidget *checking = onlyPage<OfflineUpdateCheckingWidget>(*window);
    QVERIFY(checking);
    QTRY_VERIFY(checking->isVisible());

    emit model->notifyOfflineCheckResult(3, false);
    QVERIFY(livePages<OfflineUpdateCheckingWidget>(*window).isEmpty());
    QPointer<OfflineCheckResultWidget> result = onlyPage<OfflineCheckResultWidget>(*window);
    QVERIFY(result);
    QTRY_VERIFY(result->isVisible());

    // A second report, or a press on the active module's row, leaves the result page alone.
    emit model->notifyOfflineCheckResult(6, true);
    press(*window, 0);
    QCOMPARE(livePages<OfflineCheckResultWidget>(*window),
        QList<OfflineCheckResultWidget *> { result.data() });
    QVERIFY(livePages<OfflineUpdateWidget>(*window).isEmpty());
    QCOMPARE(moduleList(*window)->currentIndex().row(), 0);
    QCOMPARE(window->currentModule()->name(), QStringLiteral("offlineupdate"));
}

void tst_MainWindow::reactivationGivesAFreshFirstPage()
{
    const auto window = shownWindow();
    QVERIFY(window);
    const QPointer<OfflineUpdateWidget> firstImport = onlyPage<OfflineUpdateWidget>(*window);
    QVERIFY(firstImport);
    auto *model = window->findChild<OfflineUpdateModel *>();
    emit model->notifyCheckFilePath(QStringLiteral("/tmp/update.oup"));

    // The ISO module while the check runs, then back.
    press(*window, 1);
    QCOMPARE(window->currentModule()->name(), QStringLiteral("isoupdate"));
    QVERIFY(onlyPage<ISOUpdateWidget>(*window));
    QVERIFY(livePages<OfflineUpdateCheckingWidget>(*window).isEmpty());

    press(*window, 0);
    QCOMPARE(window->currentModule()->name(), QStringLiteral("offlineupdate"));
    QVERIFY(livePages<ISOUpdateWidget>(*window).isEmpty());
    const QPointer<OfflineUpdateWidget> freshImport = onlyPage<OfflineUpdateWidget>(*window);
    QVERIFY(freshImport);
    QVERIFY(firstImport.isNull());
    QTRY_VERIFY(freshImport->isVisible());

    // The walked-away check still reports; the module leaves the fresh page where it is.
    emit model->notifyOfflineCheckResult(2, false);
    QVERIFY(livePages<OfflineCheckResultWidget>(*window).isEmpty());
    QCOMPARE(onlyPage<OfflineUpdateWidget>(*window), freshImport.data());
    QCOMPARE(window->currentModule()->name(), QStringLiteral("offlineupdate"));

    // Pages come and go with activation; the models stay.
    press(*window, 2);
    press(*window, 1);
    QCOMPARE(window->findChildren<SystemUpdateModel *>().size(), 1);
    QCOMPARE(window->findChildren<ISOUpdateModel *>().size(), 1);
    QCOMPARE(window->findChildren<OfflineUpdateModel *>().size(), 1);
}

void tst_MainWindow::popDeactivatesTheTopModule()
{
    const auto window = std::make_unique<MainWindow>();
    RecordingModule recording(window.get());
    auto *page = new QWidget;
    window->pushWidget(&recording, page);
    QCOMPARE(window->currentModule(), &recording);
    QCOMPARE(page->window(), window.get());

    // The offline module's import page lies below; only the top entry's module is told.
    window->setCurrentModule(2, 0);
    QCOMPARE(recording.deactivations, 1);
    QCOMPARE(recording.activations, 0);
    QCOMPARE(window->currentModule()->name(), QStringLiteral("systemupdate"));

    window->setCurrentModule(1, 0);
    QCOMPARE(recording.deactivations, 1);
    QVERIFY(livePages<SystemUpdateWidget>(*window).isEmpty());
}

void tst_MainWindow::nullPushesOnlyWarn_data()
{
    QTest::addColumn<bool>("nullModule");
    QTest::addColumn<bool>("nullPage");
    QTest::addColumn<QString>("warning");

    const QString signature
        = QStringLiteral("virtual void MainWindow::pushWidget(ModuleInterface*, QWidget*) ");
    QTest::newRow("null module") << true << false << signature + " inter is nullptr";
    QTest::newRow("null page") << false << true << signature + " widget is nullptr";
}

void tst_MainWindow::nullPushesOnlyWarn()
{
    QFETCH(bool, nullModule);
    QFETCH(bool, nullPage);
    QFETCH(QString, warning);

    const auto window = std::make_unique<MainWindow>();
    RecordingModule recording(window.get());
    QWidget page;
    const QPointer<OfflineUpdateWidget> import = onlyPage<OfflineUpdateWidget>(*window);
    ModuleInterface *before = window->currentModule();

    QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    window->pushWidget(nullModule ? nullptr : &recording, nullPage ? nullptr : &page);
    QCOMPARE(window->currentModule(), before);
    QVERIFY(page.parent() == nullptr);
    QCOMPARE(onlyPage<OfflineUpdateWidget>(*window), import.data());
}

void tst_MainWindow::packagePaths_data()
{
    QTest::addColumn<QString>("startState");
    QTest::addColumn<QStringList>("paths");
    // What the model is told to check, in order.
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<QString>("shownPage");

    const QString a = QStringLiteral("/tmp/a.oup");
    const QString b = QStringLiteral("/tmp/b.oup");
    QTest::newRow("import page takes the path")
        << "import" << QStringList { a } << QStringList { a } << "checking";
    QTest::newRow("second path dropped")
        << "import" << QStringList { a, b } << QStringList { a } << "checking";
    QTest::newRow("from the ISO module")
        << "iso" << QStringList { a } << QStringList { a } << "checking";
    QTest::newRow("result page keeps the screen")
        << "result" << QStringList { a } << QStringList {} << "result";
}

void tst_MainWindow::packagePaths()
{
    QFETCH(QString, startState);
    QFETCH(QStringList, paths);
    QFETCH(QStringList, checked);
    QFETCH(QString, shownPage);

    const auto window = std::make_unique<MainWindow>();
    auto *model = window->findChild<OfflineUpdateModel *>();
    if (startState == QLatin1String("iso")) {
        window->setCurrentModule(1, 0);
    } else if (startState == QLatin1String("result")) {
        emit model->notifyCheckFilePath(QStringLiteral("/tmp/earlier.oup"));
        emit model->notifyOfflineCheckResult(6, true);
    }

    QSignalSpy checks(model, &OfflineUpdateModel::notifyCheckFilePath);
    for (const QString &path : qAsConst(paths))
        window->setOfflineUpdateFile(path);

    QStringList seen;
    for (const QList<QVariant> &call : qAsConst(checks))
        seen << call.first().toString();
    QCOMPARE(seen, checked);
    QCOMPARE(window->currentModule()->name(), QStringLiteral("offlineupdate"));
    QVERIFY(livePages<ISOUpdateWidget>(*window).isEmpty());
    QVERIFY(livePages<OfflineUpdateWidget>(*window).isEmpty());
    if (shownPage == QLatin1String("checking")) {
        QVERIFY(onlyPage<OfflineUpdateCheckingWidget>(*window));
        QVERIFY(livePages<OfflineCheckResultWidget>(*window).isEmpty());
    } else {
        QVERIFY(onlyPage<OfflineCheckResultWidget>(*window));
        QVERIFY(livePages<OfflineUpdateCheckingWidget>(*window).isEmpty());
    }
    QVERIFY(!moduleList(*window)->isVisibleTo(window.get()));
}

void tst_MainWindow::isoFileTwice()
{
    const auto window = std::make_unique<MainWindow>();
    window->setISOUpdateFile(QStringLiteral("/tmp/x.iso"));
    QCOMPARE(window->currentModule()->name(), QStringLiteral("isoupdate"));
    const QPointer<ISOUpdateWidget> page = onlyPage<ISOUpdateWidget>(*window);
    QVERIFY(page);
    QVERIFY(livePages<OfflineUpdateWidget>(*window).isEmpty());

    window->setISOUpdateFile(QStringLiteral("/tmp/y.iso"));
    QCOMPARE(onlyPage<ISOUpdateWidget>(*window), page.data());
}

void tst_MainWindow::showModulePage_data()
{
    QTest::addColumn<QString>("module");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("shown");

    const auto row = [](const char *name, const char *module, const char *page, const char *shown) {
        QTest::newRow(name) << QString::fromLatin1(module) << QString::fromLatin1(page)
                            << QString::fromLatin1(shown);
    };
    row("system update", "systemupdate", "", "systemupdate");
    row("iso update, some page", "isoupdate", "anything", "isoupdate");
    row("unknown name", "nosuchmodule", "", "offlineupdate");
    row("name in other case", "ISOUPDATE", "", "offlineupdate");
    row("the active module", "offlineupdate", "", "offlineupdate");
}

void tst_MainWindow::showModulePage()
{
    QFETCH(QString, module);
    QFETCH(QString, page);
    QFETCH(QString, shown);

    const auto window = std::make_unique<MainWindow>();
    const QPointer<OfflineUpdateWidget> import = onlyPage<OfflineUpdateWidget>(*window);
    window->showMinimized();
    QTRY_VERIFY_WITH_TIMEOUT(window->isMinimized(), 2000);

    window->showModulePage(module, page);
    QCOMPARE(window->currentModule()->name(), shown);
    QVERIFY(window->isVisible());
    QVERIFY(!window->isMinimized());
    // Even the module that was active gets its first page built again.
    flushDeletions();
    QVERIFY(import.isNull());
    if (shown == QLatin1String("offlineupdate"))
        QVERIFY(onlyPage<OfflineUpdateWidget>(*window));
    else if (shown == QLatin1String("isoupdate"))
        QVERIFY(onlyPage<ISOUpdateWidget>(*window));
    else
        QVERIFY(onlyPage<SystemUpdateWidget>(*window));
}

void tst_MainWindow::fileTypeMessage()
{
    const auto window = shownWindow();
    QVERIFY(window);

    QElapsedTimer clock;
    clock.start();
    window->showErrorFileType();
    const QList<Karvo::FloatingMessage *> messages
        = window->findChildren<Karvo::FloatingMessage *>();
    QCOMPARE(messages.size(), 1);
    const QPointer<Karvo::FloatingMessage> message = messages.first();
    QCOMPARE(message->message(), QStringLiteral("File format error, please reselect"));
    QCOMPARE(message->duration(), 2000);
    QTRY_VERIFY(message->isVisible());

    QTRY_VERIFY_WITH_TIMEOUT(message.isNull() || !message->isVisible(), 5000);
    QVERIFY2(clock.elapsed() >= 1500, "the message went away long before its two seconds");
}

void tst_MainWindow::closingEndsTheEventLoop()
{
    const auto window = shownWindow();
    QVERIFY(window);

    QTimer::singleShot(0, window.get(), [&window] { window->close(); });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(5000);
    QCOMPARE(QCoreApplication::exec(), 0);
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
