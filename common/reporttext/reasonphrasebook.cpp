#include "reasonphrasebook.h"

#include <QCoreApplication>

ReasonPhrasebook::ReasonPhrasebook(
    const char *context, const Phrase *phrases, int count, const char *fallback)
    : m_context(context)
    , m_phrases(phrases)
    , m_count(count)
    , m_fallback(fallback)
{ }

QString ReasonPhrasebook::translated(const char *text) const
{
    return QCoreApplication::translate(m_context, text);
}

UserMessage ReasonPhrasebook::message(const QString &key, const QString &detail) const
{
    if (key.isEmpty())
        return {};
    const Phrase *phrase = nullptr;
    for (int i = 0; i < m_count && !phrase; ++i) {
        if (m_phrases[i].key == key)
            phrase = &m_phrases[i];
    }
    if (!phrase) {
        const QString shown = detail.isEmpty() ? key : key + QLatin1Char('\n') + detail;
        return { translated(m_fallback), shown };
    }
    if (detail.isEmpty())
        return { translated(phrase->sentence), QString() };
    if (!phrase->detail)
        return { translated(phrase->sentence), detail };
    if (phrase->detailInSentence)
        return { translated(phrase->detail).arg(detail), QString() };
    return { translated(phrase->sentence), translated(phrase->detail).arg(detail) };
}
