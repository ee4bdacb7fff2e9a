#pragma once

#include <QString>

class QByteArray;

// What the daemon reads of a package's "info.json". Every field has a fallback, so that a
// damaged manifest still yields a well-defined package (a system update with no
// architecture, which the architecture check then refuses).
struct PackageManifest
{
    static constexpr int PatchType = 2;

    int type = 0;
    QString systemType;
    QString cveId;
    QString archs;
    bool validJson = false;

    bool isPatch() const { return type == PatchType; }

    static PackageManifest parse(const QByteArray &json);
};
