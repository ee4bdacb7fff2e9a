#pragma once

#include "offlineupdateprotocol.h"
#include "scriptedservice.h"

// Has |daemon| answer the reads of what the last check recorded as for a passed system update
// of two packages, unsigned, with no reason.
inline void answerLastCheck(ScriptedService *daemon)
{
    using namespace OfflineUpdate;
    daemon->setReply(QStringLiteral("GetUpgradeType"), answer({ int(SystemUpgrade) }));
    daemon->setReply(QStringLiteral("GetPatchUpgradeSerial"), answer({ QString() }));
    daemon->setReply(QStringLiteral("GetDistUpgradeSum"), answer({ 2 }));
    daemon->setReply(QStringLiteral("GetPackageSignature"), answer({ int(Unsigned), "" }));
    daemon->setReply(QStringLiteral("GetCheckFailureReason"), answer({ "", "" }));
}
