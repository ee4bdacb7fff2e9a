#pragma once

#include "offlineupdateprotocol.h"
#include "upgradeplan.h"

#include <QString>

// What the daemon tells about the last check besides its report, gathered for the result page.
// Every field keeps its default when the daemon cannot answer for it (no daemon, or an older one
// that lacks the method).
struct CheckDetails
{
    int upgradeType = OfflineUpdate::UnknownUpgrade;
    QString patchSerial;
    int upgradeSum = 0;
    int signatureState = OfflineUpdate::SignatureUnknown;
    QString signer; // the signer, or why the signature was rejected
    QString reasonKey; // one of OfflineUpdate::Reason; empty when unknown
    QString reasonDetail;
    OfflineUpdate::UpgradePlan plan; // asked for after a passed check only
};
