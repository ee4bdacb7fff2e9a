#pragma once

#include "usermessage.h"

#include <QCoreApplication>

struct HistoryEntry;

// The clients' words for how a check or an upgrade of the daemon's history ended.
class HistoryText
{
    Q_DECLARE_TR_FUNCTIONS(HistoryText)

public:
    // How it ended, and for a failure why, in the sentences the clients use when it happens;
    // an upgrade finished at boot after an interruption says so.
    static UserMessage outcome(const HistoryEntry &entry);
};
