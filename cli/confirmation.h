#pragma once

#include <QByteArray>
#include <QObject>
#include <cstdio>

class QSocketNotifier;

// A yes/no question on the terminal, answered without blocking the event loop, so that Ctrl-C
// and the service's signals are still handled while the person thinks.
class Confirmation : public QObject
{
    Q_OBJECT

public:
    Confirmation(int input, FILE *prompt, QObject *parent = nullptr);

    void ask(const QString &question);
    // Stops waiting for an answer, ending the question's line so that what follows starts on
    // a line of its own (Ctrl-C leaves the cursor after the question).
    void abandon();

signals:
    void answered(bool yes);

private:
    void readInput();

    int m_input;
    FILE *m_prompt;
    QSocketNotifier *m_notifier = nullptr;
    QByteArray m_answer;
};
