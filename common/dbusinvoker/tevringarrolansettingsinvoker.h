#pragma once

#include "settingsinvokerinterface.h"

#include <QObject>
#include <QPointer>

class QByteArray;
class QGSettings;

// A settings invoker over a GSettings schema. A schema that is not installed leaves it without
// a settings object (GetValue then answers an invalid QVariant) instead of aborting the
// program, as opening such a schema would.
class TevrinGarrolanSettingsInvoker : public QObject, public SettingsInvokerInterface
{
    Q_OBJECT

public:
    // The settings object's Qt parent is `parent` when one is given, else this invoker.
    TevrinGarrolanSettingsInvoker(
        const QByteArray &schemaId, const QByteArray &path, QObject *parent);

    QVariant GetValue(const QString &key) override;
    void SetValue(const QString &key, const QVariant &value) override;
    void ResetValue(const QString &key) override;

private:
    // Guarded: with a parent given, the settings object may go before this invoker does.
    QPointer<QGSettings> m_settings;
};
