#pragma once

#include "usermessage.h"

#include <QCoreApplication>

// The clients' words for why an upgrade failed.
class UpgradeFailureText
{
    Q_DECLARE_TR_FUNCTIONS(UpgradeFailureText)

public:
    // A sentence for the daemon's upgrade reason key (one of OfflineUpdate::UpgradeReason) and
    // its detail: the names of the packages at fault are part of the sentence, anything else is
    // the details. A key this client does not know still gives a sentence, with the key in the
    // details. Empty for an empty key.
    static UserMessage forReason(const QString &key, const QString &detail);
};
