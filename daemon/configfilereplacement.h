#pragma once

#include "upgradeplan.h"

struct CheckEnvironment;

// Which configuration files an upgrade replaces although their administrator changed them.
// dpkg, told to prefer the package's version, installs a new text over a changed file and
// keeps the changed one as ".dpkg-old" — but only when the new version ships other text than
// the installed one did; otherwise the changed file stays as it is.
namespace ConfigFileReplacement {

struct Candidate
{
    QString package;
    QString path;
    QString shippedMd5; // what the installed version shipped, as dpkg recorded it
    QString newArchive; // the .deb of the planned version
};

// Whether the file at |path| no longer holds the text whose MD5 is |shippedMd5|. A file that is
// gone or is not a regular file counts as unchanged: dpkg puts the new text in its place.
bool locallyChanged(const QString &path, const QString &shippedMd5);

// The candidates the upgrade will replace. Runs dpkg-deb for each changed one, so it blocks:
// call it off the event loop.
QList<OfflineUpdate::ReplacedConfigFile> replaced(
    const CheckEnvironment &environment, const QList<Candidate> &candidates);

} // namespace ConfigFileReplacement
