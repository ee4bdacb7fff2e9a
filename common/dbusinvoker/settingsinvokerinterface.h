#pragma once

#include <QVariant>

class QString;

// Reads and writes the keys of one settings schema. Keys pass through unchanged.
class SettingsInvokerInterface
{
public:
    // An invalid QVariant when the schema is not available.
    virtual QVariant GetValue(const QString &key) = 0;
    virtual void SetValue(const QString &key, const QVariant &value) = 0;
    virtual void ResetValue(const QString &key) = 0;
    virtual ~SettingsInvokerInterface() = default;
};
