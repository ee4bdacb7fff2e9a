#pragma once

#include "moduleinterface.h"

#include <QObject>
#include <QPointer>

class SystemUpdateModel;
class SystemUpdateWidget;

// The "systemupdate" entry of the module list: one blank page.
class SystemUpdateModule : public QObject, public ModuleInterface
{
    Q_OBJECT

public:
    SystemUpdateModule(FrameProxyInterface *frame, QObject *parent = nullptr);
    ~SystemUpdateModule() override;

    QString name() const override;
    void active(int pageIndex) override;
    void deactive() override;

private:
    // The page lives in the window's page area and may die with the window before this module.
    QPointer<SystemUpdateWidget> m_page;
    SystemUpdateModel *m_model = nullptr;
};
