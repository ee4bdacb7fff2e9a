#pragma once

#include "historyentry.h"
#include "moduleinterface.h"
#include "usermessage.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>

class FrameProxyInterface;
class OfflineCheckResultWidget;
class OfflineUpdateCheckingWidget;
class OfflineUpdateModel;
class OfflineUpdateWidget;
class QWidget;
class SettingsInvokerInterface;

// Chains the import page, the checking page and the check result page around one model, which
// it makes on its first activation and keeps, with its connections, for its whole life. A check
// outlives the pages: the module follows it while another module is shown and, when it is
// activated again, shows the check's page (still checking, its result, or why it ended).
// On its first activation it asks the daemon's history how the user's last upgrade ended, and
// tells it on the import page once, remembering in |settings| which upgrade it has told of.
class OfflineUpdateModule : public QObject, public ModuleInterface
{
    Q_OBJECT

public:
    // The key of |settings| that holds the id of the last upgrade told of.
    static const QString ReportedUpgradeKey;

    // The model it makes reaches the daemon on |systemBus| and the desktop on |sessionBus|.
    // Without |settings| nothing is remembered, and the last upgrade is told of at every start.
    OfflineUpdateModule(FrameProxyInterface *frame, const QDBusConnection &systemBus,
        const QDBusConnection &sessionBus, SettingsInvokerInterface *settings = nullptr,
        QObject *parent = nullptr);
    ~OfflineUpdateModule() override;

    QString name() const override;
    void active(int pageIndex) override;
    void deactive() override;

    // Hands |path| to the import page; dropped while no import page is shown.
    void setOfflineUpdateFile(const QString &path);
    // Whether a new package may be checked now. When not (a check or an upgrade is under
    // way), says why over the page in front, or over |window| when no page of this module is
    // shown. When it may, an outcome not yet seen gives way to the new check.
    bool acceptNewCheck(QWidget *window);
    bool upgradeUnderWay() const;

public slots:
    void acceptCheckFilePath(const QString &filepath);
    void acceptOfflineCheckResult(int itemType, bool result);

private:
    enum Check { NoCheck, Checking, Reported, Ended };

    void pushImportPage();
    void pushCheckingPage();
    void pushResultPage(int itemType, bool result);
    // The check will not report: says |text| on the checking page, now or when it is shown.
    void endCheck(const UserMessage &message);
    void acceptHistory(const QStringList &entries);
    // Puts the upgrade waiting to be told of on the import page, and remembers it as told.
    void tellLastUpgrade();

    // Once pushed, the pages belong to the main window, which may destroy them before this
    // module: the guarded pointers keep deactive() from touching a page that is gone.
    QPointer<OfflineUpdateWidget> m_importPage;
    QPointer<OfflineUpdateCheckingWidget> m_checkingPage;
    QPointer<OfflineCheckResultWidget> m_resultPage;
    QDBusConnection m_systemBus;
    QDBusConnection m_sessionBus;
    OfflineUpdateModel *m_model = nullptr;
    Check m_check = NoCheck;
    QString m_checkedPath;
    int m_reportedItem = 0;
    bool m_reportedResult = false;
    UserMessage m_endMessage;
    SettingsInvokerInterface *m_settings;
    HistoryEntry m_untoldUpgrade;
};
