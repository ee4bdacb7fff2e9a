#pragma once

#include "usermessage.h"

// The user's words for why a check failed: a translated sentence for the daemon's reason key
// (one of OfflineUpdate::Reason) that says what to do, and the daemon's detail, named, as the
// details. A key this tool does not know still gives a sentence, with the key in the details.
// Empty for an empty key.
UserMessage checkFailureText(const QString &key, const QString &detail);
