#pragma once

class QDBusMessage;
class QString;

// Reads the immediate answer to a request that the daemon answers only when its long work has
// run (a check, or a backup followed by the upgrade), which can take many minutes: a request
// that merely got no reply in time is still under way. Any other error means the request never
// reached a daemon that could take it (no daemon, no bus, denied by the bus policy or by the
// daemon): returns the reason to show, else an empty string. |deniedReason| is the reason shown
// for a refusal, in words that name what was refused.
QString daemonRequestFailure(const QDBusMessage &reply, const QString &deniedReason);
