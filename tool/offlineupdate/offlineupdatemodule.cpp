#include "offlineupdatemodule.h"

#include "floatingnotice.h"
#include "frameproxyinterface.h"
#include "offlinecheckresultwidget.h"
#include "offlineupdatecheckingwidget.h"
#include "offlineupdatemodel.h"
#include "offlineupdatewidget.h"
#include "settingsinvokerinterface.h"
#include "unreportedupgrade.h"

#include <QDebug>
#include <QTimer>
#include <unistd.h>

const QString OfflineUpdateModule::ReportedUpgradeKey = QStringLiteral("reported-upgrade");

OfflineUpdateModule::OfflineUpdateModule(FrameProxyInterface *frame,
    const QDBusConnection &systemBus, const QDBusConnection &sessionBus,
    SettingsInvokerInterface *settings, QObject *parent)
    : QObject(parent)
    , ModuleInterface(frame)
    , m_systemBus(systemBus)
    , m_sessionBus(sessionBus)
    , m_settings(settings)
{ }

OfflineUpdateModule::~OfflineUpdateModule()
{
    deactive();
}

QString OfflineUpdateModule::name() const
{
    return QStringLiteral("offlineupdate");
}

void OfflineUpdateModule::active(int pageIndex)
{
    Q_UNUSED(pageIndex)
    if (!m_model) {
        m_model = new OfflineUpdateModel(m_systemBus, m_sessionBus, this);
        connect(m_model, &OfflineUpdateModel::notifyCheckFilePath, this,
            &OfflineUpdateModule::acceptCheckFilePath);
        connect(m_model, &OfflineUpdateModel::notifyOfflineCheckResult, this,
            &OfflineUpdateModule::acceptOfflineCheckResult);
        connect(m_model, &OfflineUpdateModel::notifyOfflineCheckFailed, this,
            [this](const QString &reason, const QString &details) {
                endCheck({ reason, details });
            });
        connect(m_model, &OfflineUpdateModel::notifyDaemonVanished, this,
            [this] { endCheck({ OfflineUpdateCheckingWidget::serviceStoppedText(), QString() }); });
        // From the event loop: a start that hands its package to a running tool and ends
        // before the loop runs asks the daemon nothing.
        QTimer::singleShot(0, this, [this] {
            m_model->requestHistory(
                this, [this](const QStringList &entries) { acceptHistory(entries); });
        });
    }

    switch (m_check) {
    case Checking:
        pushCheckingPage();
        break;
    case Reported:
        m_check = NoCheck;
        pushResultPage(m_reportedItem, m_reportedResult);
        break;
    case Ended:
        m_check = NoCheck;
        pushCheckingPage();
        m_checkingPage->showFailure(m_endMessage);
        break;
    case NoCheck:
        pushImportPage();
        break;
    }
}

void OfflineUpdateModule::deactive()
{
    if (m_importPage)
        m_importPage->deleteLater();
    m_importPage = nullptr;
    if (m_checkingPage)
        m_checkingPage->deleteLater();
    m_checkingPage = nullptr;
    if (m_resultPage)
        m_resultPage->deleteLater();
    m_resultPage = nullptr;
}

void OfflineUpdateModule::pushImportPage()
{
    m_importPage = new OfflineUpdateWidget(m_model, nullptr);
    m_frameProxy->pushWidget(this, m_importPage);
    tellLastUpgrade();
}

void OfflineUpdateModule::acceptHistory(const QStringList &entries)
{
    const QString reported
        = m_settings ? m_settings->GetValue(ReportedUpgradeKey).toString() : QString();
    m_untoldUpgrade = UnreportedUpgrade::find(entries, int(getuid()), reported);
    tellLastUpgrade();
}

void OfflineUpdateModule::tellLastUpgrade()
{
    // A check started from the command line may have taken the place of the import page; the
    // upgrade is told of when the user comes back to it.
    if (m_untoldUpgrade.kind.isEmpty() || !m_importPage)
        return;
    m_importPage->showLastUpgrade(m_untoldUpgrade);
    if (m_settings)
        m_settings->SetValue(ReportedUpgradeKey, m_untoldUpgrade.id);
    m_untoldUpgrade = HistoryEntry();
}

void OfflineUpdateModule::pushCheckingPage()
{
    m_checkingPage = new OfflineUpdateCheckingWidget(m_model, nullptr);
    m_checkingPage->setPackageFile(m_checkedPath);
    connect(m_checkingPage, &OfflineUpdateCheckingWidget::backRequested, this, [this] {
        if (m_checkingPage)
            m_checkingPage->deleteLater();
        m_checkingPage = nullptr;
        pushImportPage();
    });
    m_frameProxy->pushWidget(this, m_checkingPage);
}

void OfflineUpdateModule::pushResultPage(int itemType, bool result)
{
    m_resultPage = new OfflineCheckResultWidget(m_model, itemType, result, nullptr);
    m_resultPage->setPackageFile(m_checkedPath);
    connect(m_resultPage, &OfflineCheckResultWidget::chooseAnotherPackage, this, [this] {
        if (m_resultPage)
            m_resultPage->deleteLater();
        m_resultPage = nullptr;
        pushImportPage();
    });
    connect(m_resultPage, &OfflineCheckResultWidget::checkAgainRequested, this, [this] {
        if (m_resultPage)
            m_resultPage->deleteLater();
        m_resultPage = nullptr;
        // The way a package chosen on the import page comes in.
        m_model->setCheckFilePath(m_checkedPath);
    });
    m_frameProxy->pushWidget(this, m_resultPage);
}

void OfflineUpdateModule::setOfflineUpdateFile(const QString &path)
{
    if (m_importPage)
        m_importPage->setOfflineUpdateFile(path);
}

bool OfflineUpdateModule::upgradeUnderWay() const
{
    return m_resultPage && m_resultPage->upgradeUnderWay();
}

bool OfflineUpdateModule::acceptNewCheck(QWidget *window)
{
    if (upgradeUnderWay()) {
        m_resultPage->showNotice(
            tr("An upgrade is under way, so you cannot check another package now."));
        return false;
    }
    if (m_check == Checking) {
        showFloatingNotice(m_checkingPage ? static_cast<QWidget *>(m_checkingPage) : window,
            tr("A package is being checked, so you cannot check another package now."));
        return false;
    }
    m_check = NoCheck;
    return true;
}

void OfflineUpdateModule::acceptCheckFilePath(const QString &filepath)
{
    if (m_importPage)
        m_importPage->deleteLater();
    m_importPage = nullptr;
    if (m_checkingPage)
        return;

    m_check = Checking;
    m_checkedPath = filepath;
    pushCheckingPage();
    m_model->startOfflineFileChecking(filepath);
}

void OfflineUpdateModule::acceptOfflineCheckResult(int itemType, bool result)
{
    // Without a check of ours under way the report belongs to another client of the daemon,
    // and a result page for it would push aside the page the user is on.
    if (m_check != Checking) {
        qInfo() << Q_FUNC_INFO << "no check of this module is under way; ignoring the report"
                << itemType << result;
        return;
    }
    if (!m_checkingPage) {
        // Another module is shown: the result waits for this one's next activation.
        m_check = Reported;
        m_reportedItem = itemType;
        m_reportedResult = result;
        return;
    }
    m_check = NoCheck;
    m_checkingPage->stopWaiting();
    m_checkingPage->deleteLater();
    m_checkingPage = nullptr;
    pushResultPage(itemType, result);
}

void OfflineUpdateModule::endCheck(const UserMessage &message)
{
    if (m_check != Checking)
        return;
    if (!m_checkingPage) {
        m_check = Ended;
        m_endMessage = message;
        return;
    }
    m_check = NoCheck;
    m_checkingPage->showFailure(message);
}
