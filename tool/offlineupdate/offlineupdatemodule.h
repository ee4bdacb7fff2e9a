#pragma once

#include "moduleinterface.h"

#include <QObject>
#include <QPointer>

class FrameProxyInterface;
class OfflineCheckResultWidget;
class OfflineUpdateCheckingWidget;
class OfflineUpdateModel;
class OfflineUpdateWidget;

// Chains the import page, the checking page and the check result page around one model, which
// it makes on its first activation and keeps, with its connections, for its whole life.
class OfflineUpdateModule : public QObject, public ModuleInterface
{
    Q_OBJECT

public:
    OfflineUpdateModule(FrameProxyInterface *frame, QObject *parent = nullptr);
    ~OfflineUpdateModule() override;

    QString name() const override;
    void active(int pageIndex) override;
    void deactive() override;

    // Hands |path| to the import page; dropped while no import page is shown.
    void setOfflineUpdateFile(const QString &path);

public slots:
    void acceptCheckFilePath(const QString &filepath);
    void acceptOfflineCheckResult(int itemType, bool result);

private:
    // Once pushed, the pages belong to the main window, which may destroy them before this
    // module: the guarded pointers keep deactive() from touching a page that is gone.
    QPointer<OfflineUpdateWidget> m_importPage;
    QPointer<OfflineUpdateCheckingWidget> m_checkingPage;
    QPointer<OfflineCheckResultWidget> m_resultPage;
    OfflineUpdateModel *m_model = nullptr;
};
