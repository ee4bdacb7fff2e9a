#pragma once

#include <QObject>
#include <QVariantList>

// Receives a D-Bus signal of a string and a number, and keeps one entry per delivery.
class SignalRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QVariantList> deliveries;

public slots:
    void acceptPair(const QString &text, int number)
    {
        deliveries << QVariantList { text, number };
    }
};
