#pragma once

#include "usermessage.h"

#include <QString>

// Turns a reason key of the daemon and its detail into a UserMessage, from a table of texts
// that their caller marked for translation in its own context. A key the table does not have
// still gives a sentence, the fallback, with the key in the details: a newer daemon may know
// reasons an older client does not, and must never leave it silent.
class ReasonPhrasebook
{
public:
    struct Phrase
    {
        const QString &key;
        // What went wrong and what to do, in the user's words.
        const char *sentence;
        // With %1 for the daemon's detail: a label for it in the details, or, where the
        // detail is what the user must see (the names of the packages at fault), the whole
        // sentence that takes the place of |sentence|. Null: the detail goes to the details
        // as it stands.
        const char *detail;
        bool detailInSentence;
    };

    ReasonPhrasebook(const char *context, const Phrase *phrases, int count, const char *fallback);

    // Empty for an empty key.
    UserMessage message(const QString &key, const QString &detail) const;

private:
    QString translated(const char *text) const;

    const char *m_context;
    const Phrase *m_phrases;
    int m_count;
    const char *m_fallback;
};
