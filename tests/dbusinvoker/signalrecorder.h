#pragma once

#include <QDBusMessage>

// Receives D-Bus signals and keeps one entry per delivery: its arguments, preceded by the
// member name when the slot gets the whole message.
class SignalRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QVariantList> deliveries;

public slots:
    void record(const QDBusMessage &message)
    {
        deliveries << QVariantList { message.member() } + message.arguments();
    }
    void acceptPair(const QString &text, int number)
    {
        deliveries << QVariantList { text, number };
    }
};
