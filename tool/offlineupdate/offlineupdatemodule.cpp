#include "offlineupdatemodule.h"

#include "frameproxyinterface.h"
#include "offlinecheckresultwidget.h"
#include "offlineupdatecheckingwidget.h"
#include "offlineupdatemodel.h"
#include "offlineupdatewidget.h"

#include <QDebug>

OfflineUpdateModule::OfflineUpdateModule(FrameProxyInterface *frame, QObject *parent)
    : QObject(parent)
    , ModuleInterface(frame)
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
        m_model = new OfflineUpdateModel(this);
        connect(m_model, &OfflineUpdateModel::notifyCheckFilePath, this,
            &OfflineUpdateModule::acceptCheckFilePath);
        connect(m_model, &OfflineUpdateModel::notifyOfflineCheckResult, this,
            &OfflineUpdateModule::acceptOfflineCheckResult);
    }
    m_importPage = new OfflineUpdateWidget(m_model, nullptr);
    m_frameProxy->pushWidget(this, m_importPage);
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

void OfflineUpdateModule::setOfflineUpdateFile(const QString &path)
{
    if (m_importPage)
        m_importPage->setOfflineUpdateFile(path);
}

void OfflineUpdateModule::acceptCheckFilePath(const QString &filepath)
{
    if (m_importPage)
        m_importPage->deleteLater();
    m_importPage = nullptr;
    if (m_checkingPage)
        return;

    m_checkingPage = new OfflineUpdateCheckingWidget(m_model, nullptr);
    m_frameProxy->pushWidget(this, m_checkingPage);
    m_model->startOfflineFileChecking(filepath);
}

void OfflineUpdateModule::acceptOfflineCheckResult(int itemType, bool result)
{
    // Without a checking page no check of ours is under way: the report belongs to a check
    // this module has walked away from (it was activated anew meanwhile) or to another client
    // of the daemon, and a result page for it would push aside the page the user is on.
    if (!m_checkingPage) {
        qInfo() << Q_FUNC_INFO << "no check of this module is under way; ignoring the report"
                << itemType << result;
        return;
    }
    m_checkingPage->stopWaiting();
    m_checkingPage->deleteLater();
    m_checkingPage = nullptr;

    m_resultPage = new OfflineCheckResultWidget(m_model, itemType, result, nullptr);
    m_frameProxy->pushWidget(this, m_resultPage);
}
