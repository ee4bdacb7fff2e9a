#pragma once

#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QVariant>

// Receives D-Bus signals and keeps one entry per delivery: its arguments, preceded by the
// member name when the slot gets the whole message.
class SignalRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QVariantList> deliveries() const { return m_deliveries; }
    void clear() { m_deliveries.clear(); }

public slots:
    void record(const QDBusMessage &message)
    {
        m_deliveries << QVariantList { message.member() } + message.arguments();
    }
    void acceptPair(const QString &text, int number)
    {
        m_deliveries << QVariantList { text, number };
    }

private:
    QList<QVariantList> m_deliveries;
};
