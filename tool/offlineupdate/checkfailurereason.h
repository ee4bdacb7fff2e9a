#pragma once

class QString;

// The user's words for why a check failed: a translated sentence for the daemon's reason key
// (one of OfflineUpdate::Reason), followed by the daemon's detail on a line of its own. A key
// this tool does not know still gives a sentence, naming the key. Empty for an empty key.
QString checkFailureText(const QString &key, const QString &detail);
