#pragma once

#include "moduleinterface.h"

#include <QObject>
#include <QPointer>

class ISOUpdateModel;
class ISOUpdateWidget;

// The "isoupdate" entry of the module list: one blank page.
class ISOUpdateModule : public QObject, public ModuleInterface
{
    Q_OBJECT

public:
    ISOUpdateModule(FrameProxyInterface *frame, QObject *parent = nullptr);
    ~ISOUpdateModule() override;

    QString name() const override;
    void active(int pageIndex) override;
    void deactive() override;

private:
    // The page lives in the window's page area and may die with the window before this module.
    QPointer<ISOUpdateWidget> m_page;
    ISOUpdateModel *m_model = nullptr;
};
