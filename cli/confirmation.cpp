#include "confirmation.h"

#include <QSocketNotifier>
#include <unistd.h>

Confirmation::Confirmation(int input, FILE *prompt, QObject *parent)
    : QObject(parent)
    , m_input(input)
    , m_prompt(prompt)
{ }

void Confirmation::ask(const QString &question)
{
    const QByteArray text = (question + QStringLiteral(" [y/N] ")).toLocal8Bit();
    fwrite(text.constData(), 1, size_t(text.size()), m_prompt);
    fflush(m_prompt);
    m_notifier = new QSocketNotifier(m_input, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &Confirmation::readInput);
}

void Confirmation::readInput()
{
    char byte;
    const ssize_t got = read(m_input, &byte, 1);
    if (got == 1 && byte != '\n') {
        m_answer += byte;
        return;
    }
    m_notifier->setEnabled(false);
    const QByteArray answer = m_answer.trimmed().toLower();
    emit answered(got == 1 && (answer == "y" || answer == "yes"));
}

void Confirmation::abandon()
{
    if (!m_notifier || !m_notifier->isEnabled())
        return;
    m_notifier->setEnabled(false);
    fputs("\n", m_prompt);
    fflush(m_prompt);
}
