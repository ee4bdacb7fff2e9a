#pragma once

// The toolkit's window header has the same file name as this one; the directory keeps them apart.
#include "frameproxyinterface.h"
#include "karvo/mainwindow.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QVector>

class MultiSelectListView;
class OfflineUpdateModule;
class PackageRequestDialog;
class QCloseEvent;
class QGSettings;
class QHBoxLayout;
class QModelIndex;
class QStandardItemModel;

namespace Karvo {
class BackgroundGroup;
}

// The tool's only window: the module list on the left, the active module's page on the right.
// Exactly one module is active once the constructor has returned; its page is the top of the
// page stack.
class MainWindow : public Karvo::MainWindow, public FrameProxyInterface
{
    Q_OBJECT

public:
    static const QByteArray SettingsSchema;

    explicit MainWindow(QWidget *parent = nullptr);
    // |settingsSchema| names the schema that holds "nav-show-type"; when it is not installed the
    // module list stays hidden. The modules reach the daemon on |systemBus| and the desktop's
    // services on |sessionBus|.
    MainWindow(const QByteArray &settingsSchema, const QDBusConnection &systemBus,
        const QDBusConnection &sessionBus, QWidget *parent = nullptr);
    ~MainWindow() override;

    void pushWidget(ModuleInterface *inter, QWidget *widget) override;
    void setCurrentModule(int moduleIndex, int pageIndex) override;
    ModuleInterface *currentModule() override;

    void pushNormalWidget(ModuleInterface *inter, QWidget *widget);
    void popWidget();
    void popAllWidgets(int);

    // Selects the module named |module| (the first one when no module has that name), builds
    // its first page afresh and brings the window forward.
    void showModulePage(const QString &module, const QString &page);
    int getPageIndex(const QString &page) const;
    int getModuleCount() const;
    void initAllModule();
    void modulePreInitialize();

    void setOfflineUpdateFile(const QString &path);
    // A package handed over by another program (OpenFile, or a second start of the tool):
    // shown with its name and checked only once the user agrees; refused with a word when a
    // check or an upgrade is under way. A later request replaces one still waiting.
    void openOfflineUpdateFile(const QString &path);
    // The question of openOfflineUpdateFile() while it waits for the user; else null.
    PackageRequestDialog *packageRequest() const;
    bool upgradeUnderWay() const;
    void setISOUpdateFile(const QString &path);
    void showErrorFileType();
    void closeWindow();

public slots:
    void onFirstItemClick(const QModelIndex &index);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void initUI();
    void initData();
    // Gives the keyboard focus to |page|'s main control when the module list is not shown.
    void focusPage(QWidget *page);

    QHBoxLayout *m_mainLayout = nullptr;
    QHBoxLayout *m_pageLayout = nullptr;
    MultiSelectListView *m_moduleList = nullptr;
    Karvo::BackgroundGroup *m_pageArea = nullptr;
    QStandardItemModel *m_moduleListModel = nullptr;
    QVector<QPair<ModuleInterface *, QWidget *>> m_pageStack;
    QList<QPair<ModuleInterface *, QString>> m_modules;
    OfflineUpdateModule *m_offlineModule = nullptr;
    QByteArray m_settingsSchema;
    QGSettings *m_settings = nullptr;
    bool m_moduleListVisible = false;
    QDBusConnection m_systemBus;
    QDBusConnection m_sessionBus;
    QPointer<PackageRequestDialog> m_packageRequest;
};
