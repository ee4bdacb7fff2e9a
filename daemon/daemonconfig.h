#pragma once

class QString;

// The administrator's settings in /etc/tevrin-offline-update/daemon.conf: "key=value" lines,
// "#" starts a comment line. Unknown keys are logged and ignored.
struct DaemonConfig
{
    // When true, a package that is not signed by a trusted key is refused.
    bool requireSignature = false;

    // A missing file gives the defaults; one that cannot be read, or a RequireSignature value
    // other than true or false, requires signatures.
    static DaemonConfig read(const QString &path);
};
