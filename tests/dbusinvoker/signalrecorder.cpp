#include "signalrecorder.h"

#include <QDBusMessage>

void SignalRecorder::clear()
{
    m_members.clear();
    m_arguments.clear();
}

void SignalRecorder::record(const QDBusMessage &message)
{
    add(message.member(), message.arguments());
}

void SignalRecorder::acceptText(const QString &text)
{
    add(QString(), { text });
}

void SignalRecorder::acceptPair(const QString &text, int number)
{
    add(QString(), { text, number });
}

void SignalRecorder::add(const QString &member, const QVariantList &arguments)
{
    m_members << member;
    m_arguments << arguments;
    emit recorded();
}
