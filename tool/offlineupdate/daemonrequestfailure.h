#pragma once

#include "usermessage.h"

class QDBusMessage;

// Reads the immediate answer to a request that the daemon answers only when its long work has
// run (a check, or a backup followed by the upgrade), which can take many minutes: a request
// that merely got no reply in time is still under way. Any other error means the request never
// reached a daemon that could take it (no daemon, no bus, a busy daemon, denied by the bus
// policy or by the daemon): returns what to tell the user, else an empty message.
// |deniedReason| is the sentence for a refusal, in words that name what was refused.
UserMessage daemonRequestFailure(const QDBusMessage &reply, const QString &deniedReason);
