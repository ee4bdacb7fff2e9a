#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariant>

class QDBusMessage;

// Receives D-Bus signals through slots of several shapes and keeps, per delivery, the member
// name (when known) and the arguments.
class SignalRecorder : public QObject
{
    Q_OBJECT

public:
    QStringList members() const { return m_members; }
    QList<QVariantList> arguments() const { return m_arguments; }
    void clear();

public slots:
    void record(const QDBusMessage &message);
    void acceptText(const QString &text);
    void acceptPair(const QString &text, int number);

signals:
    void recorded();

private:
    void add(const QString &member, const QVariantList &arguments);

    QStringList m_members;
    QList<QVariantList> m_arguments;
};
