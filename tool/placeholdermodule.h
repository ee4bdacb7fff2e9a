#pragma once

#include "moduleinterface.h"

#include <QObject>
#include <QPointer>

class BlankPage;

// A module list entry whose product is not built yet ("isoupdate", "systemupdate"): it holds
// its place in the list and shows one blank page.
class PlaceholderModule : public QObject, public ModuleInterface
{
    Q_OBJECT

public:
    PlaceholderModule(const QString &name, FrameProxyInterface *frame, QObject *parent = nullptr);
    ~PlaceholderModule() override;

    QString name() const override;
    void active(int pageIndex) override;
    void deactive() override;

private:
    QString m_name;
    // The page lives in the window's page area and may die with the window before this module.
    QPointer<BlankPage> m_page;
};
