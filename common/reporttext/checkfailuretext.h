#pragma once

#include "usermessage.h"

#include <QCoreApplication>

// The clients' words for why a check failed.
class CheckFailureText
{
    Q_DECLARE_TR_FUNCTIONS(CheckFailureText)

public:
    // A sentence for the daemon's reason key (one of OfflineUpdate::Reason) that says what to
    // do, and the daemon's detail, named, as the details. A key this client does not know still
    // gives a sentence, with the key in the details. Empty for an empty key.
    static UserMessage forReason(const QString &key, const QString &detail);
    // What to say when a daemon that gives no reason failed the package before the table
    // (items 0 to 2): all an older daemon lets a client know.
    static QString forItem(int item);
};
