#pragma once

class QDBusMessage;
class QString;

// Reads the answer to a check request. The daemon answers StartOfflineFileCheck only when the
// whole check has run, which can take minutes, so a request that merely got no reply in time
// is still under way. Any other error means the request never reached a daemon that could take
// it (no daemon, no bus, denied by the bus policy): returns the reason to show, else an empty
// string.
QString checkRequestFailure(const QDBusMessage &reply);
