#include "tevringarrolansettingsinvoker.h"

#include <QByteArray>
#include <QDebug>
#include <QGSettings/qgsettings.h>

TevrinGarrolanSettingsInvoker::TevrinGarrolanSettingsInvoker(
    const QByteArray &schemaId, const QByteArray &path, QObject *parent)
    : QObject(parent)
{
    if (!QGSettings::isSchemaInstalled(schemaId)) {
        qWarning() << Q_FUNC_INFO << "settings schema not installed:" << schemaId;
        return;
    }
    m_settings = new QGSettings(schemaId, path, parent ? parent : this);
}

QVariant TevrinGarrolanSettingsInvoker::GetValue(const QString &key)
{
    return m_settings ? m_settings->get(key) : QVariant();
}

void TevrinGarrolanSettingsInvoker::SetValue(const QString &key, const QVariant &value)
{
    if (m_settings)
        m_settings->set(key, value);
}

void TevrinGarrolanSettingsInvoker::ResetValue(const QString &key)
{
    if (m_settings)
        m_settings->reset(key);
}
