#include "mainwindow.h"

#include "backgroundgroup.h"
#include "builtinicons.h"
#include "floatingnotice.h"
#include "itemdatarole.h"
#include "listview.h"
#include "multiselectlistview.h"
#include "offlineupdatemodule.h"
#include "packagerequestdialog.h"
#include "placeholdermodule.h"
#include "standarditem.h"
#include "tevringarrolansettingsinvoker.h"
#include "titlebar.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QGSettings/qgsettings.h>
#include <QHBoxLayout>
#include <QIcon>
#include <QStandardItemModel>

Q_DECLARE_METATYPE(QMargins)

namespace {

const QString NavShowTypeKey = QStringLiteral("nav-show-type");
const QString ProductIconName = QStringLiteral("upgrade-tool");
const QMargins ItemMargins(5, 3, 5, 3);

} // namespace

const QByteArray MainWindow::SettingsSchema = QByteArrayLiteral("com.tevrin.offline.update");

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(
        SettingsSchema, QDBusConnection::systemBus(), QDBusConnection::sessionBus(), parent)
{ }

MainWindow::MainWindow(const QByteArray &settingsSchema, const QDBusConnection &systemBus,
    const QDBusConnection &sessionBus, QWidget *parent)
    : Karvo::MainWindow(parent)
    , m_settingsSchema(settingsSchema)
    , m_systemBus(systemBus)
    , m_sessionBus(sessionBus)
{
    // QGSettings aborts the process for a schema that is not installed, so ask first: a tool
    // installed without its schema must still start.
    if (QGSettings::isSchemaInstalled(settingsSchema)) {
        m_settings = new QGSettings(settingsSchema, QByteArray(), this);
    } else {
        qWarning() << Q_FUNC_INFO << "settings schema" << settingsSchema
                   << "is not installed; the module list stays hidden";
    }

    setObjectName(QStringLiteral("mainWindow"));
    setFixedSize(740, 550);
    setWindowFlags(Qt::WindowCloseButtonHint);
    // The window title is read out by screen readers and shown by window lists; the display
    // name follows it there.
    setWindowTitle(tr("Offline Update"));
    if (m_settings)
        m_moduleListVisible = m_settings->get(NavShowTypeKey).toBool();

    initUI();
    initData();
    initAllModule();
    modulePreInitialize();

    m_moduleList->setVisible(m_moduleListVisible);
}

MainWindow::~MainWindow()
{
    m_moduleListModel->clear();
    m_moduleListModel->deleteLater();
    // The pages sit in the page area, which is older than the modules and so is destroyed
    // before them: the active module must let go of its pages while they still exist.
    popAllWidgets(0);
}

void MainWindow::initUI()
{
    titlebar()->setIcon(themeIcon(ProductIconName));
    titlebar()->setMenuVisible(false);

    auto *central = new QWidget(this);
    m_mainLayout = new QHBoxLayout(central);
    m_mainLayout->setContentsMargins(0, 0, 0, 0);
    m_mainLayout->setSpacing(0);
    setCentralWidget(central);

    m_moduleList = new MultiSelectListView(central);
    m_moduleList->setAccessibleName(tr("Modules"));
    m_moduleList->setItemSize(QSize(180, 48));
    m_moduleList->setItemSpacing(0);
    m_moduleList->setSpacing(20);
    m_moduleList->setIconSize(QSize(32, 32));
    m_moduleList->setFrameShape(QFrame::NoFrame);
    m_moduleList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_moduleList->setAutoScroll(true);
    m_moduleList->setTabKeyNavigation(false);
    m_moduleList->setViewportMargins(10, 10, 10, 0);
    m_moduleList->setFixedWidth(200);
    m_moduleList->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    m_moduleList->setSpacing(0);
    m_moduleList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_moduleList->setAutoFillBackground(true);
    m_moduleList->setBackgroundType(Karvo::ListView::BackgroundType(
        Karvo::ListView::RoundedBackground | Karvo::ListView::NoNormalState));
    m_mainLayout->addWidget(m_moduleList, 0);

    m_pageLayout = new QHBoxLayout;
    m_pageArea = new Karvo::BackgroundGroup(m_pageLayout);
    m_pageArea->setItemSpacing(2);
    m_pageArea->setItemMargins(QMargins(0, 0, 0, 0));
    m_pageArea->setContentsMargins(0, 0, 0, 0);
    m_pageArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_mainLayout->addWidget(m_pageArea, 0);
}

void MainWindow::initData()
{
    m_moduleListModel = new QStandardItemModel(m_moduleList);
    m_moduleList->setModel(m_moduleListModel);
    connect(m_moduleList, &QAbstractItemView::pressed, this, &MainWindow::onFirstItemClick);
}

void MainWindow::initAllModule()
{
    // The module remembers in the tool's settings which upgrade it has told the user of.
    m_offlineModule = new OfflineUpdateModule(this, m_systemBus, m_sessionBus,
        new TevrinGarrolanSettingsInvoker(m_settingsSchema, QByteArray(), this), this);
    auto *isoModule = new PlaceholderModule(QStringLiteral("isoupdate"), this, this);
    auto *systemModule = new PlaceholderModule(QStringLiteral("systemupdate"), this, this);

    m_modules = {
        { m_offlineModule, tr("Offline Update") },
        { isoModule, tr("ISO Update") },
        { systemModule, tr("System Update") },
    };

    for (const auto &module : qAsConst(m_modules)) {
        auto *item = new Karvo::StandardItem;
        // Read out as shown; the internal name is for the bus and the program.
        item->setData(module.second, Qt::AccessibleTextRole);
        item->setText(module.second);
        item->setIcon(themeIcon(ProductIconName));
        item->setData(QVariant::fromValue(ItemMargins), Karvo::MarginsRole);
        m_moduleListModel->appendRow(item);
    }
}

void MainWindow::modulePreInitialize()
{
    for (const auto &module : qAsConst(m_modules))
        module.first->preInitialize();

    const QModelIndex first = m_moduleListModel->index(0, 0);
    if (first.isValid())
        onFirstItemClick(first);
}

void MainWindow::onFirstItemClick(const QModelIndex &index)
{
    m_moduleList->setCurrentIndex(index);
    ModuleInterface *module = m_modules.value(index.row()).first;
    if (!module)
        return;
    if (!m_pageStack.isEmpty() && m_pageStack.last().first == module)
        return;

    popAllWidgets(0);
    module->active(0);
    m_moduleList->resetStatus(index);
    // A hidden list would hold the focus where no key can reach anything.
    if (m_moduleListVisible)
        m_moduleList->setFocus(Qt::OtherFocusReason);
}

void MainWindow::pushWidget(ModuleInterface *inter, QWidget *widget)
{
    if (!inter) {
        qWarning() << Q_FUNC_INFO << " inter is nullptr";
        return;
    }
    if (!widget) {
        qWarning() << Q_FUNC_INFO << " widget is nullptr";
        return;
    }
    pushNormalWidget(inter, widget);
}

void MainWindow::pushNormalWidget(ModuleInterface *inter, QWidget *widget)
{
    widget->setParent(this);
    widget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    widget->show();
    m_pageStack.append({ inter, widget });
    m_pageLayout->addWidget(widget, m_pageStack.size() == 1 ? 3 : 7);
    focusPage(widget);
}

void MainWindow::focusPage(QWidget *page)
{
    // With the list shown, the focus stays on it so that the arrow keys switch modules.
    if (m_moduleListVisible && m_moduleList->hasFocus())
        return;
    // A page names its main control as its focus proxy; one without any keeps the focus on
    // the window, never on the hidden list.
    if (page->focusProxy())
        page->setFocus(Qt::OtherFocusReason);
    else
        setFocus(Qt::OtherFocusReason);
}

void MainWindow::popWidget()
{
    if (m_pageStack.isEmpty())
        return;

    ModuleInterface *module = currentModule();
    QWidget *page = m_pageStack.takeLast().second;
    m_pageLayout->removeWidget(page);
    module->deactive();
}

void MainWindow::popAllWidgets(int)
{
    if (m_pageStack.isEmpty())
        return;
    popWidget();
    m_pageStack.clear();
}

void MainWindow::setCurrentModule(int moduleIndex, int pageIndex)
{
    const QModelIndex index = m_moduleListModel->index(moduleIndex, 0);
    m_moduleList->setCurrentIndex(index);
    popAllWidgets(0);
    setFocus(Qt::OtherFocusReason);
    if (ModuleInterface *module = m_modules.value(index.row()).first)
        module->active(pageIndex);
    if (!m_pageStack.isEmpty())
        focusPage(m_pageStack.last().second);
}

ModuleInterface *MainWindow::currentModule()
{
    return m_pageStack.isEmpty() ? nullptr : m_pageStack.last().first;
}

void MainWindow::showModulePage(const QString &module, const QString &page)
{
    int moduleIndex = 0;
    for (int i = 0; i < m_modules.size(); ++i) {
        if (m_modules.at(i).first->name() == module) {
            moduleIndex = i;
            break;
        }
    }
    setCurrentModule(moduleIndex, getPageIndex(page));
    showNormal();
    activateWindow();
}

int MainWindow::getPageIndex(const QString &page) const
{
    Q_UNUSED(page)
    return 0;
}

int MainWindow::getModuleCount() const
{
    return m_modules.size();
}

void MainWindow::setOfflineUpdateFile(const QString &path)
{
    ModuleInterface *module = currentModule();
    if (!module || module->name() != QLatin1String("offlineupdate"))
        showModulePage(QStringLiteral("offlineupdate"), QString());
    m_offlineModule->setOfflineUpdateFile(path);
    m_moduleList->setVisible(m_moduleListVisible);
}

void MainWindow::openOfflineUpdateFile(const QString &path)
{
    if (!path.contains(QLatin1String(".oup"))) {
        showErrorFileType();
        return;
    }
    if (!m_offlineModule->acceptNewCheck(this))
        return;
    if (m_packageRequest)
        m_packageRequest->reject();
    // Open, not exec: the program that asked is answered at once, and a second request may
    // replace this one while the user thinks.
    auto *request = new PackageRequestDialog(path, this);
    m_packageRequest = request;
    connect(request, &QDialog::finished, this, [this, request](int choice) {
        // Answered, it is no longer the open question, whenever it is actually deleted.
        if (m_packageRequest == request)
            m_packageRequest = nullptr;
        request->deleteLater();
        if (choice != PackageRequestDialog::CheckButton)
            return;
        // A check may have started from the window while the question was open.
        if (!m_offlineModule->acceptNewCheck(this))
            return;
        // Afresh even when the module is shown: a result page has no place for another package.
        showModulePage(QStringLiteral("offlineupdate"), QString());
        m_offlineModule->setOfflineUpdateFile(request->path());
        m_moduleList->setVisible(m_moduleListVisible);
    });
    request->open();
}

PackageRequestDialog *MainWindow::packageRequest() const
{
    return m_packageRequest;
}

bool MainWindow::upgradeUnderWay() const
{
    return m_offlineModule && m_offlineModule->upgradeUnderWay();
}

void MainWindow::setISOUpdateFile(const QString &path)
{
    Q_UNUSED(path)
    ModuleInterface *module = currentModule();
    if (!module || module->name() != QLatin1String("isoupdate"))
        showModulePage(QStringLiteral("isoupdate"), QString());
    m_moduleList->setVisible(m_moduleListVisible);
}

void MainWindow::showErrorFileType()
{
    showFloatingNotice(this, tr("File format error, please reselect"));
}

void MainWindow::closeWindow()
{
    QCoreApplication::quit();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    closeWindow();
    Karvo::MainWindow::closeEvent(event);
}
